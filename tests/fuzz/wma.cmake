# WMA reader under libFuzzer, reading from memory; its sources are compiled
# in so that they carry the fuzzer's coverage and the sanitizers.
add_executable(fuzz_wma ${CMAKE_CURRENT_LIST_DIR}/fuzz_wma.cpp
  ${CMAKE_SOURCE_DIR}/tags/WMAfile.cpp ${CMAKE_SOURCE_DIR}/tags/ByteReader.cpp ${CMAKE_SOURCE_DIR}/tags/TextCodec.cpp)
target_include_directories(fuzz_wma PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(fuzz_wma PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
target_link_options(fuzz_wma PRIVATE -fsanitize=fuzzer,address,undefined)
