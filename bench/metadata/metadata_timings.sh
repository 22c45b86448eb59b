#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Whole-program timings of the metadata commands (release build, page cache warm).
#   bench/metadata/metadata_timings.sh [startup|batch|memory ...]    default: all three
# BUILD_DIR (default build/release) holds the program and bench_exif, whose camera-shaped files
# (`bench_exif --write-shapes`) are the files read.
# 1. startup: one file, the whole process: `veltrane --exif FILE` against libexif's `exif FILE`,
#    in alternating rounds of hyperfine -N (medians), for each camera-shaped file; then `--tags` and `--list` of one
#    file against the same `exif`. Goal: veltrane --exif at most 0.8 times exif.
# 2. batch: 1,000 copies of the camera-shaped files: `veltrane --tags --json FILES` against
#    `exiftool -json -a -G1 FILES`, files per second. Goal: at most 0.05 times exiftool.
# 3. memory: peak resident memory (/usr/bin/time -v) of `veltrane --tags --json -@ LIST` over 10
#    and over 100,000 file names (hard links to the camera-shaped files; a list, since that many
#    names exceed the command line's limit). Goal: no more over 100,000 names than over 10.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${BUILD_DIR:-$root/build/release}
veltrane=$build/bin/veltrane
work=$(mktemp -d "${BENCH_DIR:-/tmp}/veltrane-metadata.XXXXXX")
trap 'rm -rf "$work"' EXIT
parts=("$@")
[ ${#parts[@]} -gt 0 ] || parts=(startup batch memory)

mkdir "$work/shapes"
"$build/bin/bench_exif" --write-shapes "$work/shapes"
shapes=("$work"/shapes/*.jpg)

# medians CMD...: hyperfine's median of each command, in milliseconds, one per line.
medians() {
  hyperfine -N -i --warmup 20 --runs "${RUNS:-300}" --export-json "$work/hf.json" "$@" > /dev/null 2>&1
  perl -ne 'print "$1\n" if /"median":\s*([0-9.eE+-]+)/' "$work/hf.json" | awk '{printf "%.3f\n", $1 * 1000}'
}

# alternating FILE: the medians in ms of `veltrane --exif FILE` and `exif FILE`, one per line:
# ROUNDS (default 15) rounds of hyperfine -N with 20 runs of each, the two in turn; the median
# of each command's round medians (on a shared machine the load changes less within a round
# than over a long series).
alternating() {
  local r m ours=() theirs=()
  for ((r = 0; r < ${ROUNDS:-15}; r++)); do
    mapfile -t m < <(RUNS=20 medians "$veltrane --exif $1" "exif $1")
    ours+=("${m[0]}") theirs+=("${m[1]}")
  done
  for list in "${ours[*]}" "${theirs[*]}"; do
    tr ' ' '\n' <<< "$list" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'
  done
}

startup() {
  echo "== one file, whole process (alternating runs, median ms)"
  local file m ratio worst=0
  for file in "${shapes[@]}"; do
    mapfile -t m < <(alternating "$file")
    ratio=$(echo "${m[0]} / ${m[1]}" | bc -l)
    printf '  %-14s veltrane --exif %6.3f   exif %6.3f   ratio %.2f\n' "$(basename "$file" .jpg)" "${m[0]}" "${m[1]}" "$ratio"
    worst=$(echo "if ($ratio > $worst) $ratio else $worst" | bc -l)
  done
  printf '  largest ratio: %.2f (goal: at most 0.8) %s\n' "$worst" "$(echo "$worst <= 0.8" | bc -l | sed 's/1/MET/;s/0/NOT MET/')"
  file=$work/shapes/canon_eos.jpg
  # The CPU time of each process (perf stat, where installed): what the program itself costs,
  # which the wall time of a loaded machine blurs with the wait for a processor.
  if perf stat -r 200 -e task-clock -o "$work/ours.stat" "$veltrane" --exif "$file" > /dev/null 2>&1 &&
     perf stat -r 200 -e task-clock -o "$work/theirs.stat" exif "$file" > /dev/null 2>&1; then
    local ours theirs
    ours=$(awk '/task-clock/ { print $1 }' "$work/ours.stat") theirs=$(awk '/task-clock/ { print $1 }' "$work/theirs.stat")
    printf '  canon_eos CPU time (perf stat task-clock): veltrane --exif %s ms, exif %s ms, ratio %.2f\n' \
      "$ours" "$theirs" "$(echo "$ours / $theirs" | bc -l)"
  fi
  mapfile -t m < <(medians "$veltrane --tags $file" "$veltrane --list $file" "$veltrane --version" "exif $file")
  printf '  canon_eos: --tags %.3f, --list %.3f, --version %.3f, exif %.3f\n' "${m[@]}"
}

batch() {
  echo "== 1,000 files: veltrane --tags --json against exiftool -json -a -G1"
  mkdir "$work/batch"
  local i files=()
  for i in $(seq 0 999); do
    cp "${shapes[i % ${#shapes[@]}]}" "$work/batch/$i.jpg"
    files+=("$work/batch/$i.jpg")
  done
  "$veltrane" --tags --json "${files[@]}" > "$work/veltrane.json"
  exiftool -json -a -G1 "${files[@]}" > "$work/exiftool.json" 2> /dev/null || true
  local v e
  v=$(RUNS=${BATCH_RUNS:-20} medians "$veltrane --tags --json ${files[*]}")
  e=$(RUNS=${EXIFTOOL_RUNS:-3} medians "exiftool -json -a -G1 ${files[*]}")
  printf '  veltrane %.1f ms (%.0f files/s)   exiftool %.1f ms (%.0f files/s)   ratio %.3f (goal: at most 0.05)\n' \
    "$v" "$(echo "1000000 / $v" | bc -l)" "$e" "$(echo "1000000 / $e" | bc -l)" "$(echo "$v / $e" | bc -l)"
  rm -rf "$work/batch"
}

# peak_rss LIST: the peak resident memory in KiB of --tags --json over the names of LIST, and the
# wall time.
peak_rss() {
  /usr/bin/time -v "$veltrane" --tags --json -@ "$1" > /dev/null 2> "$work/time"
  printf '%s KiB in %s' "$(awk -F': ' '/Maximum resident/ {print $2}' "$work/time")" \
    "$(awk -F'): ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time")"
}

memory() {
  echo "== peak memory over a list of file names (/usr/bin/time -v)"
  mkdir "$work/links"
  perl -e 'my ($dir, @src) = @ARGV; for my $i (0 .. 99999) { link($src[$i % @src], "$dir/$i.jpg") or die "$!" }' \
    "$work/links" "${shapes[@]}"
  seq 0 9 | sed "s|.*|$work/links/&.jpg|" > "$work/list10"
  seq 0 99999 | sed "s|.*|$work/links/&.jpg|" > "$work/list100000"
  cat "${shapes[@]}" > /dev/null
  echo "  10 names:      $(peak_rss "$work/list10")"
  echo "  100,000 names: $(peak_rss "$work/list100000")"
  rm -rf "$work/links"
}

for part in "${parts[@]}"; do "$part"; done
