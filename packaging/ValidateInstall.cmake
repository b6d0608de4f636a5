# Installs the build into PREFIX and runs the desktop's validators on what was installed: the
# desktop entry, the AppStream metadata, and the icon and man pages they point to; the installed
# app reports the project's version.

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()

set(desktop ${PREFIX}/share/applications/${APP_ID}.desktop)
set(metainfo ${PREFIX}/share/metainfo/${APP_ID}.metainfo.xml)
foreach(file ${desktop} ${metainfo} ${PREFIX}/share/icons/hicolor/scalable/apps/${APP_ID}.svg
             ${PREFIX}/share/icons/hicolor/48x48/apps/${APP_ID}.png ${PREFIX}/bin/lumivue
             ${PREFIX}/bin/lumivue-enhance ${PREFIX}/bin/lumivue-report ${PREFIX}/share/man/man1/lumivue.1.gz
             ${PREFIX}/share/doc/lumivue/copyright ${PREFIX}/share/doc/lumivue/changelog.gz)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
list(FIND PROGRAMS lumivue-collector collector)
if(collector GREATER -1 AND NOT EXISTS ${PREFIX}/lib/systemd/system/lumivue-collector.service)
  message(FATAL_ERROR "not installed: the collector's systemd unit")
endif()

# Hints count as failures too, so a new warning is seen at once.
execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${desktop} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "desktop-file-validate: ${out}")
endif()
execute_process(COMMAND ${APPSTREAMCLI} validate --no-net --explain ${metainfo}
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "appstreamcli validate: ${out}")
endif()
string(REPLACE "," ";" emulator "${EMULATOR}") # a cross build's emulator, as a comma list
foreach(program ${PROGRAMS})
  execute_process(COMMAND ${emulator} ${PREFIX}/bin/${program} --version RESULT_VARIABLE result OUTPUT_VARIABLE out)
  if(NOT result EQUAL 0 OR NOT out MATCHES "^${program} ${VERSION}\n$")
    message(FATAL_ERROR "${program} --version printed '${out}', expected '${program} ${VERSION}'")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
message(STATUS "installed desktop entry and AppStream metadata are valid")
