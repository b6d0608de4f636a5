# Helpers shared by every folder's CMakeLists.txt.

function(lumivue_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wcast-align -Woverloaded-virtual -Wimplicit-fallthrough)
  if(LUMIVUE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# lumivue_library(NAME DEPS dep...) builds every .cpp of the calling folder into one static library.
# The folder's parent of src/ is on the include path, so headers are included as
# "platform/camera/PixelBuffer.h", "imaging/FrameEnhancer.h", ...
function(lumivue_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(sources)
    add_library(${name} STATIC ${sources} ${headers})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    lumivue_warnings(${name})
  else()
    add_library(${name} INTERFACE ${headers})
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# lumivue_test(NAME DEPS dep...) builds every .cpp of the calling folder into one GoogleTest
# program and registers its cases with CTest. Tests run on Qt's offscreen platform. A parameterised
# row is listed by the name its table's generator gives it, never by its printed value. SERIAL: the
# cases run alone, never beside another test (they change what the whole machine sees). LABELS: ctest
# labels of every case ("child-process": each case runs a built program, which emulation cannot).
function(lumivue_test name)
  cmake_parse_arguments(ARG "SERIAL" "" "DEPS;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} lumivue_test_main GTest::gtest GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE LUMIVUE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                             LUMIVUE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  lumivue_warnings(${name})
  set(serial FALSE)
  if(ARG_SERIAL)
    set(serial TRUE)
  endif()
  gtest_discover_tests(${name} NO_PRETTY_VALUES
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" RUN_SERIAL ${serial} LABELS "${ARG_LABELS}"
    DISCOVERY_TIMEOUT 60)
endfunction()
