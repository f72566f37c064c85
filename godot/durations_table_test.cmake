# SPDX-License-Identifier: MIT
# The GDScript reader's test, as CTest runs it:
#   cmake -DGODOT=godot3-server -DSOURCE_DIR=. -DWORK_DIR=build/godot
#         -P godot/durations_table_test.cmake
# First the reader is searched for names that only one of Godot 3 and Godot 4
# has (Godot 4 is not packaged for Debian, so it cannot run here); then Godot
# runs durations_table_test.gd on the shared vectors. Godot exits 0 even when a
# script fails to load, so the test passes only on the script's own last line.
set(reader ${SOURCE_DIR}/godot/addons/trackmeter/durations_table.gd)
file(READ ${reader} code)
string(REGEX REPLACE "#[^\n]*" "" code " ${code} ")
foreach(name extends tool export onready setget yield await
    File FileAccess Reference RefCounted
    Pool[A-Za-z0-9]*Array Packed[A-Za-z0-9]*Array
    to_utf8 to_utf8_buffer to_ascii to_ascii_buffer ord_at unicode_at
    empty is_empty left right hex_to_int)
  if(code MATCHES "[^A-Za-z0-9_](${name})[^A-Za-z0-9_]")
    message(FATAL_ERROR "${reader}: '${CMAKE_MATCH_1}' is not in both Godot 3 and Godot 4"
      " (or means different things there)")
  endif()
endforeach()
if(code MATCHES "@")
  message(FATAL_ERROR "${reader}: annotations are Godot 4's alone")
endif()

file(MAKE_DIRECTORY ${WORK_DIR})  # Godot writes logs/ into its working directory
set(ENV{TRACKMETER_VECTORS} ${SOURCE_DIR}/test/vectors/durations.txt)
set(ENV{LANG} en_US.UTF-8)  # Godot knows no locale "C" and says so
execute_process(
  COMMAND ${GODOT} --no-window -s ${SOURCE_DIR}/godot/durations_table_test.gd
  WORKING_DIRECTORY ${WORK_DIR}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 120)
message("${out}${err}")
string(REGEX MATCH "([^\n]*)\n*$" last "${out}")
set(last "${CMAKE_MATCH_1}")
if(NOT status EQUAL 0 OR NOT last MATCHES "^[0-9]+ passed, 0 failed$")
  message(FATAL_ERROR "Godot exited with '${status}' and last printed '${last}'")
endif()
