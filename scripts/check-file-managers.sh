#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the "Extract Images" entry in a real file manager, as a new user meets it: Nemo runs on a
# private X server (Xvfb) with a private session bus and a fresh home folder, and is driven with
# xdotool; menu entries and file names are found by reading screenshots with tesseract.
#
# After `veltrane --register-context-menu odd` it checks that
#   - double-clicking an .mpo file opens it in the image viewer and writes nothing;
#   - "Extract Images" on one file, then on two selected files, writes each file's odd images
#     beside it and nothing anywhere else;
#   - after `veltrane --unregister-context-menu` the entry is gone from the menu.
#
#   scripts/check-file-managers.sh [--dolphin] [--program PATH] [--screenshot FILE] [--keep]
#     --dolphin          check Dolphin (KDE) as well; heavy, so not part of scripts/test.sh
#     --program PATH     the program to check (default build/release/bin/veltrane)
#     --screenshot FILE  save a picture of Nemo's menu with the entry (as in docs/)
#     --keep             keep the scratch folder, with the screenshots of every step
#
# Every wait is bounded; the script needs no input and ends the processes it started. It prints
# one PASS or FAIL line per check and a last line "file managers: passed" or "... FAILED"; the
# exit status is 0 only when every check passed.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

program="$root/build/release/bin/veltrane"
dolphin=0
keep=0
screenshot=""
while [ $# -gt 0 ]; do
  case "$1" in
    --dolphin) dolphin=1 ;;
    --keep) keep=1 ;;
    --program) program=$2; shift ;;
    --screenshot) screenshot=$2; shift ;;
    *) echo "usage: $0 [--dolphin] [--program PATH] [--screenshot FILE] [--keep]" >&2; exit 2 ;;
  esac
  shift
done
case "$program" in /*) ;; *) program="$PWD/$program" ;; esac
case "$screenshot" in "" | /*) ;; *) screenshot="$PWD/$screenshot" ;; esac

failures=0
pass() { echo "PASS: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() {
  if [ "$failures" -eq 0 ]; then echo "file managers: passed"; exit 0; fi
  echo "file managers: FAILED ($failures)"; exit 1
}

if [ ! -x "$program" ]; then
  fail "no program at $program (build the release preset first)"
  finish
fi

# ---- what the check needs ----------------------------------------------------------------------
need_packages() {  # package names for the commands that are missing
  local missing=() pair
  for pair in "$@"; do
    command -v "${pair%%:*}" >/dev/null 2>&1 || missing+=("${pair#*:}")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo -n"
  fi
  echo "installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive timeout 900 $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null 2>&1 </dev/null
}
tools=(nemo:nemo dbus-launch:dbus-x11 xdotool:xdotool tesseract:tesseract-ocr Xvfb:xvfb
       import:imagemagick update-desktop-database:desktop-file-utils)
[ "$dolphin" -eq 1 ] && tools+=(dolphin:dolphin)
need_packages "${tools[@]}"
for pair in "${tools[@]}"; do
  if ! command -v "${pair%%:*}" >/dev/null 2>&1; then
    fail "${pair%%:*} is not installed and could not be installed (package ${pair#*:})"
  fi
done
[ "$failures" -eq 0 ] || finish

# ---- a private desktop -------------------------------------------------------------------------
scratch=$(mktemp -d "${TMPDIR:-/tmp}/veltrane-fm-XXXXXX")
started=()  # process ids to end, latest last
cleanup() {
  local i
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do kill "${started[i]}" 2>/dev/null; done
  sleep 0.3
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do kill -9 "${started[i]}" 2>/dev/null; done
  if [ "$keep" -eq 1 ]; then echo "scratch folder kept: $scratch"; else rm -rf "$scratch"; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

export HOME="$scratch/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache" XDG_RUNTIME_DIR="$scratch/run"
export NO_AT_BRIDGE=1 GTK_A11Y=none LANG=C.UTF-8 LC_ALL=C.UTF-8
unset DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER DESKTOP_SESSION XDG_CURRENT_DESKTOP
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME/applications" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
cd "$HOME" || exit 1

# A display number far from the ones other X servers of the machine take first (0, 99, ...),
# free of lock files; the server is ready once a client can ask it for its size.
xvfb_pid=""
for _ in 1 2 3 4 5; do
  n=$((300 + RANDOM % 600))
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
  xvfb_pid=$!
  started+=("$xvfb_pid")
  export DISPLAY=":$n"
  for _ in $(seq 50); do
    timeout 2 xdotool getdisplaygeometry >/dev/null 2>&1 && break 2
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$xvfb_pid" 2>/dev/null
  xvfb_pid=""
done
if [ -z "$xvfb_pid" ]; then fail "Xvfb did not start (see $scratch/xvfb.log)"; finish; fi
bus=$(timeout 10 dbus-launch --sh-syntax </dev/null) || { fail "dbus-launch did not start"; finish; }
eval "$bus"
[ -n "${DBUS_SESSION_BUS_PID:-}" ] && started+=("$DBUS_SESSION_BUS_PID")

# The program checked, bounded in time like every other step.
veltrane() { timeout 60 "$program" "$@" </dev/null; }

# The image viewer of this desktop: a stand-in that notes each file it is asked to open, made the
# default for JPEG files (the parent type of MPO files), as a real viewer would be.
opened="$scratch/opened.log"
: >"$opened"
cat >"$scratch/viewer" <<EOF
#!/bin/sh
for f; do printf '%s\n' "\$f" >> '$opened'; done
EOF
chmod +x "$scratch/viewer"
cat >"$XDG_DATA_HOME/applications/check-viewer.desktop" <<EOF
[Desktop Entry]
Type=Application
Name=Check Viewer
Exec=$scratch/viewer %F
MimeType=image/jpeg;
NoDisplay=true
EOF
printf '[Default Applications]\nimage/jpeg=check-viewer.desktop\n' >"$XDG_CONFIG_HOME/mimeapps.list"
timeout 30 update-desktop-database "$XDG_DATA_HOME/applications" >/dev/null 2>&1

# The photos: in a folder whose name needs quoting in every command, two files with plain names
# that a screenshot reads well. The reference images come from the program run by hand, with a
# mode word, into the current folder.
folder="$HOME/Stereo 'trip' \$HOME \`x\` 100% caf$(printf '\303\251')"
mkdir -p "$folder" "$scratch/reference"
sample="$root/samples/sample.mpo"
if [ ! -f "$sample" ]; then fail "no sample file at $sample"; finish; fi
for name in alpha bravo; do
  cp "$sample" "$folder/$name.mpo"
  cp "$sample" "$scratch/reference/$name.mpo"
done
(cd "$scratch/reference" && veltrane alpha.mpo odd && veltrane bravo.mpo odd) ||
  { fail "the program itself could not split the sample"; finish; }

veltrane --register-context-menu odd >/dev/null || { fail "--register-context-menu odd failed"; finish; }
default=$(timeout 10 xdg-mime query default image/x-mpo 2>/dev/null)
if [ "$default" = veltrane-extract-images.desktop ]; then
  fail "registering made Extract Images the default for image/x-mpo"
else
  pass "opening .mpo files is not taken over by the registration (default: ${default:-none})"
fi

# Every file under the home folder, hidden folders (settings, caches) left out.
visible_files() { find "$HOME" -path '*/.*' -prune -o -type f -print | LC_ALL=C sort; }

# ---- reading the screen ------------------------------------------------------------------------
# Takes a screenshot (kept as last.png, and with --keep under a name of its own) and prints "x y"
# of the centre of the first word matching the extended regular expression $1 (in lower case)
# whose previous word does not match $2, or nothing.
find_word() {
  local png="$scratch/last.png"
  [ "$keep" -eq 1 ] && png="$scratch/shot-$(date +%s.%N).png"
  # Read at twice the size: small menu text is read far more reliably so.
  timeout 20 import -window root -resize 200% "$png" 2>/dev/null || return 0
  [ "$png" = "$scratch/last.png" ] || cp "$png" "$scratch/last.png"
  timeout 60 tesseract "$png" - --psm 11 tsv 2>/dev/null |
    awk -F'\t' -v re="$1" -v notafter="${2:-^$}" 'NR > 1 && $12 != "" {
      word = tolower($12)
      if (word ~ re && previous !~ notafter) {
        printf "%d %d\n", ($7 + $9 / 2) / 2, ($8 + $10 / 2) / 2; exit }
      previous = word }'
}
# Waits up to $2 seconds for a word; prints "x y".
wait_word() {
  local deadline=$((SECONDS + $2)) at
  while :; do
    at=$(find_word "$1")
    if [ -n "$at" ]; then echo "$at"; return 0; fi
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.5
  done
}
# Waits up to $1 seconds for the files given to exist.
wait_files() {
  local deadline=$((SECONDS + $1)) f all
  shift
  while :; do
    all=1
    for f; do [ -e "$f" ] || all=0; done
    [ "$all" -eq 1 ] && return 0
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.2
  done
}
key() { timeout 5 xdotool key "$@" 2>/dev/null; }
mouse() { timeout 5 xdotool "$@" 2>/dev/null; }

# Finds the labels of the two files on the screen, waiting up to $1 seconds for the file manager
# to show them; sets alpha_at and bravo_at to "x y".
alpha_at=""
bravo_at=""
locate_files() {
  alpha_at=$(wait_word '^alpha' "$1") && bravo_at=$(wait_word '^bravo' 10)
}

# Opens the context menu of the file alpha, or with "both" of alpha and bravo (alpha is clicked,
# bravo added with Ctrl). Prints "x y" of the entry "Extract Images", or nothing when the menu
# opened without it; fails when no menu opened.
context_menu() {
  local x=${alpha_at% *} y=${alpha_at#* }
  key Escape
  # A click on the empty space below the files clears the selection.
  mouse mousemove "$x" $((y + 150)) click 1
  sleep 0.3
  mouse mousemove "$x" "$y" click 1
  if [ "${1:-}" = both ]; then
    x=${bravo_at% *} y=${bravo_at#* }
    # Qt reads the modifier from the key state, which needs a moment to reach it.
    mouse mousemove "$x" "$y" keydown ctrl sleep 0.3 click 1 sleep 0.3 keyup ctrl
  fi
  sleep 0.3
  mouse mousemove "$x" "$y" click 3
  # The menu has opened once its last entry shows. Underlined shortcut letters (Dolphin) can
  # cost a word its first letters in the reading, so the patterns match word ends.
  wait_word 'erties' 10 >/dev/null || return 1
  # The entry itself, not an "Open With Extract Images" (an application entry for the type).
  find_word 'xtract' 'with$'
  return 0
}

# Compares what appeared in the home folder with what should have: the given files, each equal
# to the reference image of the same name.
check_written() {
  local what=$1 before=$2 f
  shift 2
  local expected=()
  for f; do expected+=("$folder/$f"); done
  local now extra
  now=$(visible_files)
  extra=$(comm -13 <(echo "$before") <(echo "$now"))
  if [ "$extra" != "$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)" ]; then
    fail "$what wrote: ${extra:-nothing}; expected: ${expected[*]}"
    return
  fi
  for f; do
    if ! cmp -s "$folder/$f" "$scratch/reference/$f"; then fail "$what: $f differs"; return; fi
  done
  pass "$what wrote ${*} beside the files and nothing else"
  for f; do rm -f "$folder/$f"; done
}

# How often the viewer was asked to open alpha.mpo.
alpha_opened() { grep -c '/alpha\.mpo$' "$opened" 2>/dev/null || true; }

# The checks, in the file manager $1 once it shows the folder with nothing selected.
check_entry() {
  local fm=$1 before at opens
  before=$(visible_files)
  opens=$(alpha_opened)
  mouse mousemove ${alpha_at% *} ${alpha_at#* } click --repeat 2 --delay 120 1
  local deadline=$((SECONDS + 15))
  while [ "$(alpha_opened)" -le "$opens" ] && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.2; done
  if [ "$(alpha_opened)" -gt "$opens" ]; then
    sleep 1
    if [ "$(visible_files)" = "$before" ]; then
      pass "$fm: double-clicking opens the file in the viewer and writes nothing"
    else
      fail "$fm: double-clicking wrote: $(comm -13 <(echo "$before") <(visible_files))"
    fi
  else
    fail "$fm: double-clicking did not open the file in the image viewer"
  fi

  at=$(context_menu) || { fail "$fm: no context menu for one file"; return; }
  if [ -z "$at" ]; then
    fail "$fm: no Extract Images in the menu of one file"
  else
    # The file manager's window and its menu, without the empty rest of the screen.
    if [ -n "$screenshot" ] && [ "$fm" = Nemo ]; then
      timeout 20 import -window root -trim +repage "$screenshot"
    fi
    mouse mousemove ${at% *} ${at#* } click 1
    wait_files 20 "$folder/alpha_001.jpg" && sleep 1
    check_written "$fm: Extract Images on one file" "$before" alpha_001.jpg
  fi

  at=$(context_menu both) || { fail "$fm: no context menu for two files"; return; }
  if [ -z "$at" ]; then
    fail "$fm: no Extract Images in the menu of two selected files"
  else
    mouse mousemove ${at% *} ${at#* } click 1
    wait_files 20 "$folder/alpha_001.jpg" "$folder/bravo_001.jpg" && sleep 1
    check_written "$fm: Extract Images on two files" "$before" alpha_001.jpg bravo_001.jpg
  fi
  key Escape

  veltrane --unregister-context-menu >/dev/null
  # File managers watch their menu folders; give them a few tries to notice.
  local try gone=0
  for try in 1 2 3 4 5; do
    at=$(context_menu) || break
    key Escape
    if [ -z "$at" ]; then gone=1; break; fi
    sleep 1
  done
  if [ "$gone" -eq 1 ]; then
    pass "$fm: after --unregister-context-menu the entry is gone"
  else
    fail "$fm: Extract Images is still in the menu after --unregister-context-menu"
  fi
}

# ---- Nemo --------------------------------------------------------------------------------------
nemo_pid=""
check_nemo() {
  nemo --no-desktop "$folder" </dev/null >"$scratch/nemo.log" 2>&1 &
  nemo_pid=$!
  started+=("$nemo_pid")
  if locate_files 60; then
    check_entry Nemo
  else
    fail "Nemo did not show the folder (see $scratch/nemo.log)"
  fi
  kill "$nemo_pid" 2>/dev/null
  sleep 1
}

# ---- Dolphin -----------------------------------------------------------------------------------
check_dolphin() {
  if ! kill -0 "$xvfb_pid" 2>/dev/null; then fail "the X server is gone"; return; fi
  veltrane --register-context-menu odd >/dev/null
  QT_QPA_PLATFORM=xcb dolphin --new-window "$folder" </dev/null >"$scratch/dolphin.log" 2>&1 &
  local pid=$!
  started+=("$pid")
  if locate_files 90; then
    check_entry Dolphin
  else
    fail "Dolphin did not show the folder (see $scratch/dolphin.log)"
  fi
  kill "$pid" 2>/dev/null
}

check_nemo
[ "$dolphin" -eq 1 ] && check_dolphin
finish
