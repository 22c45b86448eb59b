#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Whole-program timings of the part finder on the phone photos of tools/samples/phone_photos.h,
# written by test_parts (release build):
#   bench/parts/parts_timings.sh [BUILD_DIR]       default build/release
# 1. --parts over COPIES (default 1000) copies of the five photos (a container motion photo with
#    and without a gain map, MicroVideo, Samsung's trailer, GDepth in extended XMP) against
#    `exiftool -ee -j` over the same files: hyperfine's means, their ratio, files per second.
# 2. The split of a motion photo with a gain map and a VIDEO_MB (default 20) MiB video against
#    `cp` of the file, and --remove-video against `cp`, run alternately (RUNS pairs, default 41)
#    into fresh folders: the medians and their ratios (and, for reference, the split of a JPEG
#    of the same size with nothing after its image, one output file); the peak resident memory
#    of both (/usr/bin/time), and of cp.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/release}
bin=$build/bin
work=${BENCH_DIR:-$root/build/bench-parts}
copies=${COPIES:-1000}
video_mb=${VIDEO_MB:-20}
runs=${RUNS:-41}
mkdir -p "$work"
cd "$work"
v=$bin/veltrane

rm -rf photos big && mkdir -p photos big
VELTRANE_PARTS_FIXTURES=$work/photos "$bin/test_parts" --gtest_also_run_disabled_tests \
  --gtest_filter='*WriteFixtures*' > /dev/null
VELTRANE_PARTS_FIXTURES=$work/big VELTRANE_PARTS_VIDEO_SIZE=$((video_mb << 20)) "$bin/test_parts" \
  --gtest_also_run_disabled_tests --gtest_filter='*WriteFixtures*' > /dev/null
mkdir -p many
rm -f photos/plain.jpg
names=(photos/*.jpg)
for ((i = 0; i < copies; i++)); do
  src=${names[i % ${#names[@]}]}
  cp "$src" "many/$(printf '%04d' "$i")_$(basename "$src")"
done
ls "$work"/many/* > list.txt
echo "--parts: $copies files, $(du -sk many | cut -f1) KiB"
hyperfine -N -w 1 -r 5 --export-json parts.json \
  -n veltrane-parts "$v --parts -@ list.txt" \
  -n exiftool "exiftool -ee -j -@ list.txt" > /dev/null
means() { python3 -c "import json,sys; d=json.load(open(sys.argv[1])); print(' '.join('%.6f' % r['mean'] for r in d['results']))" "$1"; }
read -r ours theirs < <(means parts.json)
echo "--parts mean ${ours} s, exiftool -ee -j mean ${theirs} s, ratio $(echo "scale=4; $ours / $theirs" | bc)," \
     "$(echo "scale=0; $copies / $ours" | bc) files/s"

photo=big/container_gainmap.jpg
echo "motion photo: $(stat -c %s $photo) bytes"
mkdir -p split
# Alternating runs, each into a fresh folder (outputs that exist make ext4 write a renamed-over
# file's data out at once), wall times from bash's clock: medians and their ratio.
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
alternate() {  # NAME COMMAND... -- runs COMMAND against cp of the photo
  local name=$1 ours=() theirs=() t0 t1 t2
  shift
  for ((i = 0; i < runs + 2; i++)); do
    rm -rf split && mkdir split
    t0=$EPOCHREALTIME; "$@" > /dev/null
    t1=$EPOCHREALTIME; cp "$photo" split/copy.jpg
    t2=$EPOCHREALTIME
    t0=${t0/[.,]/} t1=${t1/[.,]/} t2=${t2/[.,]/}
    if ((i >= 2)); then ours+=($((10#$t1 - 10#$t0))) theirs+=($((10#$t2 - 10#$t1))); fi
  done
  local a b
  a=$(printf '%s\n' "${ours[@]}" | median) b=$(printf '%s\n' "${theirs[@]}" | median)
  echo "$name median $a us, cp median $b us, ratio $(echo "scale=3; $a / $b" | bc) ($runs runs each)"
}
alternate split "$v" "$photo" split/
# The reference: a JPEG of the same size with nothing beyond its image, split as before (one
# output file), against cp of the photo.
alternate "split of a plain JPEG" "$v" big/plain.jpg split/
alternate --remove-video "$v" --remove-video "$photo" split/still.jpg
/usr/bin/time -f '%M' -o rss "$v" "$photo" split/ > /dev/null
echo "peak RSS of the split: $(cat rss) KiB"
/usr/bin/time -f '%M' -o rss "$v" --remove-video "$photo" split/still.jpg > /dev/null
echo "peak RSS of --remove-video: $(cat rss) KiB"
/usr/bin/time -f '%M' -o rss cp "$photo" split/copy.jpg
echo "peak RSS of cp: $(cat rss) KiB"
ls -l split
