#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Whole-program timings of the batch split (release build, page cache warm).
#   bench/split/split_timings.sh [BUILD_DIR [big|small]]     default build/release, both parts
# 1. Two ~1 GiB MPO files of 100 images, made under BIG_DIR (default /tmp) and deleted at the
#    end: one whose images start FF D8 FF E1 (found by the signature scan) and one whose images
#    start FF D8 FF E0 and are named only by the first image's MPF index. For each,
#    `veltrane big.mpo OUTDIR` against `cp big.mpo OUTDIR2/`, alternating, `sync` before every
#    timed run; prints the median of the ratios and the split's peak RSS (/usr/bin/time -v).
# 2. 999 images of 4-7 KiB: veltrane against the minimal C splitter (ref_splitter: reads the
#    file, writes each image with plain writes, no temporary files), alternating, each run into a
#    fresh folder; the folders are deleted only after all rounds. Prints both medians and the
#    median of the ratios. Goal: at most 1.1.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/release}
part=${2:-all}
bin=$build/bin
work=${BENCH_DIR:-$root/build/bench-work}
big=$(mktemp -d "${BIG_DIR:-/tmp}/veltrane-bench.XXXXXX")
trap 'rm -rf "$big"' EXIT
rounds=${ROUNDS:-7}
mkdir -p "$work"
rm -rf "$work"/out-* "$work"/cp-* "$work"/ref-*

now() { date +%s.%N; }
elapsed() { echo "$2 - $1" | bc -l; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# split_against_cp NAME FILE: the rounds of case 1 for one file.
split_against_cp() {
  local name=$1 file=$2 ratios=() r t0 t1 t2 t3 split copy
  cat "$file" > /dev/null  # warm the page cache
  for r in $(seq "$rounds"); do
    mkdir "$big/out-$r" "$big/cp-$r"
    # Each timed run starts after a sync, and neither is charged for writing back its output.
    sync; t0=$(now); "$bin/veltrane" "$file" "$big/out-$r"; t1=$(now)
    sync; t2=$(now); cp "$file" "$big/cp-$r/"; t3=$(now)
    split=$(elapsed "$t0" "$t1"); copy=$(elapsed "$t2" "$t3")
    if [ "$(ls "$big/out-$r" | wc -l)" -ne 100 ]; then echo "$name: the split did not write 100 files"; exit 1; fi
    ratios+=("$(echo "$split / $copy" | bc -l)")
    printf '%s round %d: split %.3f s, cp %.3f s\n' "$name" "$r" "$split" "$copy"
    rm -rf "$big/out-$r" "$big/cp-$r"
  done
  echo "$name ($(du -h "$file" | cut -f1)): median split/cp = $(printf '%s\n' "${ratios[@]}" | median)"
  mkdir "$big/out-rss"
  /usr/bin/time -v "$bin/veltrane" "$file" "$big/out-rss" 2> "$big/time"
  echo "$name: peak resident memory of the split: $(awk -F': ' '/Maximum resident/ {print $2}' "$big/time") KiB"
  rm -rf "$big/out-rss" "$big/time"
}

if [ "$part" != small ]; then
  "$bin/make_big_mpo" "$big/big.mpo" 100 10000000 11500000
  split_against_cp "signature-only big file" "$big/big.mpo"
  rm -f "$big/big.mpo"
  "$bin/make_big_mpo" --indexed "$big/indexed.mpo" 100 10000000 11500000
  split_against_cp "index-only big file (JFIF starts)" "$big/indexed.mpo"
  rm -f "$big/indexed.mpo"
fi
[ "$part" != big ] || exit 0

[ -f "$work/small.mpo" ] || "$bin/make_big_mpo" "$work/small.mpo" 999 4096 7168
cat "$work/small.mpo" > /dev/null
ratios=() splits=() refs=()
for r in $(seq "$rounds"); do
  mkdir "$work/out-s$r" "$work/ref-s$r"
  if ((r % 2)); then  # alternate which one runs first
    t0=$(now); "$bin/veltrane" "$work/small.mpo" "$work/out-s$r"; t1=$(now)
    "$bin/ref_splitter" "$work/small.mpo" "$work/ref-s$r"; t2=$(now)
    split=$(elapsed "$t0" "$t1"); ref=$(elapsed "$t1" "$t2")
  else
    t0=$(now); "$bin/ref_splitter" "$work/small.mpo" "$work/ref-s$r"; t1=$(now)
    "$bin/veltrane" "$work/small.mpo" "$work/out-s$r"; t2=$(now)
    ref=$(elapsed "$t0" "$t1"); split=$(elapsed "$t1" "$t2")
  fi
  ratios+=("$(echo "$split / $ref" | bc -l)") splits+=("$split") refs+=("$ref")
  printf 'round %d: split %.3f s, ref %.3f s\n' "$r" "$split" "$ref"
done
printf '999 small images: median split %.3f s, median ref_splitter %.3f s, median of the ratios %.2f (goal: at most 1.1)\n' \
  "$(printf '%s\n' "${splits[@]}" | median)" "$(printf '%s\n' "${refs[@]}" | median)" \
  "$(printf '%s\n' "${ratios[@]}" | median)"
rm -rf "$work"/out-s* "$work"/ref-s*
