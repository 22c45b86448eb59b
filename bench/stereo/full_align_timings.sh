#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Whole-program timings of --stereo --align full on a 4000 x 3000 pair (release build), with
# hyperfine:   bench/stereo/full_align_timings.sh [BUILD_DIR]      default build/release
# The pair (make_tilted_pair.py): the right eye turned by 0.8 degrees, scaled by 1.004 and 3
# pixels lower. The reference is the least work of any re-encoded side-by-side picture: both
# eyes decoded with djpeg and the side-by-side picture encoded with cjpeg. Then the peak resident
# memory of the aligned run (/usr/bin/time), beside the decoded size of one eye, and the CPU time
# (user and system) of the parallel layout and of the reference, which a busy machine's wall
# times blur.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/release}
bin=$build/bin
work=${BENCH_DIR:-$root/build/bench-full-align}
runs=${RUNS:-10}
mkdir -p "$work"
cd "$work"
[ -f l.jpg ] || /usr/bin/python3 "$root/bench/stereo/make_tilted_pair.py" "$work"
# The side-by-side picture that cjpeg encodes, made once.
if [ ! -f sbs.ppm ]; then
  djpeg l.jpg > l.ppm
  djpeg r.jpg > r.ppm
  /usr/bin/python3 -c 'import cv2, numpy; cv2.imwrite("sbs.ppm", numpy.hstack([cv2.imread("l.ppm"), cv2.imread("r.ppm")]))'
fi
v="$bin/veltrane --stereo"
hyperfine -N -w 2 -r "$runs" --export-markdown full-align.md \
  -n veltrane-align-full-parallel "$v --align full --layout parallel l.jpg r.jpg aligned.jpg" \
  -n veltrane-align-full-mpo "$v --align full --layout mpo l.jpg r.jpg aligned.mpo" \
  -n djpeg-x2-cjpeg-sbs "sh -c 'djpeg l.jpg > l.ppm; djpeg r.jpg > r.ppm; cjpeg -quality 95 sbs.ppm > c.jpg'"
cat full-align.md
$v --align full --layout parallel l.jpg r.jpg aligned.jpg
/usr/bin/time -f '%M' -o rss $v --align full --layout parallel l.jpg r.jpg aligned.jpg > /dev/null
echo "peak RSS of --stereo --align full --layout parallel: $(( $(cat rss) / 1024 )) MiB" \
     "(one decoded eye: $(( 4000 * 3000 * 3 / 1048576 )) MiB)"
cpu() {
  /usr/bin/time -f '%U %S' -o cpu "$@" > /dev/null
  awk '{ printf "%.2f s", $1 + $2 }' cpu
}
echo "CPU time: --align full --layout parallel $(cpu $v --align full --layout parallel l.jpg r.jpg aligned.jpg)," \
     "djpeg x2 + cjpeg $(cpu sh -c 'djpeg l.jpg > l.ppm; djpeg r.jpg > r.ppm; cjpeg -quality 95 sbs.ppm > c.jpg')"
