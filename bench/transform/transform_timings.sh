#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Whole-program timings and memory of --transform on a camera-size photo with a gain map
# (release build):
#   bench/transform/transform_timings.sh [BUILD_DIR]        default build/release
# 1. make_gain_map_photo writes a 4000 x 3000 photo (4:2:0, quality 90) and its 2000 x 1500 gain
#    map, grey and, in color/, YCbCr 4:2:0, each pair also as one MPO file (hdr.jpg).
# 2. hyperfine -N: `veltrane --transform rotate90` of photo and gain map against
#    `jpegtran -rotate 90` of the photo alone (which drops the gain map); the medians and their
#    ratio. RUNS runs each (default 21).
#    The same two run alternately (bash's clock), which a changing load disturbs less.
# 3. Their CPU time (perf stat), less disturbed by other work on the machine than wall time.
# 4. The peak resident memory (/usr/bin/time -v) of both, for rotate90 and flip-h, beside the
#    size of the photo's coefficients as libjpeg holds them (64 two-byte values per block).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/release}
bin=$build/bin
work=${BENCH_DIR:-$root/build/bench-transform}
runs=${RUNS:-21}
mkdir -p "$work/color"
cd "$work"
[ -f hdr.jpg ] || "$bin/make_gain_map_photo" "$work"
[ -f color/hdr.jpg ] || "$bin/make_gain_map_photo" "$work/color" 4000 3000 color
v=$bin/veltrane
echo "inputs: photo.jpg $(stat -c %s photo.jpg) bytes, grey gain map $(stat -c %s gainmap.jpg) bytes," \
     "colour gain map $(stat -c %s color/gainmap.jpg) bytes"

median_ratio() {  # hyperfine JSON: the medians of the first two commands and their ratio
  python3 -c 'import json, sys
r = json.load(open(sys.argv[1]))["results"]
a, b = r[0]["median"] * 1000, r[1]["median"] * 1000
names = [x["command"] for x in r]
print(f"{names[0]}: median {a:.1f} ms; {names[1]}: median {b:.1f} ms; ratio {a / b:.3f}")' "$1"
}
for set in . color; do
  hyperfine -N -w 3 -r "$runs" --export-json "$set/rotate90.json" \
    -n "veltrane --transform rotate90 $set/hdr.jpg" "$v --transform rotate90 $set/hdr.jpg $set/out.jpg" \
    -n "jpegtran -rotate 90 photo.jpg" "jpegtran -rotate 90 -outfile jt.jpg photo.jpg" > /dev/null
  median_ratio "$set/rotate90.json"
done

# The same pair run alternately, each run's wall time from bash's clock: a machine whose load
# changes during the benchmark weighs on both alike.
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
ours=() theirs=()
for ((i = 0; i < runs + 2; i++)); do
  t0=$EPOCHREALTIME; "$v" --transform rotate90 hdr.jpg out.jpg > /dev/null
  t1=$EPOCHREALTIME; jpegtran -rotate 90 -outfile jt.jpg photo.jpg
  t2=$EPOCHREALTIME
  t0=${t0/[.,]/} t1=${t1/[.,]/} t2=${t2/[.,]/}  # microseconds
  if ((i >= 2)); then ours+=($((10#$t1 - 10#$t0))) theirs+=($((10#$t2 - 10#$t1))); fi
done
ours_median=$(printf '%s\n' "${ours[@]}" | median) theirs_median=$(printf '%s\n' "${theirs[@]}" | median)
echo "alternating runs ($runs each): --transform rotate90 hdr.jpg median ${ours_median} us," \
     "jpegtran -rotate 90 photo.jpg median ${theirs_median} us, ratio $(echo "scale=3; $ours_median / $theirs_median" | bc)"

# CPU time, which a busy machine disturbs less than wall time (perf stat, where installed).
cpu() { perf stat -r "$runs" -e task-clock -x, "$@" 2>&1 >/dev/null | awk -F, '/task-clock/ { printf "%.1f ms", $1 }'; }
if command -v perf > /dev/null && perf stat -e task-clock true > /dev/null 2>&1; then
  echo "CPU time (perf stat task-clock, mean of $runs):"
  echo "  veltrane --transform rotate90 hdr.jpg        $(cpu "$v" --transform rotate90 hdr.jpg out.jpg)"
  echo "  veltrane --transform rotate90 color/hdr.jpg  $(cpu "$v" --transform rotate90 color/hdr.jpg out.jpg)"
  echo "  jpegtran -rotate 90 photo.jpg                $(cpu jpegtran -rotate 90 -outfile jt.jpg photo.jpg)"
fi

peak() { /usr/bin/time -v "$@" 2>&1 >/dev/null | awk '/Maximum resident/ { print $6 }'; }
echo "peak RSS, KiB:"
echo "  veltrane --transform rotate90 hdr.jpg        $(peak "$v" --transform rotate90 hdr.jpg out.jpg)"
echo "  veltrane --transform rotate90 color/hdr.jpg  $(peak "$v" --transform rotate90 color/hdr.jpg out.jpg)"
echo "  veltrane --transform flip-h hdr.jpg          $(peak "$v" --transform flip-h hdr.jpg out.jpg)"
echo "  jpegtran -rotate 90 photo.jpg                $(peak jpegtran -rotate 90 -outfile jt.jpg photo.jpg)"
echo "  jpegtran -flip horizontal photo.jpg          $(peak jpegtran -flip horizontal -outfile jt.jpg photo.jpg)"
# 4000 x 3000 at 4:2:0: 500 x 375 luma blocks, 2 x 250 x 188 chroma blocks (padded to the MCU).
echo "  the photo's coefficients                      $(( (500 * 375 + 2 * 250 * 188) * 128 / 1024 ))"
rm -f out.jpg jt.jpg color/out.jpg
