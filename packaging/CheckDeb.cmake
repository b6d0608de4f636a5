# Packs the build with CPack into a scratch folder and reads the package back as dpkg would: its
# architecture must be the target's (a cross build's package is not the build machine's), and each
# man page must be titled after its program (not after an emulator wrapper).

file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake -G DEB -B ${OUT}
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB debs ${OUT}/*.deb)
if(NOT result EQUAL 0 OR NOT debs)
  message(FATAL_ERROR "cpack made no package: ${out}")
endif()
list(GET debs 0 deb)
execute_process(COMMAND dpkg-deb -f ${deb} Architecture OUTPUT_VARIABLE arch OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT arch STREQUAL "${ARCH}")
  message(FATAL_ERROR "${deb} says Architecture: ${arch}, expected ${ARCH}")
endif()
foreach(program ${PROGRAMS})
  execute_process(COMMAND sh -c "dpkg-deb --fsys-tarfile '${deb}' | tar -xO ./usr/share/man/man1/${program}.1.gz | gunzip"
                  OUTPUT_VARIABLE page)
  string(TOUPPER ${program} title)
  if(NOT page MATCHES "\n\\.TH \"?${title}\"? \"1\"")
    string(REGEX MATCH "\\.TH[^\n]*" found "${page}")
    message(FATAL_ERROR "${program}.1 is titled '${found}', expected ${title}(1)")
  endif()
endforeach()
file(REMOVE_RECURSE ${OUT})
message(STATUS "${deb}: Architecture ${arch}, man pages titled after their programs")
