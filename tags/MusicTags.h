#pragma once
// The music tag list of one file: nothing, or exactly four trimmed strings
// (title, artist, year or date, comment; RealMedia: title, author,
// copyright, comment), the reader chosen by the file's extension.
#include <string>
#include <vector>

namespace tags {

// Clears List, fills it and returns its count (0 or 4). Errors that the Ogg
// Vorbis, FLAC and RealMedia readers raise (a file that cannot be opened)
// pass out as exceptions derived from std::exception.
int ReadMusicTags(const std::string& FileName, std::vector<std::string>& List);

} // namespace tags
