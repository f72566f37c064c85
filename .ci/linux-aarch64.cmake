# SPDX-License-Identifier: MIT
# Cross build for 64-bit ARM with Debian's cross compiler, run through
# qemu-aarch64.
set(trackmeter_linux_arch aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-common.cmake)
