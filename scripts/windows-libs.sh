#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the image libraries of the Windows program from Debian bookworm's source packages,
# with mingw-w64 (the posix-thread compilers of cmake/mingw-w64-x86_64.cmake), as static
# libraries with their headers, into a prefix that the `windows` preset finds:
#
#   scripts/windows-libs.sh            libjpeg-turbo (SIMD code through nasm), zlib, libpng,
#                                      giflib, libwebp (with libwebpmux and libwebpdemux) and
#                                      libimagequant  ->  build/windows-libs/image-libs
#   scripts/windows-libs.sh --heif     also libde265, x265 and libheif, in a second prefix
#                                      ->  build/windows-libs/heif-libs
#   scripts/windows-libs.sh --opencv   also OpenCV's core, flann, imgproc, features2d and calib3d
#                                      (full stereo alignment)  ->  build/windows-libs/opencv-libs
#   scripts/windows-libs.sh --update   refresh the Debian source index first (otherwise it is
#                                      fetched only when there is none yet)
#
# Sources come from Debian's archive alone, through `apt-get source` with an apt configuration of
# this script's own (a deb-src entry for bookworm main, checked with Debian's archive key; its own
# index, cache and state folders): the system's apt lists are never read or changed. dpkg-source -x
# unpacks each package with all of Debian's patches applied. Nothing prebuilt is used.
#
# Each prefix is a folder named by a key: the SHA-256 of this script and the toolchain file
# (cmake/mingw-w64-x86_64.cmake), the compilers' and nasm's versions and the Debian versions of
# its source packages, as the index names them (and, for the second stage, the first one's key,
# never a path). Its versions.txt is written when everything is in, so a second run finds it
# complete and is a no-op that only reads the index; build/windows-libs/<stage>-libs is a link to
# the prefix of the current key, made after it. Debian's patches: all applied, none breaks the build.
# Variables: WINDOWS_LIBS_CACHE (the folder of keys, sources and the apt index; default
# ~/.cache/veltrane/windows-libs, outside the clone, so that every clone and work tree of the
# machine shares it and a fresh clone finds the libraries built), JOBS (parallel compiles,
# default 2).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
script="$root/scripts/$(basename "${BASH_SOURCE[0]}")"
links="$root/build/windows-libs"
cache=${WINDOWS_LIBS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/veltrane/windows-libs}
jobs=${JOBS:-2}
host=x86_64-w64-mingw32
toolchain="$root/cmake/mingw-w64-x86_64.cmake"

stages=(image)
update=0
for arg in "$@"; do
  case $arg in
    --heif) stages+=(heif) ;;
    --opencv) stages+=(opencv) ;;
    --update) update=1 ;;
    -h|--help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$script"; exit 0 ;;
    *) echo "windows-libs: unknown argument $arg (try --help)" >&2; exit 2 ;;
  esac
done

for tool in "$host-gcc-posix" "$host-g++-posix" "$host-ar" nasm cmake ninja make apt-get dpkg-source; do
  command -v "$tool" >/dev/null || { echo "windows-libs: $tool is missing (scripts/setup.sh test installs it)" >&2; exit 1; }
done
mkdir -p "$cache" "$links"
cache=$(cd "$cache" && pwd)

# One run at a time per cache: a second one waits, then finds the prefixes built.
exec 9>"$cache/.lock"
flock 9

# --- Debian's sources -------------------------------------------------------------------------
apt_dir="$cache/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/state"
# The archive is the one this machine's apt configuration names for bookworm: no address is
# written into the project.
archive=$("$root/scripts/debian-archive.sh" bookworm)
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $archive bookworm main" \
  >"$apt_dir/sources.list"
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
             -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
             -o "Dir::State=$apt_dir/state" -o "Dir::State::status=$apt_dir/state/status")
# As root apt downloads as the user _apt, who cannot write into a private folder of root's.
[ "$(id -u)" -ne 0 ] || apt_options+=(-o APT::Sandbox::User=root)
touch "$apt_dir/state/status"
if [ "$update" = 1 ] || ! compgen -G "$apt_dir/lists/*Sources*" >/dev/null; then
  echo "windows-libs: fetching Debian bookworm's source index"
  apt-get "${apt_options[@]}" -qq update
fi

# The Debian version of a source package in the index.
source_version() {
  local v
  v=$(apt-cache "${apt_options[@]}" showsrc --only-source "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -V | tail -1)
  [ -n "$v" ] || { echo "windows-libs: Debian bookworm has no source package $1" >&2; exit 1; }
  echo "$v"
}

# Unpacks package=version (patched) into $cache/sources and prints its folder.
unpack_source() {
  local pkg=$1 version=$2 dir="$cache/sources/$1_$2"
  if [ ! -f "$dir/.unpacked" ]; then
    rm -rf "$dir" "$dir.tmp"
    mkdir -p "$dir.tmp"
    (cd "$dir.tmp" && apt-get "${apt_options[@]}" -qq source --download-only "$pkg=$version" >/dev/null)
    # apt has checked every file against the index signed with the archive key; the .dsc's own
    # signature is by the uploader, whose key is not on the machine, hence the warning left out.
    (cd "$dir.tmp" && dpkg-source -x ./*.dsc src >unpack.log 2>&1) ||
      { grep -v -e '^gpgv:' -e 'cannot verify' "$dir.tmp/unpack.log" >&2; exit 1; }
    [ -d "$dir.tmp/src" ] || { echo "windows-libs: dpkg-source could not unpack $pkg $version" >&2; exit 1; }
    mv "$dir.tmp" "$dir"
    touch "$dir/.unpacked"
  fi
  echo "$dir/src"
}

# --- The recipes ------------------------------------------------------------------------------
# Each builds one package from $src into $prefix, in the scratch folder $work.
cmake_build() {  # SOURCE_DIR CMAKE_ARGS...
  local dir=$1; shift
  cmake -S "$dir" -B "$work/build" -G Ninja --toolchain "$toolchain" \
        -DVELTRANE_WINDOWS_LIBS="$search_prefixes" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR="$prefix/lib" -DBUILD_SHARED_LIBS=OFF \
        "$@" >"$work/configure.log" 2>&1
  nice -n 10 cmake --build "$work/build" -j "$jobs" >"$work/build.log" 2>&1
  cmake --install "$work/build" >"$work/install.log" 2>&1
}

build_libjpeg_turbo() {
  # The libjpeg (6b) interface as Debian's libjpeg62-turbo has it, with the SIMD code.
  cmake_build "$src" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DREQUIRE_SIMD=ON -DWITH_TURBOJPEG=OFF \
              -DCMAKE_ASM_NASM_COMPILER=nasm
}

build_zlib() {
  # zlib's own configure and makefile, static library only, in a copy (they build in place).
  cp -a "$src" "$work/src"
  (cd "$work/src" && CHOST=$host CC="$host-gcc-posix" CFLAGS=-O2 ./configure --static --prefix="$prefix") \
    >"$work/configure.log" 2>&1
  nice -n 10 make -C "$work/src" -j "$jobs" libz.a >"$work/build.log" 2>&1
  make -C "$work/src" install >"$work/install.log" 2>&1
}

build_libpng1_6() {
  cmake_build "$src" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF
}

build_giflib() {
  # giflib has only a Unix makefile; its library target builds with the cross tools as it is.
  cp -a "$src" "$work/src"
  nice -n 10 make -C "$work/src" -j "$jobs" CC="$host-gcc-posix" AR="$host-ar" CFLAGS="-std=gnu99 -O2 -Wall" \
       libgif.a >"$work/build.log" 2>&1
  install -D -m 644 -t "$prefix/include" "$work/src/gif_lib.h"
  install -D -m 644 -t "$prefix/lib" "$work/src/libgif.a"
}

build_libwebp() {
  cmake_build "$src" -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF \
              -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
              -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF \
              -DWEBP_BUILD_LIBWEBPMUX=ON
}

build_libimagequant() {
  # Without OpenMP: a static library that needs no threading runtime beside it.
  cmake_build "$src" -DBUILD_WITH_SSE=ON -DCMAKE_DISABLE_FIND_PACKAGE_OpenMP=ON -DLIB_INSTALL_DIR="$prefix/lib"
  rm -f "$prefix"/bin/libimagequant.dll "$prefix"/lib/libimagequant.dll.a  # always built beside
}

build_libde265() {
  cmake_build "$src" -DENABLE_SDL=OFF -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF
}

build_x265() {
  # The 8-bit encoder library with its assembly code, without the command-line encoder.
  # WINXP_SUPPORT leaves out the NUMA node affinity of its thread pools (Windows 7's group
  # affinity calls): the pools are sized by the machine's processor count alone, and a system
  # that refuses the group affinity (wine, some virtual machines) no longer has every worker
  # thread print "unable to set thread affinity for NUMA node mask".
  cmake_build "$src/source" -DENABLE_SHARED=OFF -DENABLE_CLI=OFF -DENABLE_ASSEMBLY=ON \
              -DCMAKE_ASM_NASM_COMPILER=nasm -DENABLE_HDR10_PLUS=OFF -DWINXP_SUPPORT=ON
  # Its pkg-config file names the DLL import library of libgcc_s; the programs link libgcc
  # statically.
  sed -i '/^Libs.private:/s/ -lgcc_s\| -lgcc\b//g' "$prefix/lib/pkgconfig/x265.pc"
}

build_libheif() {
  cmake_build "$src" -DWITH_EXAMPLES=OFF -DBUILD_TESTING=OFF -DENABLE_PLUGIN_LOADING=OFF \
              -DWITH_LIBDE265=ON -DWITH_X265=ON -DWITH_DAV1D=OFF -DWITH_AOM_DECODER=OFF \
              -DWITH_AOM_ENCODER=OFF -DWITH_SvtEnc=OFF -DWITH_RAV1E=OFF -DWITH_GDK_PIXBUF=OFF
}

build_opencv() {
  # The five modules of feature matching and the geometry fits, static, on the image stage's
  # zlib; everything else off, and nothing that would fetch a third-party package (IPP, ADE,
  # the codecs, the bindings) is asked for.
  cmake_build "$src" -DBUILD_LIST=core,flann,imgproc,features2d,calib3d -DBUILD_opencv_world=OFF \
              -DBUILD_TESTS=OFF -DBUILD_PERF_TESTS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_opencv_apps=OFF \
              -DBUILD_DOCS=OFF -DBUILD_JAVA=OFF -DBUILD_opencv_python3=OFF -DBUILD_opencv_python2=OFF \
              -DBUILD_opencv_js=OFF -DBUILD_ZLIB=OFF -DBUILD_PROTOBUF=OFF -DBUILD_ITT=OFF -DWITH_ITT=OFF \
              -DWITH_IPP=OFF -DWITH_ADE=OFF -DWITH_OPENCL=OFF -DWITH_DIRECTX=OFF -DWITH_EIGEN=OFF \
              -DWITH_LAPACK=OFF -DWITH_PROTOBUF=OFF -DWITH_QUIRC=OFF -DWITH_FFMPEG=OFF -DWITH_GSTREAMER=OFF \
              -DWITH_DSHOW=OFF -DWITH_MSMF=OFF -DWITH_WIN32UI=OFF -DWITH_VTK=OFF -DWITH_CUDA=OFF \
              -DWITH_OPENMP=OFF -DWITH_JPEG=OFF -DWITH_PNG=OFF -DWITH_TIFF=OFF -DWITH_WEBP=OFF \
              -DWITH_OPENJPEG=OFF -DWITH_JASPER=OFF -DWITH_OPENEXR=OFF -DWITH_IMGCODEC_HDR=OFF \
              -DWITH_IMGCODEC_SUNRASTER=OFF -DWITH_IMGCODEC_PXM=OFF -DWITH_IMGCODEC_PFM=OFF \
              -DWITH_OBSENSOR=OFF -DWITH_VA=OFF -DWITH_1394=OFF -DOPENCV_GENERATE_PKGCONFIG=ON \
              -DENABLE_PRECOMPILED_HEADERS=OFF -DCPU_DISPATCH="SSE4_1;AVX2" -DINSTALL_CREATE_DISTRIB=OFF \
              -DOPENCV_LIB_INSTALL_PATH=lib -DOPENCV_3P_LIB_INSTALL_PATH=lib -DOPENCV_BIN_INSTALL_PATH=bin \
              -DOPENCV_CONFIG_INSTALL_PATH=lib/cmake/opencv4 -DOPENCV_INCLUDE_INSTALL_PATH=include/opencv4 \
              -DOPENCV_LICENSES_INSTALL_PATH=share/licenses/opencv4 -DOPENCV_OTHER_INSTALL_PATH=share/opencv4
}

# The packages of each stage, in build order; a stage also builds on the stages before it.
stage_packages() {
  case $1 in
    image) echo libjpeg-turbo zlib libpng1.6 giflib libwebp libimagequant ;;
    heif) echo libde265 x265 libheif ;;
    opencv) echo opencv ;;
  esac
}

# --- One stage --------------------------------------------------------------------------------
# cpu_ms := the user and system CPU time of this shell's finished children, in milliseconds
# (`times` in this shell itself: in a command substitution it would see no children).
read_children_cpu() {
  times >"$cache/.times"
  local line
  line=$(tail -n 1 "$cache/.times")  # "1m2.345s 0m0.678s"
  cpu_ms=0
  [[ $line =~ ^([0-9]+)m([0-9]+)\.([0-9]{3})s\ ([0-9]+)m([0-9]+)\.([0-9]{3})s$ ]] || return 0
  cpu_ms=$(( (10#${BASH_REMATCH[1]} + 10#${BASH_REMATCH[4]}) * 60000
             + (10#${BASH_REMATCH[2]} + 10#${BASH_REMATCH[5]}) * 1000 + 10#${BASH_REMATCH[3]} + 10#${BASH_REMATCH[6]} ))
}
tenths() { printf '%d.%d' $(($1 / 1000)) $(($1 / 100 % 10)); }

search_prefixes=""
# The keys of the stages built so far: a later stage's key names what it was built on, not
# where that lies, so that the same sources give the same keys in any checkout.
search_keys=""
build_stage() {
  local stage=$1 pkg version packages key versions="" t0 t1 t2 cpu0 cpu_ms
  read -r -a packages <<<"$(stage_packages "$stage")"
  for pkg in "${packages[@]}"; do
    version=$(source_version "$pkg") || exit 1
    versions+="$pkg=$version"$'\n'
  done

  if [ "$stage" = image ]; then
    # The byte-identical stereo outputs need the same libjpeg-turbo as the Linux build's.
    local ours theirs
    ours=$(sed -n 's/^libjpeg-turbo=//p' <<<"$versions")
    theirs=$(dpkg-query -W -f='${Version}' libjpeg62-turbo 2>/dev/null || true)
    if [ -n "$theirs" ] && [ "${ours%-*}" != "${theirs%-*}" ]; then
      echo "windows-libs: Debian's libjpeg-turbo source is $ours, the installed libjpeg62-turbo $theirs:" \
           "the Windows and Linux stereo outputs would differ" >&2
      exit 1
    fi
  fi

  key=$( { cat "$script" "$toolchain"; echo "$search_keys"; "$host-gcc-posix" --version | head -1;
           "$host-g++-posix" --version | head -1; nasm -v; printf '%s' "$versions"; } | sha256sum | cut -c1-16)
  prefix="$cache/$stage-$key"
  # versions.txt is written last: a prefix without it is the remains of a broken run.
  if [ ! -f "$prefix/versions.txt" ]; then
    echo "windows-libs: building the $stage stage ($key) into $prefix"
    rm -rf "$prefix" && mkdir -p "$prefix"
    local outer=$search_prefixes
    search_prefixes="${search_prefixes:+$search_prefixes;}$prefix"
    for pkg in "${packages[@]}"; do
      version=$(sed -n "s/^$pkg=//p" <<<"$versions")
      t0=$(date +%s%N)
      src=$(unpack_source "$pkg" "$version")
      t1=$(date +%s%N)
      read_children_cpu
      cpu0=$cpu_ms
      work=$(mktemp -d "$cache/work.XXXXXX")
      # In a child of its own, so that the recipe stops at its first failing command.
      "build_${pkg//[.-]/_}" &
      if ! wait $!; then
        echo "windows-libs: building $pkg failed; the last lines of its logs:" >&2
        tail -n 30 "$work"/*.log >&2
        exit 1
      fi
      rm -rf "$work"
      t2=$(date +%s%N)
      read_children_cpu
      printf '%-14s %-22s fetch %s s  build %6s s  (CPU %6s s)\n' "$pkg" "$version" \
             "$(tenths $(((t1 - t0) / 1000000)))" "$(tenths $(((t2 - t1) / 1000000)))" \
             "$(tenths $((cpu_ms - cpu0)))" | tee -a "$prefix/build-times.txt"
    done
    search_prefixes=$outer
    # The pkg-config files name their prefix through their own place, so that a build which
    # cached what they said (found through the build/windows-libs link) outlives a new key.
    for pc in "$prefix"/lib/pkgconfig/*.pc; do
      [ -e "$pc" ] || continue  # a stage whose packages install no pkg-config file
      sed -i "s|$prefix|\${pcfiledir}/../..|g" "$pc"
    done
    printf '%s' "$versions" >"$prefix/versions.txt"
  fi
  search_prefixes="${search_prefixes:+$search_prefixes;}$prefix"
  search_keys="$search_keys $stage-$key"
  # The link the preset names, replaced in one step.
  ln -sfn "$prefix" "$links/.$stage-libs.new"
  mv -T "$links/.$stage-libs.new" "$links/$stage-libs"
  echo "windows-libs: $stage stage ready: $links/$stage-libs -> $prefix"
}

for stage in "${stages[@]}"; do build_stage "$stage"; done
