#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Whole-program timings of --join on the 4000 x 3000 pair of bench/stereo (release build):
#   bench/mpo/join_timings.sh [BUILD_DIR]        default build/release
# 1. --join of the two JPEG files against `cat` of the same files, run alternately (RUNS pairs,
#    default 41), each run's wall time taken from bash's clock; the medians and their ratio, for
#    new outputs and for outputs that exist.
#    The CPU time of both (perf stat, where installed) and hyperfine's figures follow.
# 2. The peak resident memory of --join (/usr/bin/time) on the pair, and on an MPO file of
#    COPIES (default 60) copies of the pair joined with the pair again.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/release}
bin=$build/bin
work=${BENCH_DIR:-$root/build/bench-mpo}
runs=${RUNS:-41}
copies=${COPIES:-60}
mkdir -p "$work"
cd "$work"
[ -f l.jpg ] || "$bin/make_stereo_pair" "$work"
v=$bin/veltrane
echo "inputs: l.jpg $(stat -c %s l.jpg) bytes, r.jpg $(stat -c %s r.jpg) bytes"

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
# fresh: the outputs are removed before each pair of runs (a new file, the usual case);
# replace: they exist, and --join replaces its output by a rename, which makes ext4 write the
# new file's data out at once (auto_da_alloc), where cat truncates and rewrites in place.
for mode in fresh replace; do
  join_times=() cat_times=()
  for ((i = 0; i < runs + 2; i++)); do
    [ "$mode" = fresh ] && rm -f joined.mpo catted.mpo
    t0=$EPOCHREALTIME; "$v" --join l.jpg r.jpg joined.mpo > /dev/null
    t1=$EPOCHREALTIME; cat l.jpg r.jpg > catted.mpo
    t2=$EPOCHREALTIME
    t0=${t0/[.,]/} t1=${t1/[.,]/} t2=${t2/[.,]/}  # microseconds
    if ((i >= 2)); then  # two warm-up rounds
      join_times+=($((10#$t1 - 10#$t0))) cat_times+=($((10#$t2 - 10#$t1)))
    fi
  done
  join_median=$(printf '%s\n' "${join_times[@]}" | median)
  cat_median=$(printf '%s\n' "${cat_times[@]}" | median)
  echo "alternating runs, $mode output ($runs each): --join median ${join_median} us, cat median" \
       "${cat_median} us, ratio $(echo "scale=2; $join_median / $cat_median" | bc)"
done

perf stat -r "$runs" -e task-clock -o join.stat "$v" --join l.jpg r.jpg joined.mpo > /dev/null 2>&1 &&
  perf stat -r "$runs" -e task-clock -o cat.stat sh -c 'cat l.jpg r.jpg > catted.mpo' &&
  echo "CPU time (perf stat task-clock): --join $(awk '/task-clock/ { print $1 }' join.stat) ms," \
       "sh -c cat $(awk '/task-clock/ { print $1 }' cat.stat) ms" || true
hyperfine -N -w 3 -r "$runs" --export-markdown join.md \
  -n veltrane-join "$v --join l.jpg r.jpg joined.mpo" \
  -n cat "sh -c 'cat l.jpg r.jpg > catted.mpo'" > /dev/null
cat join.md

/usr/bin/time -f '%M' -o rss "$v" --join l.jpg r.jpg joined.mpo > /dev/null
echo "peak RSS of --join of the pair: $(cat rss) KiB"
if [ ! -f many.mpo ]; then
  args=()
  for ((i = 0; i < copies; i++)); do args+=(l.jpg r.jpg); done
  "$v" --join "${args[@]}" many.mpo > /dev/null
fi
/usr/bin/time -f '%M' -o rss "$v" --join many.mpo l.jpg r.jpg big.mpo > /dev/null
echo "peak RSS of --join of $(stat -c %s many.mpo)-byte many.mpo and the pair: $(cat rss) KiB"
/usr/bin/time -f '%M' -o rss "$v" --repair big.mpo big_repaired.mpo > /dev/null
echo "peak RSS of --repair of the $(stat -c %s big.mpo)-byte result: $(cat rss) KiB"
/usr/bin/time -f '%M' -o rss cat l.jpg r.jpg > catted.mpo
echo "peak RSS of cat of the pair: $(cat rss) KiB"
rm -f big.mpo big_repaired.mpo
