# ID3v1 and ID3v2 readers under libFuzzer, reading from memory. The reader
# sources are compiled in here so that they carry the fuzzer's coverage and
# the sanitizers, which the plain tag library does not.
foreach(name id3v1 id3v2)
  add_executable(fuzz_${name} ${CMAKE_CURRENT_LIST_DIR}/fuzz_${name}.cpp
    ${CMAKE_SOURCE_DIR}/tags/ID3v1.cpp ${CMAKE_SOURCE_DIR}/tags/ID3v2.cpp
    ${CMAKE_SOURCE_DIR}/tags/ByteReader.cpp ${CMAKE_SOURCE_DIR}/tags/TextCodec.cpp)
  target_include_directories(fuzz_${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined)
endforeach()
