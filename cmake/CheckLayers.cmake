# SPDX-License-Identifier: GPL-3.0-or-later
cmake_minimum_required(VERSION 3.25)
# Fails when a file of MODULE includes a header of a module outside ALLOWED. A header under
# core/<module>/ belongs to that core module, one under imaging/<module>/ to that module of the
# imaging wing (jpeg, png, align, stereo, transform, heif, services, module); one under json/, gui/,
# gui_win32/, app/, tools/ or tests/ to the module of that name (the tests are a module that no
# program part may include). Headers named without a folder are the file's own folder's.
# Run as: cmake -DMODULE=m -DALLOWED=a;b -DFILES=f1;f2 -DSTAMP=file -P CheckLayers.cmake
set(folders "core/[A-Za-z0-9_]+|imaging/[A-Za-z0-9_]+|json|gui|gui_win32|app|tools|tests")
set(wrong "")
foreach(file ${FILES})
  file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<](${folders})/")
  foreach(line ${includes})
    string(REGEX MATCH "[\"<](${folders})/" _ "${line}")
    set(module ${CMAKE_MATCH_1})
    string(REGEX REPLACE "^(core|imaging)/" "" module "${module}")
    if(NOT module IN_LIST ALLOWED)
      string(STRIP "${line}" line)
      string(APPEND wrong "\n  ${file}: ${line}")
    endif()
  endforeach()
endforeach()
if(wrong)
  message(FATAL_ERROR "${MODULE} may include only the modules ${ALLOWED}; found:${wrong}")
endif()
file(TOUCH ${STAMP})
