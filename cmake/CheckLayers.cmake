cmake_minimum_required(VERSION 3.25)
# Fails when a file of MODULE includes a header of a module outside ALLOWED: a header under
# core/<module>/ belongs to that core module, one under stereo/ to the stereo module, one under
# heif/ to the spatial-photo module.
# Run as: cmake -DMODULE=m -DALLOWED=a;b -DFILES=f1;f2 -DSTAMP=file -P CheckLayers.cmake
set(wrong "")
foreach(file ${FILES})
  file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<](core/[A-Za-z0-9_]+|stereo|heif)/")
  foreach(line ${includes})
    string(REGEX MATCH "[\"<](core/([A-Za-z0-9_]+)|stereo|heif)/" _ "${line}")
    set(module ${CMAKE_MATCH_2})
    if(NOT module)
      set(module ${CMAKE_MATCH_1})
    endif()
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
