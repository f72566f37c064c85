# SPDX-License-Identifier: MIT
# Cross build for 32-bit Windows with Debian's mingw-w64.
set(trackmeter_mingw_arch i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
