# SPDX-License-Identifier: GPL-3.0-or-later
# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads); tests run under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# The toolchain's own files, then the prefixes of the libraries cross-built from Debian's sources
# (scripts/windows-libs.sh; the windows preset names them in VELTRANE_WINDOWS_LIBS).
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${VELTRANE_WINDOWS_LIBS})
# The test projects of try_compile read this file again, in the same process: same prefixes.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELTRANE_WINDOWS_LIBS)
# pkg-config reads the .pc files of those prefixes alone, never the build machine's own.
set(pkg_config_dirs "")
foreach(prefix IN LISTS VELTRANE_WINDOWS_LIBS)
  list(APPEND pkg_config_dirs ${prefix}/lib/pkgconfig)
endforeach()
list(JOIN pkg_config_dirs ":" pkg_config_dirs)
set(ENV{PKG_CONFIG_LIBDIR} "${pkg_config_dirs}")
set(ENV{PKG_CONFIG_PATH} "")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
