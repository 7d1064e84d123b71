# Small helpers shared by the folders' CMakeLists.

# korva_add_gtest(NAME SOURCES... LIBS ...): one GoogleTest executable, registered test by test.
# Every test run gets a private registry directory (KORVA_REGISTRY) so that no test sees the
# user's registry or another test's keys.
include(GoogleTest)
function(korva_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  # The environment reaches each test through env(1) in front of the test program:
  # gtest_discover_tests flattens a list-valued ENVIRONMENT property, so all but its first entry
  # would be lost. A later entry overrides an earlier one of the same name.
  set(environment QT_QPA_PLATFORM=offscreen LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/bin/fixtures
                  ${ARG_ENV})
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "env;${environment}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()

# Adds each folder that has a CMakeLists.txt.
macro(korva_add_subdirectories)
  foreach(dir ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endmacro()

# korva_add_string_library(<target> NAME <libname> [DIR <subdir>] SOURCES ...): a string-resource
# library lib<libname>.so (e.g. NAME qnstring7 for "QNSTRING7.DLL") whose source defines its
# table with KORVA_STRING_TABLE (platform/kernel/string_table.h). It lands in bin/fixtures/<DIR>,
# or in bin/ itself when DIR is empty, where the dynamic loader can find it by bare name.
# "TARGET <target>" may be written in place of the plain target name.
function(korva_add_string_library target)
  set(args ${ARGN})
  if(target STREQUAL "TARGET")
    list(POP_FRONT args target)
  endif()
  cmake_parse_arguments(ARG "" "NAME;DIR" "SOURCES" ${args})
  if(NOT ARG_NAME OR NOT ARG_SOURCES)
    message(FATAL_ERROR "korva_add_string_library(${target}): NAME and SOURCES are required")
  endif()
  if(ARG_DIR)
    set(output ${CMAKE_BINARY_DIR}/bin/fixtures/${ARG_DIR})
  else()
    set(output ${CMAKE_BINARY_DIR}/bin)
  endif()
  add_library(${target} MODULE ${ARG_SOURCES})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${ARG_NAME}
    PREFIX "lib"
    SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY ${output})
endfunction()
