# SPDX-License-Identifier: MIT
# Renders a manual page as plain text (no bold, underline or colour) with
# Windows line ends, for the Windows install.
#   cmake -DGROFF=groff -DPAGE=trackmeter.1 -DTEXT=trackmeter.txt -P page-as-text.cmake
execute_process(COMMAND "${GROFF}" -man -Tutf8 -P -c -P -b -P -u "${PAGE}"
  OUTPUT_VARIABLE text RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR text STREQUAL "")
  message(FATAL_ERROR "groff could not render ${PAGE}: ${status}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${TEXT}" "${text}")
