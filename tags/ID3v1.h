#pragma once
// ID3v1 and ID3v1.1 tags: the last 128 bytes of an MP3 file. Read only.
#include <cstddef>
#include <cstdint>
#include <string>

namespace tags {

class TByteSource;

class TID3v1 {
public:
    bool Exists = false;      // the last 128 bytes begin with "TAG"
    uint8_t VersionID = 1;    // 1 = ID3v1.0, 2 = ID3v1.1
    std::string Title, Artist, Album, Year, Comment; // UTF-8
    uint8_t Track = 0;        // version 1.1 only
    uint8_t GenreID = 255;    // 255 = none

    TID3v1() { ResetData(); }

    // True when the last 128 bytes could be read, whether or not they hold a
    // tag; false when the file cannot be opened or read or is shorter.
    bool ReadFromFile(const std::string& FileName);
    // The same from a whole file's bytes held in memory.
    bool ReadFromBytes(const uint8_t* Data, size_t Length);

    void ResetData();

private:
    bool Read(TByteSource& Source);
    void ReadTag(const uint8_t* Tag);
    static uint8_t GetTagVersion(const uint8_t* Tag);
};

} // namespace tags
