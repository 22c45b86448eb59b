#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the build options of the modules beside the core:
#   1. every combination of VELTRANE_STEREO, VELTRANE_TRANSFORM, VELTRANE_HEIF and VELTRANE_GUI
#      configures;
#   2. four builds with one module set apart each build the program and run its commands:
#        stereo only     --stereo of the bundled sample; --transform not available
#        transform only  --transform of the bundled sample; --stereo not available
#        HEIF off        --stereo of the sample, a spatial photo (.heic) layout refused
#        GUI off         the split and --list, the program without arguments says it has no window
# A script of its own, not part of scripts/test.sh: it takes four builds of the program.
#   scripts/check-build-options.sh [BUILD_ROOT]     (default build/options)
# Builds go to BUILD_ROOT/<name>, with ccache when it is installed; -j follows $JOBS (default 2).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
builds=${1:-$root/build/options}
jobs=${JOBS:-2}
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
generator=()
if command -v ninja >/dev/null; then generator=(-G Ninja); fi
sample=$root/samples/sample.mpo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

configure() {  # configure DIR OPTIONS...
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DVELTRANE_TESTS=OFF \
        -DVELTRANE_WERROR=ON "${launcher[@]}" "$@" >"$dir.log" 2>&1
}

# expect STATUS TEXT COMMAND...: runs COMMAND, which must exit with STATUS and print TEXT.
expect() {
  local status=$1 text=$2
  shift 2
  local got=0
  "$@" >"$work/out" 2>&1 || got=$?
  if [ "$got" -ne "$status" ] || { [ -n "$text" ] && ! grep -qF -- "$text" "$work/out"; }; then
    fail "$* (status $got, wanted $status and \"$text\"):"
    sed 's/^/    /' "$work/out" >&2
  fi
}

echo "== every combination configures"
mkdir -p "$builds/configure"
for stereo in ON OFF; do
  for transform in ON OFF; do
    for heif in ON OFF; do
      for gui in ON OFF; do
        name=stereo-$stereo.transform-$transform.heif-$heif.gui-$gui
        if configure "$builds/configure/$name" -DVELTRANE_STEREO=$stereo -DVELTRANE_TRANSFORM=$transform \
             -DVELTRANE_HEIF=$heif -DVELTRANE_GUI=$gui; then
          echo "   $name"
        else
          fail "$name does not configure (see $builds/configure/$name.log)"
        fi
      done
    done
  done
done

build() {  # build NAME OPTIONS...: configures and builds the program into $builds/NAME
  local dir=$builds/$1
  shift
  echo "== $(basename "$dir"): $*"
  mkdir -p "$builds"
  if ! configure "$dir" "$@"; then
    fail "$(basename "$dir") does not configure (see $dir.log)"
    return 1
  fi
  if ! nice cmake --build "$dir" -j"$jobs" --target veltrane >"$dir.build.log" 2>&1; then
    fail "$(basename "$dir") does not build (see $dir.build.log)"
    tail -20 "$dir.build.log" >&2
    return 1
  fi
}

if build stereo-only -DVELTRANE_STEREO=ON -DVELTRANE_TRANSFORM=OFF -DVELTRANE_GUI=OFF; then
  v=$builds/stereo-only/bin/veltrane
  expect 0 "pair.jpg" "$v" --stereo --layout parallel "$sample" "$work/pair.jpg"
  expect 1 "not available in this build" "$v" --transform rotate90 "$sample" "$work/turned.mpo"
fi

if build transform-only -DVELTRANE_STEREO=OFF -DVELTRANE_TRANSFORM=ON -DVELTRANE_GUI=OFF; then
  v=$builds/transform-only/bin/veltrane
  expect 0 "turned.mpo" "$v" --transform rotate180 "$sample" "$work/turned.mpo"
  expect 1 "not available in this build" "$v" --stereo "$sample" "$work/pair.jpg"
fi

if build heif-off -DVELTRANE_HEIF=OFF -DVELTRANE_GUI=OFF; then
  v=$builds/heif-off/bin/veltrane
  expect 0 "anaglyph.jpg" "$v" --stereo --layout anaglyph "$sample" "$work/anaglyph.jpg"
  expect 0 "sideways.mpo" "$v" --transform rotate90 --force "$sample" "$work/sideways.mpo"
  expect 1 "spatial photos are not available in this build" "$v" --stereo --layout heic "$sample" "$work/spatial.heic"
fi

if build gui-off -DVELTRANE_GUI=OFF -DVELTRANE_STEREO=OFF -DVELTRANE_TRANSFORM=OFF -DVELTRANE_HEIF=OFF; then
  v=$builds/gui-off/bin/veltrane
  expect 0 "Image 002" "$v" --list "$sample"
  mkdir -p "$work/split"
  expect 0 "" "$v" "$sample" "$work/split"
  expect 2 "no window" "$v"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "All build options check out."
