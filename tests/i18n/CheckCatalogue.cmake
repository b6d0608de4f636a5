# cmake -DLUPDATE=… -DSOURCE_DIR=… -DOUT=<scratch dir> -P CheckCatalogue.cmake
# Fails, naming the texts, when lupdate finds a text of src/ with no finished translation in a
# catalogue of translations/.
file(GLOB catalogues ${SOURCE_DIR}/translations/*.ts)
if(NOT catalogues)
  message(FATAL_ERROR "no catalogue in ${SOURCE_DIR}/translations")
endif()
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
set(failed "")
foreach(catalogue ${catalogues})
  get_filename_component(name ${catalogue} NAME)
  configure_file(${catalogue} ${OUT}/${name} COPYONLY)
  execute_process(COMMAND ${LUPDATE} -silent -locations none -no-obsolete -extensions cpp,h,qml
                          ${SOURCE_DIR}/src -ts ${OUT}/${name}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "lupdate failed on ${name}")
  endif()
  file(STRINGS ${OUT}/${name} lines)
  set(source "")
  foreach(line IN LISTS lines)
    if(line MATCHES "<source>(.*)</source>")
      set(source "${CMAKE_MATCH_1}")
    elseif(line MATCHES "type=\"unfinished\"")
      string(APPEND failed "\n  ${name}: ${source}")
    endif()
  endforeach()
endforeach()
if(failed)
  message(FATAL_ERROR "texts without a translation (cmake --build build --target update_translations, "
                      "then translate them):${failed}")
endif()
