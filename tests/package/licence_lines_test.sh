#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source file of the project names its licence in an SPDX line near its top.
#   licence_lines_test.sh SOURCE_FOLDER
set -uo pipefail
root=${1:?usage: licence_lines_test.sh SOURCE_FOLDER}
missing=0
while IFS= read -r -d '' file; do
  if ! head -n 3 "$file" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later'; then
    echo "no SPDX licence line: ${file#"$root"/}"
    missing=$((missing + 1))
  fi
done < <(find "$root" \( -path "$root/build*" -o -path "$root/.git" \) -prune -o -type f \
              \( -name CMakeLists.txt -o -name '*.cpp' -o -name '*.h' -o -name '*.inc' -o -name '*.rc' \
                 -o -name '*.cmake' -o -name '*.sh' -o -name '*.py' -o -name '*.nsi' \) -print0)
[ "$missing" -eq 0 ] && echo "every source file names its licence"
exit $((missing > 0))
