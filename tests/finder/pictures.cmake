# Picture decoding and similarity: one program per test_pictures_*.cpp.
file(GLOB picture_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_pictures_*.cpp)
foreach(src ${picture_tests})
  get_filename_component(name ${src} NAME_WE)
  add_executable(finder_${name} ${src})
  target_link_libraries(finder_${name} PRIVATE corvane_finder Qt6::Gui GTest::gtest)
  target_compile_definitions(finder_${name} PRIVATE CORVANE_PICTURE_SAMPLES="${CMAKE_SOURCE_DIR}/tests/data/pictures")
  gtest_discover_tests(finder_${name} DISCOVERY_TIMEOUT 60)
endforeach()
