#!/usr/bin/env bash
# Installs what is missing, builds, and opens Varnel against its bundled site simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting on a virtual X server (xvfb-run)." >&2
  exec xvfb-run -a -s "-screen 0 1280x800x24" build/src/varnel --demo "$@"
fi
exec build/src/varnel --demo "$@"
