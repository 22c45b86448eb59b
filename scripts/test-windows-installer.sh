#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Tests the Windows installer under wine in a scratch WINEPREFIX that is removed afterwards:
# silent install, the installed program's --version, a split in a Japanese-named folder with the
# context-menu entry registered, silent uninstall, and then nothing of Veltrane may be left: no
# files, no Start-menu shortcut, no uninstall key, no .mpo registry keys.
# Builds the installer first unless SETUP names one. Prints one line per step and PASS or FAIL.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

setup=${SETUP:-}
if [ -z "$setup" ]; then
  setup=$(scripts/package-windows.sh 2>&1 | tail -n 1)
  if [ ! -f "$setup" ]; then echo "installer build failed: $setup"; echo "FAIL"; exit 1; fi
fi
setup=$(cd "$(dirname "$setup")" && pwd)/$(basename "$setup")

export WINEPREFIX; WINEPREFIX=$(mktemp -d /tmp/veltrane-installer-XXXXXX)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The Japanese folder name reaches wine through the command line; the program itself reads it
# through the wide API whatever code page wine chooses for this locale.
export LC_ALL=C.UTF-8
cleanup() { wineserver -k >/dev/null 2>&1; rm -rf "$WINEPREFIX"; }
trap cleanup EXIT

failures=0
check() {  # check "what" command...
  local what=$1; shift
  if "$@"; then echo "ok    $what"; else echo "FAILED $what"; failures=$((failures + 1)); fi
}
reg_absent() { ! wine reg query "$1" >/dev/null 2>&1; }

wineboot --init >/dev/null 2>&1; wineserver -w
drive=$WINEPREFIX/drive_c
program='C:\Program Files\Veltrane\veltrane.exe'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltrane'

check "silent install" wine "$setup" /S
wineserver -w
check "program, licence and guide installed" test -f "$drive/Program Files/Veltrane/veltrane.exe" \
  -a -f "$drive/Program Files/Veltrane/LICENSE.txt" -a -f "$drive/Program Files/Veltrane/doc/user-guide.html"
check "Start-menu shortcut" test -f "$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Veltrane.lnk"
check "uninstall entry" sh -c "wine reg query '$uninstall_key' /v DisplayVersion 2>/dev/null | grep -q REG_SZ"
version=$(wine "$program" --version 2>/dev/null | tr -d '\r' | head -n 1)
check "installed program --version: $version" test "$version" = "Veltrane $(sed -n 's/^project(Veltrane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"

folder="$drive/立体写真"
mkdir -p "$folder"
cp samples/sample.mpo "$folder/stereo pair.mpo"
check "register the context-menu entry" sh -c "wine '$program' --register-context-menu >/dev/null 2>&1"
check "split in a Japanese-named folder" wine "$program" 'C:\立体写真\stereo pair.mpo'
check "both images written" sh -c "cat '$folder/stereo pair_001.jpg' '$folder/stereo pair_002.jpg' | cmp -s - '$folder/stereo pair.mpo'"

check "silent uninstall" wine "$drive/Program Files/Veltrane/uninstall.exe" /S
wineserver -w  # the uninstaller runs on from a copy of itself in the temporary folder
check "no files left" test ! -e "$drive/Program Files/Veltrane"
check "no shortcut left" test ! -e "$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Veltrane.lnk"
check "no uninstall key left" reg_absent "$uninstall_key"
check "no .mpo keys left" reg_absent 'HKCR\.mpo'
check "no context-menu class left" reg_absent 'HKCR\MPO (Multi Picture Object)'

if [ "$failures" -eq 0 ]; then echo "PASS"; else echo "FAIL ($failures)"; exit 1; fi
