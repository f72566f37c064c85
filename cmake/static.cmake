# SPDX-License-Identifier: MIT
# TRACKMETER_STATIC: programs that need nothing of the Linux they run on.
# Vorbis, the C++ runtime and the C library are linked in. pkg-config's
# targets name the shared libraries (and `-static` alone then fails with
# "attempted static link of dynamic object"), so the Vorbis targets are
# pointed at the distribution's archives instead. Included after the
# Dependencies have made trackmeter_vorbisfile and trackmeter_vorbisenc.
option(TRACKMETER_STATIC "Link every program statically: Vorbis, the C++ runtime, libc" OFF)
if(NOT TRACKMETER_STATIC)
  return()
endif()
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  message(FATAL_ERROR "TRACKMETER_STATIC is for Linux; the Windows builds are static already")
endif()
if(TRACKMETER_SANITIZE OR TRACKMETER_TSAN OR TRACKMETER_FUZZ)
  message(FATAL_ERROR "TRACKMETER_STATIC does not go with the sanitizers")
endif()

# A Vorbis found through its CMake package (built by .ci/build-vorbis) is
# static already; pkg-config's is not.
if(NOT Vorbis_FOUND)
  set(trackmeter_static_deps_vorbis trackmeter_static_ogg m)
  set(trackmeter_static_deps_vorbisfile trackmeter_static_vorbis)
  set(trackmeter_static_deps_vorbisenc trackmeter_static_vorbis)
  foreach(name ogg vorbis vorbisfile vorbisenc)
    find_library(TRACKMETER_STATIC_${name} NAMES lib${name}.a
      HINTS ${VORBISFILE_LIBRARY_DIRS} ${VORBISENC_LIBRARY_DIRS})
    if(NOT TRACKMETER_STATIC_${name})
      message(FATAL_ERROR "TRACKMETER_STATIC: no lib${name}.a (Debian: libvorbis-dev, libogg-dev)")
    endif()
    add_library(trackmeter_static_${name} STATIC IMPORTED)
    set_target_properties(trackmeter_static_${name} PROPERTIES
      IMPORTED_LOCATION ${TRACKMETER_STATIC_${name}}
      INTERFACE_INCLUDE_DIRECTORIES "${VORBISFILE_INCLUDE_DIRS}"
      INTERFACE_LINK_LIBRARIES "${trackmeter_static_deps_${name}}")
  endforeach()
  set_property(TARGET trackmeter_vorbisfile PROPERTY INTERFACE_LINK_LIBRARIES
    trackmeter_static_vorbisfile)
  set_property(TARGET trackmeter_vorbisenc PROPERTY INTERFACE_LINK_LIBRARIES
    trackmeter_static_vorbisenc)
endif()

# Every program from here on, the tests' too, so that they test this build.
add_link_options(-static)
