#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the windows of Veltrane to docs/main-window.png and docs/exif-window.png (the bundled
# stereo sample opened, its first image selected, the EXIF window filled) and
# docs/stereo-window.png (a painted stereo scene as an anaglyph), and writes the application
# icon's PNG sizes to data/icons/hicolor/ (and data/icons/veltrane.ico for Windows), on Qt's
# offscreen platform. Where wine and xvfb-run are installed it also renders the Win32 windows of
# the Windows build, in a wine desktop on a virtual X display, to docs/win32-main-window.png,
# docs/win32-exif-window.png and docs/win32-stereo-window.png (the same painted scene).
#
#   scripts/render-docs.sh [BUILD_DIR [WINDOWS_BUILD_DIR]]
#                          (default: build/gui and build/windows; configured if missing)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build/gui"}
winbuild=${2:-"$root/build/windows"}
case $winbuild in /*) ;; *) winbuild="$PWD/$winbuild" ;; esac

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake --preset release -B "$build" -DVELTRANE_BENCH=OFF
fi
cmake --build "$build" --target veltrane-render-docs

QT_QPA_PLATFORM=offscreen "$build/bin/veltrane-render-docs" \
    --docs "$root/docs" --icons "$root/data/icons"
echo "wrote $root/docs/main-window.png, $root/docs/exif-window.png, $root/docs/stereo-window.png and $root/data/icons/hicolor/*/apps/veltrane.png"

if command -v wine >/dev/null && command -v xvfb-run >/dev/null; then
    if [ ! -f "$winbuild/build.ninja" ] && [ ! -f "$winbuild/Makefile" ]; then
        cmake --preset windows -B "$winbuild"
    fi
    cmake --build "$winbuild" --target veltrane-render-docs-win32
    shots=$(mktemp -d)
    trap 'rm -rf "$shots"' EXIT
    QT_QPA_PLATFORM=offscreen "$build/bin/veltrane-render-docs" --stereo-scene "$shots/meadow.mpo"
    # A wine prefix of its own, whose desktop process is on this virtual display.
    export WINEPREFIX="$winbuild/wine-docs"
    WINEDEBUG=-all xvfb-run -a -s "-screen 0 1024x768x24" \
        wine explorer /desktop=veltrane-docs,700x700 \
        "$winbuild/bin/veltrane-render-docs-win32.exe" "$(WINEDEBUG=-all winepath -w "$shots")" \
        "$(WINEDEBUG=-all winepath -w "$shots/meadow.mpo")"
    "$build/bin/veltrane-render-docs" \
        --png "$shots/win32-main-window.bmp" "$root/docs/win32-main-window.png" \
        --png "$shots/win32-exif-window.bmp" "$root/docs/win32-exif-window.png" \
        --png "$shots/win32-stereo-window.bmp" "$root/docs/win32-stereo-window.png"
    echo "wrote $root/docs/win32-main-window.png, $root/docs/win32-exif-window.png and $root/docs/win32-stereo-window.png"
fi
