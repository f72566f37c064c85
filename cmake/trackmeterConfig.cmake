# SPDX-License-Identifier: MIT
# find_package(trackmeter) gives trackmeter::reader: the Durations.bin
# readers, header-only, for C (trackmeter/durations.h) and C++17
# (trackmeter/durations_reader.h).
include("${CMAKE_CURRENT_LIST_DIR}/trackmeterTargets.cmake")
