# The scanning core's tests: filters, matching, ordering, walk, rows, deletion.
file(GLOB finder_core_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/test_core_*.cpp)
if(finder_core_test_sources AND TARGET corvane_finder)
  add_executable(test_finder_core ${finder_core_test_sources})
  target_link_libraries(test_finder_core PRIVATE corvane_finder GTest::gtest GTest::gtest_main)
  gtest_discover_tests(test_finder_core DISCOVERY_TIMEOUT 60)
endif()
