#!/usr/bin/env bash
# Installs what building, running and testing Varnel needs on Debian, then configures and builds.
# Safe to run again: packages already present are skipped, the build is incremental.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools qt6-httpserver-dev qt6-websockets-dev libqt6opengl6-dev
  qcoro-qt6-dev libgl-dev
  fonts-wqy-microhei xvfb xauth
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build_type="${BUILD_TYPE:-RelWithDebInfo}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="$build_type" >/dev/null
cmake --build build
