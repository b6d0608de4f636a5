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

# The display the metainfo asks for holds the window the installed app opens by default.
file(STRINGS ${metainfo} claims REGEX "<display_length")
string(REGEX MATCH "side=\"shortest\">([0-9]+)<" _ "${claims}")
set(shortest ${CMAKE_MATCH_1})
string(REGEX MATCH "side=\"longest\">([0-9]+)<" _ "${claims}")
set(longest ${CMAKE_MATCH_1})
if(shortest STREQUAL "" OR longest STREQUAL "")
  message(FATAL_ERROR "the metainfo names no shortest and longest display_length")
endif()
set(shot ${PREFIX}/window.png)
execute_process(COMMAND ${CMAKE_COMMAND} -E env HOME=${PREFIX} XDG_DATA_HOME=${PREFIX}/data ${emulator}
                        ${PREFIX}/bin/lumivue --headless --no-analytics --screenshot ${shot}
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT result EQUAL 0 OR NOT EXISTS ${shot})
  message(FATAL_ERROR "lumivue --headless --screenshot failed: ${err}")
endif()
file(READ ${shot} header OFFSET 16 LIMIT 8 HEX) # the PNG's IHDR width and height
string(SUBSTRING "${header}" 0 8 width_hex)
string(SUBSTRING "${header}" 8 8 height_hex)
math(EXPR width "0x${width_hex}")
math(EXPR height "0x${height_hex}")
if(width LESS height)
  set(window_short ${width})
  set(window_long ${height})
else()
  set(window_short ${height})
  set(window_long ${width})
endif()
if(window_short GREATER shortest OR window_long GREATER longest)
  message(FATAL_ERROR "the window is ${width}x${height} but the metainfo asks only for a display of "
                      "${shortest} (shortest side) by ${longest} (longest side)")
endif()

file(REMOVE_RECURSE ${PREFIX})
message(STATUS "installed desktop entry and AppStream metadata are valid")
