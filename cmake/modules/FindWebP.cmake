# SPDX-License-Identifier: GPL-3.0-or-later
# Finds libwebp with its mux and demux libraries (Debian's libwebp-dev, or the Windows build's
# prefix from scripts/windows-libs.sh) and defines the imported targets
#   WebP::webp        encoding and decoding of single images
#   WebP::webpmux     reading and writing the chunks of a WebP container (animation, EXIF, ICC)
#   WebP::webpdemux   walking the frames and chunks of a WebP file
# The last two link WebP::webp; WebP_FOUND, WebP_INCLUDE_DIR and WebP_LIBRARY as usual.
find_path(WebP_INCLUDE_DIR NAMES webp/decode.h)
find_library(WebP_LIBRARY NAMES webp)
find_library(WebP_MUX_LIBRARY NAMES webpmux)
find_library(WebP_DEMUX_LIBRARY NAMES webpdemux)
mark_as_advanced(WebP_INCLUDE_DIR WebP_LIBRARY WebP_MUX_LIBRARY WebP_DEMUX_LIBRARY)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(WebP REQUIRED_VARS WebP_LIBRARY WebP_MUX_LIBRARY WebP_DEMUX_LIBRARY
                                                     WebP_INCLUDE_DIR)
if(WebP_FOUND AND NOT TARGET WebP::webp)
  add_library(WebP::webp UNKNOWN IMPORTED)
  set_target_properties(WebP::webp PROPERTIES IMPORTED_LOCATION "${WebP_LIBRARY}"
                        INTERFACE_INCLUDE_DIRECTORIES "${WebP_INCLUDE_DIR}")
  foreach(part mux demux)
    string(TOUPPER ${part} upper)
    add_library(WebP::webp${part} UNKNOWN IMPORTED)
    set_target_properties(WebP::webp${part} PROPERTIES IMPORTED_LOCATION "${WebP_${upper}_LIBRARY}"
                          INTERFACE_INCLUDE_DIRECTORIES "${WebP_INCLUDE_DIR}" INTERFACE_LINK_LIBRARIES WebP::webp)
  endforeach()
endif()
