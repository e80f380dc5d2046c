# Readers of the platform layer under libFuzzer: the work item file and the
# autostart entry.
foreach(target workitem desktop)
  add_executable(fuzz_${target} ${CMAKE_CURRENT_LIST_DIR}/fuzz_${target}.cpp
    ${CMAKE_SOURCE_DIR}/platform/TaskScheduler.cpp ${CMAKE_SOURCE_DIR}/platform/Autostart.cpp
    ${CMAKE_SOURCE_DIR}/platform/AtomicFile.cpp ${CMAKE_SOURCE_DIR}/platform/XdgFolders.cpp)
  target_include_directories(fuzz_${target} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(fuzz_${target} PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
  target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer,address,undefined)
endforeach()
