#pragma once
// Stream facts and tag texts from the header objects of a WMA (ASF) file.
// Read only; the audio data is never touched.
#include <cstddef>
#include <cstdint>
#include <string>

namespace tags {

class TByteSource;

class TWMAfile {
public:
    bool Valid = false;        // the header was read and passed the validity test
    int64_t FileSize = 0;      // bytes
    uint8_t ChannelModeID = 0; // channel count
    int32_t SampleRate = 0;    // samples per second
    double Duration = 0;       // seconds
    int32_t BitRate = 0;       // kbit/s
    // UTF-8, each trimmed of characters up to U+0020 as UTF-16 text first.
    std::string Title, Artist, Album;
    int32_t Track = 0;
    std::string Year, Genre, Comment;

    TWMAfile() { ResetData(); }

    // True unless reading the file failed; Valid tells whether the fields were filled.
    bool ReadFromFile(const std::string& FileName);
    // The same from a whole file's bytes held in memory.
    bool ReadFromBytes(const uint8_t* Data, size_t Length);

    void ResetData();

    // Longest text kept, in UTF-16 units.
    static constexpr size_t MaxTextUnits = 250;

private:
    bool Read(TByteSource& Source);
};

} // namespace tags
