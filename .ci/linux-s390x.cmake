# SPDX-License-Identifier: MIT
# Cross build for 64-bit big-endian IBM Z with Debian's cross compiler, run
# through qemu-s390x.
set(trackmeter_linux_arch s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
