#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Whole-program timings of --stereo on a 4000 x 3000 pair (release build), with hyperfine:
#   bench/stereo/stereo_timings.sh [BUILD_DIR]        default build/release
# 1. Lossless side by side against the jpegtran chain (crop to a double-width canvas, then drop
#    the second image in).
# 2. The anaglyph against decoding both images with djpeg and encoding one with cjpeg.
# 3. Both again with --align.
# 4. Half side by side against decoding both images with djpeg and encoding one image's size
#    with cjpeg (the work any half-size frame needs at least).
# 5. The wiggle GIF (and WebP) against ImageMagick's convert of the same two images to a
#    1280-pixel GIF.
# 6. The aligned MPO layout against two jpegtran -crop runs that cut the same overlap, and the
#    unaligned one against cat.
# Then the peak resident memory of each run (/usr/bin/time), beside the decoded size of one image.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/release}
bin=$build/bin
work=${BENCH_DIR:-$root/build/bench-stereo}
runs=${RUNS:-10}
mkdir -p "$work"
cd "$work"
[ -f pair.mpo ] || "$bin/make_stereo_pair" "$work"
v="$bin/veltrane --stereo"

hyperfine -N -w 2 -r "$runs" --export-markdown sbs.md \
  -n veltrane-cross "$v pair.mpo sbs.jps" \
  -n veltrane-cross-align "$v --align pair.mpo sbs-aligned.jps" \
  -n jpegtran-chain "sh -c 'jpegtran -crop 8000x3000+0+0 l.jpg > canvas.jpg && jpegtran -drop +4000+0 r.jpg canvas.jpg > chain.jpg'"
hyperfine -N -w 2 -r "$runs" --export-markdown anaglyph.md \
  -n veltrane-anaglyph "$v --layout anaglyph pair.mpo an.jpg" \
  -n veltrane-anaglyph-align "$v --layout anaglyph --align pair.mpo an-aligned.jpg" \
  -n djpeg-cjpeg "sh -c 'djpeg l.jpg > l.ppm; djpeg r.jpg > r.ppm; cjpeg -quality 95 -sample 1x1 l.ppm > c.jpg'"
hyperfine -N -w 2 -r "$runs" --export-markdown half.md \
  -n veltrane-half-sbs "$v --layout half-sbs pair.mpo half.jpg" \
  -n djpeg-cjpeg "sh -c 'djpeg l.jpg > l.ppm; djpeg r.jpg > r.ppm; cjpeg -quality 95 l.ppm > c.jpg'"
hyperfine -N -w 1 -r "$runs" --export-markdown wiggle.md \
  -n veltrane-wiggle-gif "$v --layout wiggle pair.mpo w.gif" \
  -n veltrane-wiggle-webp "$v --layout wiggle pair.mpo w.webp" \
  -n convert-gif "convert -delay 15 l.jpg r.jpg -resize 1280x -loop 0 out.gif"
# The overlap that --align finds: "(images cropped by A across, D down)".
read -r across down < <($v --layout mpo --align pair.mpo mpo-aligned.mpo |
                        sed -nE 's/.*images cropped by (-?[0-9]+) across, (-?[0-9]+) down.*/\1 \2/p')
abs() { echo $(( $1 < 0 ? -$1 : $1 )); }
w=$((4000 - $(abs "$across"))) h=$((3000 - $(abs "$down")))
lx=$(( across < 0 ? -across : 0 )) ly=$(( down < 0 ? -down : 0 ))
rx=$((lx + across)) ry=$((ly + down))
hyperfine -N -w 2 -r "$runs" --export-markdown mpo.md \
  -n veltrane-mpo-align "$v --layout mpo --align pair.mpo mpo-aligned.mpo" \
  -n two-jpegtran-crops "sh -c 'jpegtran -crop ${w}x$h+$lx+$ly -outfile lc.jpg l.jpg; jpegtran -crop ${w}x$h+$rx+$ry -outfile rc.jpg r.jpg'" \
  -n veltrane-mpo "$v --layout mpo pair.mpo mpo.mpo" \
  -n cat "sh -c 'cat l.jpg r.jpg > cat.mpo'"
cat sbs.md anaglyph.md half.md wiggle.md mpo.md
for args in "pair.mpo m1.jps" "--align pair.mpo m2.jps" "--layout anaglyph pair.mpo m3.jpg" \
            "--layout anaglyph --align pair.mpo m4.jpg" "--layout over-under pair.mpo m5.jpg" \
            "--layout half-sbs pair.mpo m6.jpg" "--layout half-ou pair.mpo m7.jpg" \
            "--layout interlaced pair.mpo m8.png" "--layout wiggle pair.mpo m9.gif" \
            "--layout mpo pair.mpo m10.mpo" "--layout mpo --align pair.mpo m11.mpo"; do
  /usr/bin/time -f '%M' -o rss $v $args > /dev/null
  echo "peak RSS of --stereo $args: $(( $(cat rss) / 1024 )) MiB (one decoded image: $(( 4000 * 3000 * 3 / 1048576 )) MiB)"
done
