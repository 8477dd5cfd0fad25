include(GoogleTest)

# viz_add_test_folder(NAME <name> SOURCES_DIR <dir> LIBS <libs...>)
# One GoogleTest executable per source folder. Tests whose name contains "Slow" run only under the
# CTest label "slow"; the default run (ctest -LE slow) skips them.
function(viz_add_test_folder)
  cmake_parse_arguments(ARG "" "NAME;SOURCES_DIR" "LIBS" ${ARGN})
  file(GLOB_RECURSE test_sources CONFIGURE_DEPENDS ${ARG_SOURCES_DIR}/*.cpp)
  if(NOT test_sources)
    return()
  endif()
  set(target tests_${ARG_NAME})
  add_executable(${target} ${test_sources})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  add_test(NAME ${target} COMMAND ${target} --gtest_filter=-*Slow*
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${target} PROPERTIES LABELS "${ARG_NAME}" TIMEOUT 900)
  add_test(NAME ${target}_slow COMMAND ${target} --gtest_filter=*Slow*
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${target}_slow PROPERTIES LABELS "slow;${ARG_NAME}" TIMEOUT 7200)
endfunction()
