# fuzz_mailbox: the e-mail message and vCard readers of the mailbox
# component, compiled in with the fuzzer's instrumentation. GMime itself is
# the system's library.
add_executable(fuzz_mailbox ${CMAKE_CURRENT_LIST_DIR}/fuzz_mailbox.cpp
  ${CMAKE_SOURCE_DIR}/platform/MailMessage.cpp ${CMAKE_SOURCE_DIR}/platform/VCardReader.cpp)
target_include_directories(fuzz_mailbox PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(fuzz_mailbox PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
target_link_options(fuzz_mailbox PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(fuzz_mailbox PRIVATE PkgConfig::GMIME)
