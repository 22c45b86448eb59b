# SPDX-License-Identifier: GPL-3.0-or-later
# Shared build helpers. Every target of the project compiles warning-free with these warnings,
# on g++, clang and mingw-w64.
function(veltrane_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion)
  if(VELTRANE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Adds every folder below the current one that has a CMakeLists.txt (one target per folder).
function(veltrane_add_subfolders)
  file(GLOB dirs LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(dir ${dirs})
    if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# Fails the build of target before it compiles when a file of its folder dir includes a header
# of a module outside allowed: core/<module>/... names the core's modules, imaging/<module>/...
# the imaging wing's, gui/, gui_win32/, json/, app/, tools/ and tests/ the modules of those names
# (cmake/CheckLayers.cmake).
function(veltrane_check_layers target module dir allowed)
  file(GLOB files CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${module}.layers-checked)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DMODULE=${module} "-DALLOWED=${allowed}" "-DFILES=${files}"
            -DSTAMP=${stamp} -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake
    DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/CheckLayers.cmake
    COMMENT "Checking the includes of ${module}" VERBATIM)
  add_custom_target(${target}_layers DEPENDS ${stamp})
  add_dependencies(${target} ${target}_layers)
endfunction()

# Declares the layers of a module beside the core (a front end, a tool): the module itself and
# everything that the modules it builds on may include. A module whose layers are not declared
# (not configured in this build) counts with its own name alone. The result is the global
# property veltrane_layers_<name>, which the layer check and its tests read.
function(veltrane_declare_layers name)
  set(layers ${name})
  foreach(dep ${ARGN})
    get_property(below GLOBAL PROPERTY veltrane_layers_${dep})
    if(NOT below)
      set(below ${dep})
    endif()
    list(APPEND layers ${below})
  endforeach()
  list(REMOVE_DUPLICATES layers)
  set_property(GLOBAL PROPERTY veltrane_layers_${name} ${layers})
endfunction()

# veltrane_check_module_layers(TARGET name) for a module declared with veltrane_declare_layers:
# the files of the current folder may include only its layers.
function(veltrane_check_module_layers target name)
  get_property(layers GLOBAL PROPERTY veltrane_layers_${name})
  veltrane_check_layers(${target} ${name} ${CMAKE_CURRENT_SOURCE_DIR} "${layers}")
endfunction()
