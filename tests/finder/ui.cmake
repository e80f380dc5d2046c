# Tests of the places tree logic (no window) and of the main window (offscreen).
add_executable(test_finder_places ${CMAKE_CURRENT_LIST_DIR}/test_places_tree.cpp)
target_link_libraries(test_finder_places PRIVATE corvane_finder_ui GTest::gtest GTest::gtest_main)
gtest_discover_tests(test_finder_places DISCOVERY_TIMEOUT 60)

add_executable(test_finder_window
  ${CMAKE_CURRENT_LIST_DIR}/WindowTestMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WindowTestSupport.h
  ${CMAKE_CURRENT_LIST_DIR}/test_window_frame.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_window_modes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_places_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_window_shots.cpp)
target_link_libraries(test_finder_window PRIVATE corvane_finder_ui GTest::gtest)
gtest_discover_tests(test_finder_window DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)

# The run through the window: scans, results, deletion, summary (offscreen).
add_executable(test_finder_window_scan
  ${CMAKE_CURRENT_LIST_DIR}/WindowTestMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScanWindowSupport.h
  ${CMAKE_CURRENT_LIST_DIR}/test_window_scan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_window_scan_media.cpp
  ${CMAKE_CURRENT_LIST_DIR}/test_window_export.cpp)
target_link_libraries(test_finder_window_scan PRIVATE corvane_finder_ui GTest::gtest)
target_compile_definitions(test_finder_window_scan PRIVATE
  CORVANE_MUSIC_SAMPLES="${CMAKE_SOURCE_DIR}/tests/data/music"
  CORVANE_PICTURE_SAMPLES="${CMAKE_SOURCE_DIR}/tests/data/pictures")
gtest_discover_tests(test_finder_window_scan DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
