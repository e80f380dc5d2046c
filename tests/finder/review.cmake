# Cases read from the rules the core follows, the indexed matching held
# against a plain reference.
if(TARGET corvane_finder)
  add_executable(test_finder_core_review ${CMAKE_CURRENT_LIST_DIR}/test_review_core.cpp)
  target_include_directories(test_finder_core_review PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(test_finder_core_review PRIVATE corvane_finder GTest::gtest GTest::gtest_main)
  gtest_discover_tests(test_finder_core_review DISCOVERY_TIMEOUT 60)
endif()
