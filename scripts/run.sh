#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Veltrane if needed and runs it.
#   scripts/run.sh            splits the bundled sample MPO into a fresh folder and lists it
#   scripts/run.sh ARGS...    runs veltrane ARGS...
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh" run
build="$root/build/run"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRANE_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target veltrane >/dev/null
veltrane="$build/bin/veltrane"

if [ $# -gt 0 ]; then
  exec "$veltrane" "$@"
fi
out="$root/out/sample-$(date +%Y%m%d-%H%M%S)"
mkdir -p "$out"
echo "Images in samples/sample.mpo:"
"$veltrane" --list "$root/samples/sample.mpo"
"$veltrane" "$root/samples/sample.mpo" "$out"
echo "Written to $out:"
ls -l "$out"
