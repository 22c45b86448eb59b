# SPDX-License-Identifier: GPL-3.0-or-later
# Finds libimagequant, the palette quantizer (Debian's libimagequant-dev, or the Windows build's
# prefix from scripts/windows-libs.sh), and defines the imported target ImageQuant::ImageQuant
# and ImageQuant_FOUND, ImageQuant_INCLUDE_DIR and ImageQuant_LIBRARY.
find_path(ImageQuant_INCLUDE_DIR NAMES libimagequant.h)
find_library(ImageQuant_LIBRARY NAMES imagequant)
mark_as_advanced(ImageQuant_INCLUDE_DIR ImageQuant_LIBRARY)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(ImageQuant REQUIRED_VARS ImageQuant_LIBRARY ImageQuant_INCLUDE_DIR)
if(ImageQuant_FOUND AND NOT TARGET ImageQuant::ImageQuant)
  add_library(ImageQuant::ImageQuant UNKNOWN IMPORTED)
  set_target_properties(ImageQuant::ImageQuant PROPERTIES IMPORTED_LOCATION "${ImageQuant_LIBRARY}"
                        INTERFACE_INCLUDE_DIRECTORIES "${ImageQuant_INCLUDE_DIR}")
endif()
