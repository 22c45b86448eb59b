#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The whole test command: installs what is missing, then builds and runs the tests of the
# release, debug-sanitize, tsan and windows presets (the last after scripts/windows-libs.sh has
# built its image libraries from Debian's sources), checks the Debian package (as root also
# installing and removing it), then runs each fuzz target for a bounded time. The tsan preset
# builds and runs only the splitting and batch tests (test_split).
set -uo pipefail
# The stages of scripts/windows-libs.sh to build (--heif adds libde265, x265 and libheif).
WINDOWS_LIBS_STAGES=${WINDOWS_LIBS_STAGES---heif}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
scripts/setup.sh test || exit 1
export WINEDEBUG=-all
# A compiler cache, when there is one, shared by every clone of the machine: paths inside the
# clone are hashed relative to it, so a fresh clone of the same sources compiles nothing twice.
if command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$root"
fi
# Create the wine prefix once, before the first Windows test starts.
if command -v wineboot >/dev/null && [ ! -d "${WINEPREFIX:-$HOME/.wine}" ]; then
  wineboot --init >/dev/null 2>&1 || true
fi

passed=0; failed=0; status=0
for preset in release debug-sanitize tsan windows; do
  echo "=== $preset === (at ${SECONDS} s)"
  if [ "$preset" = windows ]; then
    # The image libraries that the Windows program links, cross-built from Debian's source
    # packages into a cache outside the clone (~/.cache/veltrane/windows-libs), linked from
    # build/windows-libs (a no-op when the prefix of their versions exists).
    libs_start=$SECONDS
    if ! scripts/windows-libs.sh $WINDOWS_LIBS_STAGES >build-windows-libs.log 2>&1; then
      tail -n 40 build-windows-libs.log; echo "the Windows image libraries failed to build"
      status=1; failed=$((failed + 1)); continue
    fi
    grep -E '^[a-z0-9.+-]+ +[0-9]' build-windows-libs.log || true
    echo "Windows image libraries ready in $((SECONDS - libs_start)) s"
  fi
  if ! cmake --preset "$preset" >"build-$preset.log" 2>&1 ||
     ! cmake --build --preset "$preset" >>"build-$preset.log" 2>&1; then
    tail -n 60 "build-$preset.log"; echo "build of $preset failed"; status=1; failed=$((failed + 1)); continue
  fi
  ctest --preset "$preset" 2>&1 | tee "ctest-$preset.log" | grep -E '^\s*[0-9]+/[0-9]+ Test|tests passed|Failed|\*\*\*'
  p=$(grep -Eo '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "ctest-$preset.log" | awk '{print $6-$4", "$4}')
  if [ -z "$p" ]; then status=1; failed=$((failed + 1)); continue; fi
  n_failed=${p#*, }; n_total=$(grep -Eo 'out of [0-9]+' "ctest-$preset.log" | tail -1 | awk '{print $3}')
  passed=$((passed + n_total - n_failed)); failed=$((failed + n_failed))
  [ "$n_failed" -eq 0 ] || status=1
done
rm -f build-*.log ctest-*.log

echo "=== windows installer === (at ${SECONDS} s)"
if scripts/test-windows-installer.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi
# The Debian package: built from the release build, checked, and (as root) installed and removed.
echo "=== package === (at ${SECONDS} s)"
if tests/package/package_test.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi

echo "=== fuzz === (at ${SECONDS} s)"
if [ -x scripts/fuzz.sh ]; then
  if scripts/fuzz.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi
fi

echo "=== file managers === (at ${SECONDS} s)"
# The context-menu entry in a real file manager (Nemo under Xvfb); counted as one test.
if scripts/check-file-managers.sh </dev/null; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi

echo "$passed passed, $failed failed, in ${SECONDS} s"
exit $status
