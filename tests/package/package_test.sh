#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: builds it with scripts/package.sh and checks its metadata, its files,
# lintian, the AppStream and desktop entries, the manual page and completion. As root it also
# installs the package with apt-get, splits a sample and registers the context menu with the
# installed program, then removes the package and checks that nothing of it is left under /usr.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

deb=$("$root/scripts/package.sh" 2>/tmp/veltrane-package.$$.log | tail -n 1)
if [ ! -f "$deb" ]; then
  tail -n 30 /tmp/veltrane-package.$$.log; rm -f /tmp/veltrane-package.$$.log
  echo "FAIL: scripts/package.sh made no package"; exit 1
fi
rm -f /tmp/veltrane-package.$$.log
scratch=$(mktemp -d); trap 'rm -rf "$scratch"' EXIT
tree="$scratch/tree"
dpkg-deb -x "$deb" "$tree"
field() { dpkg-deb -f "$deb" "$1"; }

# ---- metadata ----
version=$("$tree/usr/bin/veltrane" --version | awk 'NR == 1 {print $2}')
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "veltrane_${version}_${arch}.deb" ] || fail "package file name $(basename "$deb")"
for expected in "Package=veltrane" "Version=$version" "Section=graphics" "Priority=optional" \
                "Architecture=$arch" "Recommends=xdg-utils"; do
  [ "$(field "${expected%%=*}")" = "${expected#*=}" ] || fail "${expected%%=*} is '$(field "${expected%%=*}")'"
done
maintainer_form='^[^@<]+ <[^@ ]+@[^@ ]+\.[a-z]+>$'
[[ $(field Maintainer) =~ $maintainer_form ]] || fail "Maintainer '$(field Maintainer)'"
for dep in libc6 libstdc++6 libqt6widgets6; do
  [[ $(field Depends) == *"$dep ("* ]] || fail "Depends lacks $dep: $(field Depends)"
done
[ "$(field Description | wc -l)" -ge 4 ] || fail "the description has no long part"
# Every text that names the version names the program's.
grep -q "<h1>Veltrane $version</h1>" "$tree/usr/share/doc/veltrane/user-guide.html" || fail "the user guide is not of version $version"
grep -q "<release version=\"$version\"" "$tree/usr/share/metainfo/org.veltrane.veltrane.metainfo.xml" || fail "no AppStream release $version"
changelog=$(zcat "$tree/usr/share/doc/veltrane/changelog.gz")
[[ ${changelog%%$'\n'*} == "veltrane ($version) "* ]] || fail "the changelog does not start at $version"
man_source=$(zcat "$tree/usr/share/man/man1/veltrane.1.gz")
grep -q "^\.TH .*\"Veltrane $version\"" <<<"$man_source" || fail "the manual page is not of version $version"
ok "metadata of $(basename "$deb")"

# ---- files ----
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -print-multiarch)
expected_files=(
  usr/bin/veltrane
  "usr/lib/$multiarch/veltrane/veltrane-gui.so"
  "usr/lib/$multiarch/veltrane/veltrane-imaging.so"
  "usr/lib/$multiarch/veltrane/veltrane-transform.so"
  usr/share/applications/veltrane.desktop
  usr/share/icons/hicolor/48x48/apps/veltrane.png
  usr/share/icons/hicolor/scalable/apps/veltrane.svg
  usr/share/doc/veltrane/user-guide.html
  usr/share/doc/veltrane/copyright
  usr/share/doc/veltrane/changelog.gz
  usr/share/mime/packages/veltrane-mpo.xml
  usr/share/man/man1/veltrane.1.gz
  usr/share/bash-completion/completions/veltrane
  usr/share/zsh/vendor-completions/_veltrane
  usr/share/metainfo/org.veltrane.veltrane.metainfo.xml
)
for file in "${expected_files[@]}"; do [ -f "$tree/$file" ] || fail "the package lacks /$file"; done
unexpected=$(cd "$tree" && find . -type f | grep -vE '^\./usr/(bin|lib|share)/' || true)
[ -z "$unexpected" ] || fail "files outside /usr/bin, /usr/lib, /usr/share: $unexpected"
gzip -t "$tree/usr/share/man/man1/veltrane.1.gz" || fail "the manual page is not gzip data"
# Reproducible: no file of the package names the folder it was built in.
built_in=$(grep -rlF "$root" "$tree" || true)
[ -z "$built_in" ] || fail "files carry the build path $root: $built_in"
# The program itself loads no image library and no Qt: those come with its modules, which only
# the window and --stereo load.
needed=$(readelf -d "$tree/usr/bin/veltrane" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | paste -sd' ')
for lib in $needed; do
  case $lib in libc.so.* | libm.so.* | ld-linux*.so.* | libstdc++.so.* | libgcc_s.so.*) ;; *) fail "the program needs $lib at start" ;; esac
done
for module in veltrane-imaging veltrane-transform; do
  readelf -d "$tree/usr/lib/$multiarch/veltrane/$module.so" | grep -q 'NEEDED.*libjpeg' ||
    fail "$module.so does not link libjpeg"
done
readelf -d "$tree/usr/lib/$multiarch/veltrane/veltrane-transform.so" | grep -q 'NEEDED.*libheif' &&
  fail "veltrane-transform.so links libheif, which --transform never uses"
ok "file list"

# ---- checkers ----
lintian_out=$(lintian "$deb" 2>&1)
grep -q '^E:' <<<"$lintian_out" && fail "lintian errors: $(grep '^E:' <<<"$lintian_out")"
grep '^W:' <<<"$lintian_out" | sed 's/^/lintian warning: /'
appstreamcli validate --no-net "$tree/usr/share/metainfo/org.veltrane.veltrane.metainfo.xml" >"$scratch/as" 2>&1 ||
  fail "appstreamcli validate: $(cat "$scratch/as")"
desktop-file-validate "$tree/usr/share/applications/veltrane.desktop" || fail "desktop-file-validate"
bash "$root/tests/package/docs_test.sh" "$tree/usr/bin/veltrane" "$tree/usr/share/man/man1/veltrane.1.gz" \
  "$tree/usr/share/bash-completion/completions/veltrane" "$tree/usr/share/zsh/vendor-completions/_veltrane" ||
  fail "manual page or completion"
ok "lintian, appstreamcli, desktop-file-validate, man -l"

# ---- install, use, remove (root only) ----
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: installing the package needs root"
elif [ "$(dpkg-query -W -f='${Status}' veltrane 2>/dev/null)" = 'install ok installed' ]; then
  echo "skipped: a veltrane package is installed already; not touching it"
else
  export DEBIAN_FRONTEND=noninteractive
  if ! apt-get install -y -qq --no-install-recommends "$deb" >"$scratch/apt" 2>&1; then
    fail "apt-get install: $(tail -n 5 "$scratch/apt")"
  else
    home="$scratch/home"; mkdir -p "$home/data" "$scratch/out"
    cp "$root/samples/sample.mpo" "$scratch/out/trip.mpo"
    # The system MIME database knows .mpo files without any registration.
    type=$(HOME=$home XDG_DATA_HOME=$home/data xdg-mime query filetype "$scratch/out/trip.mpo" 2>/dev/null)
    [ "$type" = image/x-mpo ] || fail "xdg-mime calls trip.mpo '$type'"
    (cd "$scratch/out" && HOME=$home XDG_DATA_HOME=$home/data /usr/bin/veltrane trip.mpo) || fail "/usr/bin/veltrane trip.mpo"
    [ -f "$scratch/out/trip_001.jpg" ] && [ -f "$scratch/out/trip_002.jpg" ] || fail "the split wrote no images"
    # --stereo finds the imaging module in the private library folder.
    /usr/bin/veltrane --stereo "$scratch/out/trip.mpo" "$scratch/out/trip.jps" >/dev/null ||
      fail "the installed program's --stereo"
    [ -s "$scratch/out/trip.jps" ] || fail "--stereo wrote no picture"
    /usr/bin/veltrane --transform rotate180 "$scratch/out/trip.mpo" "$scratch/out/turned.mpo" >/dev/null ||
      fail "the installed program's --transform"
    HOME=$home XDG_DATA_HOME=$home/data /usr/bin/veltrane --register-context-menu odd >/dev/null ||
      fail "--register-context-menu"
    entry=$home/data/applications/veltrane-extract-images.desktop
    grep -q '^Exec=.*"/usr/bin/veltrane"' "$entry" || fail "the entry does not run /usr/bin/veltrane: $(grep Exec "$entry")"
    # A window opens: the program finds its window module (it is stopped after a moment).
    HOME=$home XDG_DATA_HOME=$home/data QT_QPA_PLATFORM=offscreen timeout 5 /usr/bin/veltrane >/dev/null 2>&1
    [ $? -eq 124 ] || fail "the installed program does not open its window"
    HOME=$home XDG_DATA_HOME=$home/data /usr/bin/veltrane --unregister-context-menu >/dev/null ||
      fail "--unregister-context-menu"
    [ ! -e "$entry" ] || fail "the entry is still there after --unregister-context-menu"
    ok "installed, split, registered and unregistered"
  fi
  owned=$(dpkg -L veltrane 2>/dev/null | grep '^/usr/' || true)
  apt-get remove -y -qq veltrane >"$scratch/apt" 2>&1 || fail "apt-get remove: $(tail -n 5 "$scratch/apt")"
  left=$(while read -r path; do [ -f "$path" ] && echo "$path"; done <<<"$owned"
         [ -d "/usr/lib/$multiarch/veltrane" ] && echo "/usr/lib/$multiarch/veltrane"
         [ -e /usr/share/mime/image/x-mpo.xml ] && echo /usr/share/mime/image/x-mpo.xml)
  [ -z "$left" ] || fail "left under /usr after apt-get remove: $left"
  [ -z "$owned" ] || ok "removed without a trace under /usr"
fi

if [ $failures -eq 0 ]; then echo "package: passed"; else echo "package: $failures failed"; fi
exit $((failures > 0))
