# SPDX-License-Identifier: GPL-3.0-or-later
# Sets the display of a wine prefix to DPI dots per inch, making the prefix first when it is
# missing (wine does that on its first start, in about fifteen seconds). Wine reads the DPI
# from "LogPixels" under HKEY_CURRENT_USER\Control Panel\Desktop once, when a process starts.
#
#   cmake -DWINE=wine -DWINESERVER=wineserver -DPREFIX=folder -DDPI=144 -P SetWineDpi.cmake
#
# A prefix set already is left alone, without a wine start: its registry file has the value.
math(EXPR hex "${DPI}" OUTPUT_FORMAT HEXADECIMAL)
string(REGEX REPLACE "^0x" "" hex "${hex}")
string(LENGTH "${hex}" digits)
while(digits LESS 8)
  string(PREPEND hex "0")
  math(EXPR digits "${digits} + 1")
endwhile()
if(EXISTS "${PREFIX}/user.reg")
  file(STRINGS "${PREFIX}/user.reg" set_already REGEX "^\"LogPixels\"=dword:${hex}$")
  if(set_already)
    return()
  endif()
endif()
set(ENV{WINEPREFIX} "${PREFIX}")
execute_process(COMMAND ${WINE} reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d ${DPI} /f
                RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
# The prefix's wine server (and its desktop process, which has no display here) must be gone
# before the test starts its windows on a display; it writes the registry file as it ends.
execute_process(COMMAND ${WINESERVER} -w)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot set LogPixels in the wine prefix ${PREFIX} (reg add: ${status})")
endif()
