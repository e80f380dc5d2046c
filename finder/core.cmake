# The scanning core: plain C++ over the platform layer and the tag readers.
list(APPEND FINDER_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/FileFilter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MatchingUnit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ResultOrdering.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ResultRows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScanCore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DeleteCore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HtmlExport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileWipe.cpp)
