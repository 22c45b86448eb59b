#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The manual page and the shell completion against the program's own --help: every option it
# prints is documented and completed, the page renders without warnings, and completion offers
# the mode words after a file and .mpo files before folders.
#   docs_test.sh PROGRAM MANPAGE[.gz] BASH_COMPLETION ZSH_COMPLETION
set -uo pipefail
program=$(realpath "$1") manpage=$(realpath "$2")
bash_completion=$(realpath "$3") zsh_completion=$(realpath "$4")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

mapfile -t options < <("$program" --help | grep -oE -- '(^|[^a-z-])--?[a-z][a-z-]*' |
                        grep -oE -- '--?[a-z][a-z-]*' | sort -u)
[ ${#options[@]} -ge 9 ] || fail "--help printed only ${#options[@]} options"

# The page as a reader sees it (ASCII hyphens in the C locale), and groff's warnings.
page=$(LC_ALL=C MANWIDTH=100 man --warnings -l "$manpage" 2>/tmp/veltrane-man-warnings.$$ | col -b)
warnings=$(cat /tmp/veltrane-man-warnings.$$); rm -f /tmp/veltrane-man-warnings.$$
[ -n "$page" ] || fail "man -l $manpage printed nothing"
[ -z "$warnings" ] || fail "man -l warns: $warnings"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES EXAMPLES; do
  grep -q "^$section" <<<"$page" || fail "the manual page has no $section section"
done
for option in "${options[@]}"; do
  grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$page" || fail "$option is missing from the manual page"
done

# Completion, driven the way bash drives it: COMP_WORDS and COMP_CWORD, then the function
# that `complete -p` names.
scratch=$(mktemp -d); trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/sub folder" && touch "$scratch/a.mpo" "$scratch/B.MPO" "$scratch/c.jpg" "$scratch/d.JPS" "$scratch/e.HEIC"
complete_words() {
  (
    cd "$scratch" || exit 1
    # shellcheck disable=SC1090
    source "$bash_completion"
    completion=$(complete -p veltrane) || exit 1
    function=$(sed -E 's/.*-F ([^ ]+) .*/\1/' <<<"$completion")
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMPREPLY=()
    "$function" veltrane "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}"
  )
}
offered=$(complete_words veltrane --)
for option in "${options[@]}"; do
  [[ $option == --* ]] || continue
  grep -qxF -- "$option" <<<"$offered" || fail "completing 'veltrane --' does not offer $option"
done
# words typed | what must be offered (in any order), each list separated by ";"
cases=(
  "veltrane;x.mpo;|odd;even;sub folder"
  "veltrane;x.mpo;sub folder;|odd;even"
  "veltrane;x.mpo;o|odd"
  "veltrane;|a.mpo;B.MPO;sub folder"
  "veltrane;--no-mpf;--list;|a.mpo;B.MPO;sub folder"
  "veltrane;--exif;|a.mpo;B.MPO;c.jpg;e.HEIC;sub folder"
  "veltrane;--register-context-menu;|odd;even"
  "veltrane;--join;|a.mpo;B.MPO;c.jpg;sub folder"
  "veltrane;--join;--type;|disparity;multi-angle;panorama"
  "veltrane;--repair;|a.mpo;B.MPO;c.jpg;sub folder"
  "veltrane;--stereo;|a.mpo;B.MPO;c.jpg;d.JPS;e.HEIC;sub folder"
  "veltrane;--stereo;--layout;|cross;parallel;anaglyph;over-under;half-sbs;half-ou;interlaced;wiggle;mpo;heic"
)
for case in "${cases[@]}"; do
  IFS=';' read -ra words <<<"${case%%|*}"
  [[ ${case%%|*} == *';' ]] && words+=("")
  got=$(complete_words "${words[@]}" | LC_ALL=C sort | paste -sd';')
  want=$(tr ';' '\n' <<<"${case#*|}" | LC_ALL=C sort | paste -sd';')
  [ "$got" = "$want" ] || fail "completing '${case%%|*}' offers '$got', expected '$want'"
done
first=$(complete_words veltrane "" | head -n 2 | tr '\n' ' ')
[ "$first" = "a.mpo B.MPO " ] || fail "completing a file offers '$first' first, expected the .mpo files"

zsh -n "$zsh_completion" || fail "$zsh_completion is not valid zsh"

[ $failures -eq 0 ] && echo "manual page and completion: every one of ${#options[@]} options covered"
exit $((failures > 0))
