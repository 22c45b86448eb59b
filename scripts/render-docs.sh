#!/bin/sh
# Renders the two windows of Veltrane to docs/main-window.png and docs/exif-window.png (the
# bundled stereo sample opened, its first image selected, the EXIF window filled) and writes the
# application icon's PNG sizes to data/icons/hicolor/, on Qt's offscreen platform.
#
#   scripts/render-docs.sh [BUILD_DIR]     (default: build/gui; configured if missing)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build/gui"}

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake --preset release -B "$build" -DVELTRANE_BENCH=OFF
fi
cmake --build "$build" --target veltrane-render-docs

QT_QPA_PLATFORM=offscreen "$build/bin/veltrane-render-docs" \
    --docs "$root/docs" --icons "$root/data/icons"
echo "wrote $root/docs/main-window.png, $root/docs/exif-window.png and $root/data/icons/hicolor/*/apps/veltrane.png"
