# SPDX-License-Identifier: MIT
# Run by CPack on the staged tree, before it packs it: lays the Debian
# package out as Debian policy asks. `cmake --install` is left as it is.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(usr "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${usr}/${CPACK_TRACKMETER_DOCDIR}")
set(man "${usr}/${CPACK_TRACKMETER_MANDIR}")
if(NOT IS_DIRECTORY "${doc}" OR NOT IS_DIRECTORY "${man}")
  message(FATAL_ERROR "no ${doc} or ${man} in the staged tree")
endif()

# gzip -9n: maximum compression and no name or time stamp in the header,
# so the package is the same from run to run.
function(gzip_in_place file)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${file} failed: ${status}")
  endif()
endfunction()

# CPack has stripped the programs; as Debian's own tools do, drop the
# compiler's notes too.
if(CPACK_TRACKMETER_STRIP)
  file(GLOB programs "${usr}/bin/*")
  foreach(program IN LISTS programs)
    execute_process(COMMAND "${CPACK_TRACKMETER_STRIP}" --remove-section=.comment
      --remove-section=.note "${program}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "strip ${program} failed: ${status}")
    endif()
  endforeach()
endif()

file(GLOB_RECURSE pages "${man}/*")
foreach(page IN LISTS pages)
  if(NOT page MATCHES "\\.gz$")
    gzip_in_place("${page}")
  endif()
endforeach()

# Documents over 4 kB are gzipped; the copyright file never is.
file(GLOB docs "${doc}/*")
foreach(file IN LISTS docs)
  file(SIZE "${file}" size)
  if(size GREATER 4096 AND NOT file MATCHES "\\.gz$")
    gzip_in_place("${file}")
  endif()
endforeach()

file(COPY "${CPACK_TRACKMETER_PACKAGING_DIR}/copyright" DESTINATION "${doc}"
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
# A native package's Debian changelog is changelog.gz.
file(COPY "${CPACK_TRACKMETER_PACKAGING_DIR}/changelog" DESTINATION "${doc}"
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
gzip_in_place("${doc}/changelog")
