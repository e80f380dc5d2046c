# The window units: the main window, its controls and the places tree.
add_library(corvane_finder_ui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/DeleteDuplicatesUnit.cpp ${CMAKE_CURRENT_LIST_DIR}/DeleteDuplicatesUnit.h
  ${CMAKE_CURRENT_LIST_DIR}/DeleteDuplicatesRun.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FormControls.cpp ${CMAKE_CURRENT_LIST_DIR}/FormControls.h
  ${CMAKE_CURRENT_LIST_DIR}/ImageEx.cpp ${CMAKE_CURRENT_LIST_DIR}/ImageEx.h
  ${CMAKE_CURRENT_LIST_DIR}/MainSkin.cpp ${CMAKE_CURRENT_LIST_DIR}/MainSkin.h
  ${CMAKE_CURRENT_LIST_DIR}/PlacesTree.cpp ${CMAKE_CURRENT_LIST_DIR}/PlacesTree.h)
target_link_libraries(corvane_finder_ui PUBLIC
  corvane_windows corvane_frame corvane_platform corvane_resources Qt6::Widgets Qt6::Svg)
if(TARGET corvane_finder)
  target_link_libraries(corvane_finder_ui PUBLIC corvane_finder)
endif()
