#!/usr/bin/env bash
# Whole-program timings of the batch split (release build, page cache warm).
#   bench/split/split_timings.sh [BUILD_DIR]     default build/release
# 1. A ~1 GiB MPO of ~100 images: `veltrane big.mpo OUTDIR` against `cp big.mpo OUTDIR2/`,
#    alternating, several rounds; prints the median of the ratios and the split's peak RSS.
# 2. 999 images of 4-7 KiB: veltrane against the minimal C splitter (ref_splitter), each run
#    into a fresh folder; the folders are deleted only after all rounds.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/release}
bin=$build/bin
work=${BENCH_DIR:-$root/build/bench-work}
rounds=${ROUNDS:-7}
mkdir -p "$work"
rm -rf "$work"/out-* "$work"/cp-* "$work"/ref-*

now() { date +%s.%N; }
elapsed() { echo "$2 - $1" | bc -l; }
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

[ -f "$work/big.mpo" ] || "$bin/make_big_mpo" "$work/big.mpo" 100 10000000 11500000
cat "$work/big.mpo" > /dev/null  # warm the page cache
ratios=()
for r in $(seq "$rounds"); do
  mkdir "$work/out-$r" "$work/cp-$r"
  t0=$(now); "$bin/veltrane" "$work/big.mpo" "$work/out-$r"; t1=$(now)
  cp "$work/big.mpo" "$work/cp-$r/"; t2=$(now)
  split=$(elapsed "$t0" "$t1"); copy=$(elapsed "$t1" "$t2")
  ratios+=("$(echo "$split / $copy" | bc -l)")
  printf 'round %d: split %.3f s, cp %.3f s\n' "$r" "$split" "$copy"
  rm -rf "$work/out-$r" "$work/cp-$r"
done
echo "big file ($(du -h "$work/big.mpo" | cut -f1), 100 images): median split/cp = $(printf '%s\n' "${ratios[@]}" | median)"
mkdir "$work/out-rss"
/usr/bin/time -f '%M' -o "$work/rss" "$bin/veltrane" "$work/big.mpo" "$work/out-rss"
echo "peak resident memory of the split: $(( $(cat "$work/rss") / 1024 )) MiB"
rm -rf "$work/out-rss"

[ -f "$work/small.mpo" ] || "$bin/make_big_mpo" "$work/small.mpo" 999 4096 7168
cat "$work/small.mpo" > /dev/null
ratios=()
for r in $(seq "$rounds"); do
  mkdir "$work/out-s$r" "$work/ref-s$r"
  t0=$(now); "$bin/veltrane" "$work/small.mpo" "$work/out-s$r"; t1=$(now)
  "$bin/ref_splitter" "$work/small.mpo" "$work/ref-s$r"; t2=$(now)
  split=$(elapsed "$t0" "$t1"); ref=$(elapsed "$t1" "$t2")
  ratios+=("$(echo "$split / $ref" | bc -l)")
  printf 'round %d: split %.3f s, ref %.3f s\n' "$r" "$split" "$ref"
done
echo "999 small images: median split/ref_splitter = $(printf '%s\n' "${ratios[@]}" | median)"
rm -rf "$work"/out-s* "$work"/ref-s*
