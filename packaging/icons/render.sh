#!/usr/bin/env bash
# Renders varnel.svg into the PNG sizes the hicolor theme wants. Run after changing the SVG and
# commit the PNGs: builds and packaging use them as committed and need no SVG renderer.
# Needs rsvg-convert (Debian: librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
command -v rsvg-convert >/dev/null || { echo "render.sh: needs rsvg-convert (apt-get install librsvg2-bin)" >&2; exit 1; }
for size in 16 32 48 64 128 256; do
  mkdir -p "${size}x${size}"
  rsvg-convert --width "$size" --height "$size" --format png --output "${size}x${size}/varnel.png" varnel.svg
done
