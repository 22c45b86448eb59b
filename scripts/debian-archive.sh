#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Prints the address of the Debian archive that this machine's apt configuration uses for the
# release's main suite (e.g. the first URIs of a deb822 *.sources entry whose Suites name
# "bookworm", or of a one-line "deb URI bookworm main" entry), so that scripts which need Debian's
# source packages or another suite of the same archive go where the machine already goes, and no
# address is written into the project. Exits 1, saying so, when none is configured.
#   scripts/debian-archive.sh [SUITE]     SUITE defaults to the system's codename
set -euo pipefail
suite=${1:-$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")}
etc=${APT_ETC:-/etc/apt}
found=""
# deb822 entries: blank-line separated stanzas of Types/URIs/Suites/Components.
for f in "$etc"/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  found=$(awk -v suite="$suite" '
    function flush() { if (types ~ /deb/ && (" " suites " ") ~ (" " suite " ") && uri != "" && !printed) { print uri; printed = 1 } types = suites = uri = "" }
    /^[ \t]*#/ { next }
    /^[ \t]*$/ { flush(); next }
    /^Types:/ { types = $0; sub(/^Types:[ \t]*/, "", types) }
    /^URIs:/ { uri = $2 }
    /^Suites:/ { suites = $0; sub(/^Suites:[ \t]*/, "", suites) }
    /^Enabled:[ \t]*no/ { types = "" }
    END { flush() }' "$f")
  [ -n "$found" ] && break
done
# One-line entries: deb [options] URI SUITE COMPONENT...
if [ -z "$found" ]; then
  for f in "$etc"/sources.list "$etc"/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    found=$(sed -e 's/#.*//' -e 's/\[[^]]*\]//' "$f" |
            awk -v suite="$suite" '($1 == "deb" || $1 == "deb-src") && $3 == suite { print $2; exit }')
    [ -n "$found" ] && break
  done
fi
if [ -z "$found" ]; then
  echo "debian-archive.sh: no Debian archive for $suite in the apt configuration ($etc)" >&2
  exit 1
fi
echo "${found%/}"
