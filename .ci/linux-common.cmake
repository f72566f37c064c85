# SPDX-License-Identifier: MIT
# What both Linux cross toolchain files share; they set trackmeter_linux_arch
# (the GNU triplet's first part: s390x or aarch64) and include this. Debian's
# cross compilers, the multiarch -dev packages of the target (libvorbis-dev,
# libgtest-dev, libgmock-dev) and qemu-user to run what is built.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${trackmeter_linux_arch})
set(trackmeter_triplet ${trackmeter_linux_arch}-linux-gnu)
set(CMAKE_C_COMPILER ${trackmeter_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${trackmeter_triplet}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${trackmeter_triplet})
# The multiarch libraries stand in the host's /usr/lib/TRIPLET, which the
# search already takes for this architecture; host programs (python3, mono,
# node for the readers' tests) are the host's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# pkg-config must read the target's .pc files, not the host's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${trackmeter_triplet}/pkgconfig:/usr/share/pkgconfig)
# Debian's cross loader (libc6-TRIPLET-cross) and the multiarch libc6 can be
# of different versions: the loader must find its own libc first.
find_program(trackmeter_qemu qemu-${trackmeter_linux_arch})
if(trackmeter_qemu)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${trackmeter_qemu} -L /usr/${trackmeter_triplet}
    -E LD_LIBRARY_PATH=/usr/${trackmeter_triplet}/lib)
endif()
