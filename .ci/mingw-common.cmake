# SPDX-License-Identifier: MIT
# What both Windows toolchain files share; they set trackmeter_mingw_arch
# (i686 or x86_64) and include this.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${trackmeter_mingw_arch})
# The posix thread model: std::thread and its mutexes, through winpthreads,
# which the static programs carry.
set(CMAKE_C_COMPILER ${trackmeter_mingw_arch}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${trackmeter_mingw_arch}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${trackmeter_mingw_arch}-w64-mingw32-windres)
# TRACKMETER_DEPS_PREFIX: where libogg and libvorbis for Windows are installed.
set(CMAKE_FIND_ROOT_PATH /usr/${trackmeter_mingw_arch}-w64-mingw32 ${TRACKMETER_DEPS_PREFIX})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TRACKMETER_DEPS_PREFIX)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
