#!/usr/bin/env bash
# Installs what building, running and testing Varnel needs on Debian, then configures and builds.
# Safe to run again: packages already present are skipped, the build is incremental.
#   --fuzz      also clang, its libFuzzer and sanitizer runtimes, and llvm (scripts/fuzz.sh)
#   --package   also the validators and tools the .deb checks use (scripts/package.sh)
#   --no-build  install only; for scripts that configure a build of their own
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz=0
package=0
build=1
for arg in "$@"; do
  case "$arg" in
    --fuzz) fuzz=1 ;;
    --package) package=1 ;;
    --no-build) build=0 ;;
    *) echo "usage: $0 [--fuzz] [--package] [--no-build]" >&2; exit 2 ;;
  esac
done

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools qt6-httpserver-dev qt6-websockets-dev libqt6opengl6-dev
  qcoro-qt6-dev libgl-dev libqt6sql6-sqlite libsqlite3-dev zlib1g-dev libical-dev
  fonts-wqy-microhei xvfb xauth
)
if [ "$fuzz" -eq 1 ]; then
  packages+=(clang libclang-rt-14-dev llvm)
fi
if [ "$package" -eq 1 ]; then
  packages+=(appstream desktop-file-utils dpkg-dev binutils)
fi
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

[ "$build" -eq 1 ] || exit 0

build_type="${BUILD_TYPE:-RelWithDebInfo}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="$build_type" \
  -DVARNEL_WERROR="${VARNEL_WERROR:-OFF}" >/dev/null
cmake --build build
