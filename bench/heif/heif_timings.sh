#!/usr/bin/env bash
# Whole-program timings of spatial photos (release build), with hyperfine:
#   bench/heif/heif_timings.sh [BUILD_DIR]        default build/release
# 1. Reading a 2560 x 2560 spatial pair into a side-by-side JPEG (quality 95) against
#    heif-convert of the same file to JPEG (it writes both images, quality 95).
# 2. Writing a spatial photo of a 4000 x 3000 JPEG pair (quality 90) against heif-enc of the two
#    JPEGs into one file (quality 90).
# 3. The peak resident memory of each (/usr/bin/time), beside the RGB size of one decoded eye.
# The pairs are bench/stereo's synthetic scenes (make_stereo_pair), 4:2:0 JPEGs of quality 90.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/release}
bin=$build/bin
work=${BENCH_DIR:-$root/build/bench-heif}
runs=${RUNS:-5}
mkdir -p "$work/2560" "$work/4000"
cd "$work"
[ -f 2560/l.jpg ] || "$bin/make_stereo_pair" 2560 2560 2560
[ -f 4000/l.jpg ] || "$bin/make_stereo_pair" 4000
[ -f pair2560.heic ] || "$bin/veltrane-spatial" encode 2560/l.jpg 2560/r.jpg pair2560.heic 90
spatial="$bin/veltrane-spatial"

hyperfine -N -w 1 -r "$runs" --export-markdown read.md \
  -n veltrane-spatial-parallel "$spatial parallel pair2560.heic sbs.jpg 95" \
  -n heif-convert "heif-convert -q 95 pair2560.heic converted.jpg"
hyperfine -N -w 1 -r "$runs" --export-markdown write.md \
  -n veltrane-spatial-encode "$spatial encode 4000/l.jpg 4000/r.jpg encoded.heic 90" \
  -n heif-enc "heif-enc -q 90 4000/l.jpg 4000/r.jpg -o heif-enc.heic"
cat read.md write.md
rss() { /usr/bin/time -f '%M' -o rss "$@" > /dev/null 2>&1; echo $(( $(cat rss) / 1024 )); }
echo "peak RSS, 2560 x 2560 pair (one decoded RGB eye: $(( 2560 * 2560 * 3 / 1048576 )) MiB):"
echo "  veltrane-spatial parallel: $(rss "$spatial" parallel pair2560.heic sbs.jpg 95) MiB"
echo "  heif-convert:              $(rss heif-convert -q 95 pair2560.heic converted.jpg) MiB"
echo "peak RSS, 4000 x 3000 pair (one decoded RGB eye: $(( 4000 * 3000 * 3 / 1048576 )) MiB):"
echo "  veltrane-spatial encode:   $(rss "$spatial" encode 4000/l.jpg 4000/r.jpg encoded.heic 90) MiB"
echo "  heif-enc:                  $(rss heif-enc -q 90 4000/l.jpg 4000/r.jpg -o heif-enc.heic) MiB"
ls -l encoded.heic heif-enc.heic sbs.jpg converted-1.jpg converted-2.jpg | awk '{print "  " $5 "\t" $9}'
