#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages Veltrane needs, if any is missing.
#   scripts/setup.sh run    what building and running the program needs
#   scripts/setup.sh test   everything the tests, the Windows build and the fuzzers need (default)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
profile=${1:-test}
lists=("$here/packages-run.txt")
[ "$profile" = test ] && lists+=("$here/packages.txt")

mapfile -t wanted < <(cat "${lists[@]}" | sed 's/#.*//' | awk 'NF {print $1}' | sort -u)
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
