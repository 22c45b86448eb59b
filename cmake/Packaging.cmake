# SPDX-License-Identifier: GPL-3.0-or-later
# Everything an installation holds besides the program and the window module, and the Debian
# package that CPack makes of that installation (scripts/package.sh).
#
# The build folder mirrors the installed layout below share/, so that a program run from
# <build>/bin finds its files exactly as an installed one does from <prefix>/bin: through
# ../share/.
set(data ${PROJECT_SOURCE_DIR}/data)
set(staged ${CMAKE_BINARY_DIR}/share)

# The user guide with its pictures, beside the program as in the installation.
foreach(file user-guide.html main-window.png exif-window.png stereo-window.png)
  configure_file(${PROJECT_SOURCE_DIR}/docs/${file} ${staged}/doc/veltrane/${file} COPYONLY)
endforeach()

# The manual page and the package changelog carry the version; both are compressed with
# gzip -9n (no name and time stamp in the header, so that builds are reproducible).
configure_file(${PROJECT_SOURCE_DIR}/docs/veltrane.1 ${staged}/man/man1/veltrane.1 @ONLY)
configure_file(${data}/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(OUTPUT ${staged}/man/man1/veltrane.1.gz
  COMMAND gzip -9nkf ${staged}/man/man1/veltrane.1
  DEPENDS ${staged}/man/man1/veltrane.1 VERBATIM)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz
  COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/debian/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog VERBATIM)

# The file type of .mpo files, the same text that the context-menu registration writes per user.
add_subdirectory(${PROJECT_SOURCE_DIR}/tools/mime_package ${CMAKE_BINARY_DIR}/tools/mime_package)
set(mime_package ${staged}/mime/packages/veltrane-mpo.xml)
add_custom_command(OUTPUT ${mime_package}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${staged}/mime/packages
  COMMAND veltrane-mime-package > ${mime_package}
  DEPENDS veltrane-mime-package)

set(metainfo_id org.veltrane.veltrane)
configure_file(${data}/metainfo/${metainfo_id}.metainfo.xml.in
               ${staged}/metainfo/${metainfo_id}.metainfo.xml @ONLY)

add_custom_target(veltrane_data ALL DEPENDS ${staged}/man/man1/veltrane.1.gz
                  ${CMAKE_BINARY_DIR}/debian/changelog.gz ${mime_package})

install(FILES ${staged}/man/man1/veltrane.1.gz DESTINATION share/man/man1)
install(FILES ${data}/completion/veltrane.bash DESTINATION share/bash-completion/completions
        RENAME veltrane)
install(FILES ${data}/completion/_veltrane DESTINATION share/zsh/vendor-completions)
install(FILES ${mime_package} DESTINATION share/mime/packages)
install(FILES ${staged}/metainfo/${metainfo_id}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${data}/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.gz
        DESTINATION share/doc/veltrane)
# Registers the user guide with the system's documentation index.
install(FILES ${data}/debian/doc-base DESTINATION share/doc-base RENAME veltrane)

# ---- the Debian package -------------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltrane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Veltrane developers")
set(CPACK_PACKAGE_CONTACT "The Veltrane developers <packages@veltrane.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "split MPO stereo pictures into their JPEG images")
# The long description, as lines of at most 80 characters; an empty line separates paragraphs.
set(CPACK_PACKAGE_DESCRIPTION [=[
Veltrane splits MPO files, the multi-picture files written by 3D compacts,
stereo handheld consoles and some phones, into the complete JPEG images stored
back to back inside them. It lists the images with their sizes, writes all of
them or only the left-eye or right-eye ones to numbered JPEG files, and shows
the EXIF data of each image through a reader of its own, including the maker
notes of many cameras.

It is a small desktop program and a command-line tool in one, and can add an
Extract Images entry for MPO files to the context menu of the file manager.]=])
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://veltrane.org/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/StripForPackage.cmake)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
