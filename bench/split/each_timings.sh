#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Whole-program timings of splitting many small MPO files (release build, page cache warm):
#   bench/split/each_timings.sh [BUILD_DIR] [FILES]     default build/release, 400 files
# One `veltrane --each` run over every file, the same run held to one core (taskset), and one
# `veltrane FILE` process per file, compared with hyperfine; then the run's peak memory.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/release}
count=${2:-400}
program=$build/bin/veltrane
work=${BENCH_DIR:-$root/build/bench-work}/each
rm -rf "$work"
mkdir -p "$work"
for i in $(seq -w "$count"); do cp "$root/samples/sample.mpo" "$work/pair-$i.mpo"; done
echo "$count files of $(stat -c %s "$root/samples/sample.mpo") bytes, two images each"

hyperfine --warmup 1 --runs "${ROUNDS:-7}" -N \
  --command-name "veltrane --each, all cores" "$program --each $(printf '%s ' "$work"/*.mpo)" \
  --command-name "veltrane --each, one core" "taskset -c 0 $program --each $(printf '%s ' "$work"/*.mpo)"
hyperfine --warmup 1 --runs "${ROUNDS:-7}" \
  --command-name "one process per file" "for f in '$work'/*.mpo; do '$program' \"\$f\"; done"

/usr/bin/time -f '%M' -o "$work/rss" "$program" --each "$work"/*.mpo >/dev/null
echo "peak resident memory of --each over $count files: $(cat "$work/rss") KiB"
rm -rf "$work"
