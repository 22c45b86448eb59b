#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A newer libheif's heif-info (Debian bookworm-backports' libheif-examples 1.19), unpacked into a
# folder of its own, for the tests that check the cameras' properties of the spatial photos the
# program writes: the libheif of Debian 12 (1.15) does not read them. The system's libheif stays
# as it is.
#
#   scripts/libheif-backports.sh DEST
#
# Downloads libheif-examples, libheif1 and libheif-plugin-libde265 of bookworm-backports with
# `apt-get download` through an apt configuration of its own in DEST/apt (its own sources list,
# index, cache and state: the system's apt lists are never read or changed), from the archive that
# this machine's apt configuration names for bookworm (scripts/debian-archive.sh: no address is
# written into the project), unpacks them with `dpkg -x` into DEST/root and writes DEST/heif-info,
# which runs that heif-info with its own libraries and plugins. Everything else heif-info needs
# (libjpeg, libpng, libtiff, libde265) is bookworm's. Prints the path of DEST/heif-info; a second
# run finds it there and downloads nothing. Exits 1, saying why, when it cannot be had (no
# network, no apt, another system).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dest=${1:?usage: libheif-backports.sh DEST}
packages=(libheif-examples libheif1 libheif-plugin-libde265)
suite=bookworm-backports

fail() {
  echo "libheif-backports: $*" >&2
  exit 1
}

mkdir -p "$dest"
dest=$(cd "$dest" && pwd)
wrapper="$dest/heif-info"
# One run at a time: a second one waits, then finds the wrapper.
exec 9>"$dest/.lock"
flock 9
if [ -x "$wrapper" ] && "$wrapper" --version >/dev/null 2>&1; then
  echo "$wrapper"
  exit 0
fi

for tool in apt-get dpkg dpkg-deb; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done
arch=$(dpkg --print-architecture)
archive=$("$root/scripts/debian-archive.sh" bookworm) || fail "no Debian archive in the apt configuration"

apt_dir="$dest/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/state" "$dest/debs"
echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $archive $suite main" >"$apt_dir/sources.list"
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
             -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
             -o "Dir::State=$apt_dir/state" -o "Dir::State::status=$apt_dir/state/status"
             -o "APT::Architecture=$arch" -o Acquire::Retries=1)
# As root apt downloads as the user _apt, who cannot write into a private folder of root's.
[ "$(id -u)" -ne 0 ] || apt_options+=(-o APT::Sandbox::User=root)
touch "$apt_dir/state/status"
timeout 300 apt-get "${apt_options[@]}" -qq update || fail "the index of $suite cannot be fetched"
rm -f "$dest/debs"/*.deb
(cd "$dest/debs" && timeout 300 apt-get "${apt_options[@]}" -qq download "${packages[@]/%/\/$suite}") ||
  fail "${packages[*]} cannot be downloaded from $suite"

rm -rf "$dest/root"
for deb in "$dest/debs"/*.deb; do
  dpkg -x "$deb" "$dest/root"
done
libdir=$(dirname "$(find "$dest/root" -name 'libheif.so.1' -print -quit)")
[ -x "$dest/root/usr/bin/heif-info" ] && [ -d "$libdir" ] || fail "the packages hold no heif-info"
cat >"$wrapper.tmp" <<EOF
#!/bin/sh
# heif-info of $suite's libheif, with its own libraries (written by scripts/libheif-backports.sh)
LD_LIBRARY_PATH="$libdir\${LD_LIBRARY_PATH:+:\$LD_LIBRARY_PATH}" LIBHEIF_PLUGIN_PATH="$libdir/libheif/plugins" \\
  exec "$dest/root/usr/bin/heif-info" "\$@"
EOF
chmod +x "$wrapper.tmp"
"$wrapper.tmp" --version >/dev/null 2>&1 || fail "the unpacked heif-info does not run (a library missing?)"
mv "$wrapper.tmp" "$wrapper"
echo "$wrapper"
