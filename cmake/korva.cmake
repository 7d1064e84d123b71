# Small helpers shared by the folders' CMakeLists.

# korva_add_gtest(NAME SOURCES... LIBS ...): one GoogleTest executable, registered test by test.
# Every test run gets a private registry directory (KORVA_REGISTRY) so that no test sees the
# user's registry or another test's keys.
include(GoogleTest)
function(korva_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/bin/fixtures;${ARG_ENV}")
endfunction()

# Adds each folder that has a CMakeLists.txt.
macro(korva_add_subdirectories)
  foreach(dir ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endmacro()
