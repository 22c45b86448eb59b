#!/usr/bin/env bash
# Cross-builds the Windows program (preset "windows", mingw-w64) and wraps it in an installer made
# with NSIS: build/windows-package/veltrane-<version>-setup.exe. Needs the Debian package nsis.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

version=$(sed -n 's/^project(Veltrane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out=build/windows-package
stage=$out/stage
setup=$out/veltrane-$version-setup.exe

cmake --preset windows >/dev/null
cmake --build --preset windows --target veltrane

rm -rf "$stage" "$setup"
mkdir -p "$stage/doc"
x86_64-w64-mingw32-strip -o "$stage/veltrane.exe" build/windows/bin/veltrane.exe
cp docs/user-guide.html docs/*.png "$stage/doc/"
if [ -f LICENSE ]; then
  # Windows editors want CR LF line ends.
  sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
else
  echo "package-windows: no LICENSE file in the project; the installer shows a notice instead" >&2
  printf 'Veltrane %s\r\n\r\nNo licence text was supplied with this build.\r\n' "$version" \
    >"$stage/LICENSE.txt"
fi

makensis -V2 -DVERSION="$version" -DSTAGE="$root/$stage" -DOUTFILE="$root/$setup" \
  scripts/windows-installer.nsi
echo "$setup"
