# fuzz_pictures: every picture reader (JPEG, GIF, PNG, BMP, ICO, WMF, EMF).
# The picture sources are built into the target with the fuzzer's
# instrumentation rather than taken from corvane_finder.
include(${CMAKE_SOURCE_DIR}/finder/pictures/pictures.cmake)
add_executable(fuzz_pictures ${CMAKE_CURRENT_LIST_DIR}/fuzz_pictures.cpp ${FINDER_PICTURE_SOURCES})
target_compile_options(fuzz_pictures PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
  -fno-omit-frame-pointer)
target_link_options(fuzz_pictures PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(fuzz_pictures PRIVATE Qt6::Gui Qt6::Svg JPEG::JPEG PNG::PNG GIF::GIF ZLIB::ZLIB)
corvane_link_picture_codecs(fuzz_pictures)
