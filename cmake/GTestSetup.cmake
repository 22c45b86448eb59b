# SPDX-License-Identifier: GPL-3.0-or-later
# GoogleTest: Debian's package natively; for the Windows cross build, compiled from Debian's
# sources in /usr/src/googletest with the cross compiler.
if(CMAKE_CROSSCOMPILING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(lib gtest gtest_main gmock)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
else()
  find_package(GTest REQUIRED)
endif()

# One CTest test per test executable: under wine every process start costs seconds.
function(veltrane_add_test name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE veltrane_core veltrane_samples GTest::gtest GTest::gmock
                                        GTest::gtest_main ${ARGN})
  target_compile_definitions(${name} PRIVATE
    VELTRANE_FIXTURES_DIR="${PROJECT_SOURCE_DIR}/../shared/fixtures"
    VELTRANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  veltrane_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
  if(WIN32)
    # Wine stores Windows names on the Linux file system in the locale's character set, so under
    # LC_ALL=C it cannot create a Greek or Japanese name at all. C.UTF-8 keeps the Windows ANSI
    # code page at 1252 (as LC_ALL=C does), which holds neither: the tests of such names still
    # show that every path goes through the wide functions.
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "WINEDEBUG=-all;LC_ALL=C.UTF-8")
    # A program that crashes under wine has wine's debugger print the fault, and the exit status
    # that reaches CTest may still be 0: the fault's text, or a failed test's line, fails the test.
    set_tests_properties(${name} PROPERTIES
      FAIL_REGULAR_EXPRESSION "Unhandled (page fault|exception|illegal instruction)|\\[  FAILED  \\]")
  else()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "WINEDEBUG=-all")
  endif()
endfunction()
