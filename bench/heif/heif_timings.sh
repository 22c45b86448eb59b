#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Whole-program timings of spatial photos (release build), with hyperfine:
#   bench/heif/heif_timings.sh [BUILD_DIR]        default build/release
# 1. Reading a 2560 x 2560 spatial pair into a side-by-side JPEG: `veltrane --stereo --layout
#    parallel` (each eye decoded and coded as JPEG at quality 95, then joined block for block)
#    against heif-convert of the same file to JPEG (it writes both images, quality 95), and the
#    developer tool's streamed side-by-side JPEG (both eyes decoded, one JPEG encoder).
# 2. Writing a spatial photo of a 4000 x 3000 MPO pair (quality 90): `veltrane --stereo --layout
#    heic` against heif-enc of the two JPEGs into one file (quality 90).
#    With BEFORE_BUILD set (a build of an earlier revision), its --stereo --layout heic as well.
# 3. New camera values for that spatial photo: `veltrane --stereo encoded.heic --fov 70` (its
#    eyes copied, only the meta box rebuilt) against `cp` of the file.
# 4. The peak resident memory of each (/usr/bin/time), beside the RGB size of one decoded eye.
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
[ -f 4000/pair.mpo ] || "$bin/veltrane" --join 4000/l.jpg 4000/r.jpg 4000/pair.mpo > /dev/null
[ -f pair2560.heic ] || "$bin/veltrane" --stereo 2560/l.jpg 2560/r.jpg pair2560.heic > /dev/null
veltrane=$bin/veltrane
spatial=$bin/veltrane-spatial

hyperfine -N -w 1 -r "$runs" --export-markdown read.md \
  -n "veltrane --stereo --layout parallel" "$veltrane --stereo --layout parallel pair2560.heic sbs.jpg" \
  -n heif-convert "heif-convert -q 95 pair2560.heic converted.jpg" \
  -n "veltrane-spatial parallel (streamed)" "$spatial parallel pair2560.heic streamed.jpg 95"
before=()
if [ -n "${BEFORE_BUILD:-}" ]; then
  before=(-n "before: veltrane --stereo --layout heic"
          "$BEFORE_BUILD/bin/veltrane --stereo --layout heic 4000/pair.mpo encoded-before.heic")
fi
hyperfine -N -w 1 -r "$runs" --export-markdown write.md \
  -n "veltrane --stereo --layout heic" "$veltrane --stereo --layout heic 4000/pair.mpo encoded.heic" \
  "${before[@]}" \
  -n heif-enc "heif-enc -q 90 4000/l.jpg 4000/r.jpg -o heif-enc.heic"
hyperfine -N -w 3 -r "$(( runs * 4 ))" --export-markdown rewrite.md --prepare "rm -f rewritten.heic copied.heic" \
  -n "veltrane --stereo (new camera values)" "$veltrane --stereo encoded.heic rewritten.heic --fov 70" \
  -n cp "cp encoded.heic copied.heic"
cat read.md write.md rewrite.md
rss() { /usr/bin/time -f '%M' -o rss "$@" > /dev/null 2>&1; echo $(( $(cat rss) / 1024 )); }
echo "peak RSS, 2560 x 2560 pair (one decoded RGB eye: $(( 2560 * 2560 * 3 / 1048576 )) MiB):"
echo "  veltrane --stereo --layout parallel: $(rss "$veltrane" --stereo --layout parallel pair2560.heic sbs.jpg) MiB"
echo "  veltrane --stereo --layout mpo:      $(rss "$veltrane" --stereo --layout mpo pair2560.heic sbs.mpo) MiB"
echo "  heif-convert:                        $(rss heif-convert -q 95 pair2560.heic converted.jpg) MiB"
echo "peak RSS, 4000 x 3000 pair (one decoded RGB eye: $(( 4000 * 3000 * 3 / 1048576 )) MiB):"
echo "  veltrane --stereo --layout heic:     $(rss "$veltrane" --stereo --layout heic 4000/pair.mpo encoded.heic) MiB"
echo "  heif-enc:                            $(rss heif-enc -q 90 4000/l.jpg 4000/r.jpg -o heif-enc.heic) MiB"
ls -l encoded.heic heif-enc.heic sbs.jpg converted-1.jpg converted-2.jpg | awk '{print "  " $5 "\t" $9}'
