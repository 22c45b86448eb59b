#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the Windows program (preset "windows", mingw-w64) and wraps it in an installer made
# with NSIS: build/windows-package/veltrane-<version>-setup.exe. Needs the Debian package nsis.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

version=$(sed -n 's/^project(Veltrane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out=build/windows-package
stage=$out/stage
setup=$out/veltrane-$version-setup.exe

scripts/windows-libs.sh >/dev/null  # the image libraries the preset links (no-op when built)
cmake --preset windows >/dev/null
cmake --build --preset windows --target veltrane

rm -rf "$stage" "$setup"
mkdir -p "$stage/doc"
x86_64-w64-mingw32-strip -o "$stage/veltrane.exe" build/windows/bin/veltrane.exe
cp docs/user-guide.html docs/*.png "$stage/doc/"
# The licence, as the installer's first page and beside the program; Windows editors want CR LF.
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"

makensis -V2 -DVERSION="$version" -DSTAGE="$root/$stage" -DOUTFILE="$root/$setup" \
  scripts/windows-installer.nsi
echo "$setup"
