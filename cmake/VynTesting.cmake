# vyn_add_gtest(<name> [GUI] SOURCES <files...> LIBS <targets...> [PROPERTIES <ctest properties...>])
#
# One GoogleTest executable on the shared test main. Tests without GUI are
# "core" tests: they also run in the sanitizer build. GUI tests get a
# QApplication on the offscreen platform and are skipped in that build.
function(vyn_add_gtest name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  if(T_GUI AND VYN_CORE_ONLY)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  if(T_GUI)
    target_link_libraries(${name} PRIVATE vyn_test_main_gui)
  else()
    target_link_libraries(${name} PRIVATE vyn_test_main_core)
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE VYN_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}")
  # Every test is bounded even when CTest is run by hand: a hang fails in
  # minutes. A shorter TIMEOUT among the properties wins.
  if(NOT "TIMEOUT" IN_LIST T_PROPERTIES)
    list(APPEND T_PROPERTIES TIMEOUT 900)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ${T_PROPERTIES})
endfunction()
