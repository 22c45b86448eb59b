#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets (preset "fuzz": clang, ASan + UBSan) and runs every target
# fuzz/*_fuzz.cpp for FUZZ_SECONDS seconds (default 60) from a temporary copy of its seed
# corpus fuzz/corpus/<target>/, so that runs never write into the source tree. Fails when a
# target cannot be built or reports any finding (crash, sanitizer report, leak, timeout, memory
# limit); the reproducer is kept in FUZZ_ARTIFACTS (default build/fuzz-artifacts). FUZZ_JOBS
# targets (default: one a processor) run at a time; their reports come in the targets' order.
#
#   FUZZ_SECONDS=10 scripts/fuzz.sh            # all targets, 10 s each
#   scripts/fuzz.sh jpeg_fuzz                  # one target
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-$(nproc)}
build=${FUZZ_BUILD_DIR:-$root/build/fuzz}
artifacts=${FUZZ_ARTIFACTS:-$root/build/fuzz-artifacts}

log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! cmake --preset fuzz -B "$build" >"$log" 2>&1 || ! cmake --build "$build" -j2 >>"$log" 2>&1; then
  tail -n 40 "$log"
  echo "fuzz: the fuzz targets could not be built"
  exit 1
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/*_fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

# Runs one target; its report goes to standard output, its status is that of the run.
fuzz_one() {
  local target=$1 binary="$build/bin/$1" work rc found
  if [ ! -x "$binary" ]; then echo "fuzz: $target: not built"; return 1; fi
  work=$(mktemp -d)
  mkdir -p "$work/corpus" "$work/artifacts"
  if [ -d "fuzz/corpus/$target" ]; then cp -R "fuzz/corpus/$target/." "$work/corpus/"; fi
  echo "fuzz: $target for ${seconds}s from $(find "$work/corpus" -type f | wc -l) seed files"
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
    "$binary" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1
  rc=$?
  found=$(find "$work/artifacts" -type f | wc -l)
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)' "$work/log" | sed "s/^/fuzz: $target: /"
  if [ $rc -ne 0 ] || [ "$found" -ne 0 ]; then
    echo "fuzz: $target: FINDING (exit status $rc)"
    grep -E 'ERROR|SUMMARY|runtime error|==[0-9]+==' "$work/log" | head -n 20
    mkdir -p "$artifacts"
    cp -R "$work/artifacts/." "$artifacts/" 2>/dev/null
    cp "$work/log" "$artifacts/$target.log"
    echo "fuzz: $target: reproducer and log in $artifacts"
    rm -rf "$work"
    return 1
  fi
  echo "fuzz: $target: no finding"
  rm -rf "$work"
}

reports=$(mktemp -d)
trap 'rm -f "$log"; rm -rf "$reports"' EXIT
pids=()
for i in "${!targets[@]}"; do
  # At most $jobs at a time: wait for the oldest still running.
  if [ ${#pids[@]} -ge "$jobs" ]; then wait "${pids[$((i - jobs))]}"; fi
  fuzz_one "${targets[$i]}" >"$reports/$i" 2>&1 &
  pids+=($!)
done
status=0
for i in "${!targets[@]}"; do
  wait "${pids[$i]}" || status=1
  cat "$reports/$i"
done
exit $status
