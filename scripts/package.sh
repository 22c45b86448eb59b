#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the release preset and makes the Debian package veltrane_<version>_<arch>.deb of its
# installation with CPack, in build/release; prints the package's path. Needs no root: it only
# installs missing build dependencies (scripts/setup.sh run) and writes into the build folder.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
scripts/setup.sh run >&2
cmake --preset release >/dev/null
cmake --build --preset release -j"${JOBS:-2}" --target veltrane veltrane_gui_module veltrane_data >&2
build="$root/build/release"
rm -f "$build"/veltrane_*.deb
(cd "$build" && cpack -G DEB --config CPackConfig.cmake >&2)
deb=$(ls "$build"/veltrane_*.deb)
echo "$deb"
