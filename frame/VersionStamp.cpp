// The program's four-part version, in a section of its own so that
// GetFileVersionString can read it back from the file on disk.
#ifndef CORVANE_FILE_VERSION
#error "CORVANE_FILE_VERSION must be defined by the build"
#endif

__attribute__((section("corvane_version"), used)) extern const char CorvaneVersionStamp[] = CORVANE_FILE_VERSION;
