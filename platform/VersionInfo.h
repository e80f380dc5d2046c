#pragma once
// The version stamp: the build puts the four-part version into an ELF section
// of the executable, and ReadVersionStamp reads it back from any file.
#include <string>

namespace plat {

// The section that holds the stamp: the version text, zero-terminated.
inline constexpr const char* VersionSectionName = "corvane_version";

// The stamped version ("1.0.0.1"), "" when the file is no ELF file, has no
// stamp, or the stamp is not four numbers joined by points. Reads only
// inside the file and a bounded amount of it.
std::string ReadVersionStamp(const std::string& FileName);

} // namespace plat
