# Ogg Vorbis, FLAC and RealMedia readers under libFuzzer, reading from memory.
# The reader sources are compiled in here so that they carry the fuzzer's
# coverage and the sanitizers, which the plain tag library does not.
set(ogg_flac_rm_sources
  ${CMAKE_SOURCE_DIR}/tags/OggVorbis.cpp ${CMAKE_SOURCE_DIR}/tags/FLACfile.cpp
  ${CMAKE_SOURCE_DIR}/tags/RealMediaFile.cpp ${CMAKE_SOURCE_DIR}/tags/ID3v2.cpp
  ${CMAKE_SOURCE_DIR}/tags/ByteReader.cpp ${CMAKE_SOURCE_DIR}/tags/TextCodec.cpp)
foreach(name ogg flac realmedia)
  add_executable(fuzz_${name} ${CMAKE_CURRENT_LIST_DIR}/fuzz_${name}.cpp ${ogg_flac_rm_sources})
  target_include_directories(fuzz_${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined)
endforeach()
