#pragma once
// The music tag list of one file: nothing, or exactly four trimmed strings
// (title, artist, year or date, comment; RealMedia: title, author,
// copyright, comment), the reader chosen by the file's extension.
#include <string>
#include <vector>

namespace tags {

// Clears List, fills it and returns its count (0 or 4). A file that cannot
// be opened gives 0; any other error a reader raises passes out.
int ReadMusicTags(const std::string& FileName, std::vector<std::string>& List);

} // namespace tags
