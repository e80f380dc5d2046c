#pragma once
// ID3v2.2, 2.3 and 2.4 tags at the start of a file. Read only: the frames of
// interest are collected and their texts decoded to UTF-8.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tags {

class TByteSource;

class TID3v2 {
public:
    bool Exists = false;    // the file begins with "ID3"
    uint8_t VersionID = 0;  // the header's major version
    int32_t Size = 0;       // the whole tag with header and footer; 0 when larger than the file
    std::string Title, Artist, Album;
    uint16_t Track = 0;
    std::string TrackString;
    std::string Year, Genre, Comment, Composer, Encoder, Copyright, Language, Link, OrigArtist;

    TID3v2() { ResetData(); }

    // True when the first 10 bytes could be read; Exists tells whether they
    // are an ID3v2 header, Size how many bytes to skip to reach the audio.
    bool ReadFromFile(const std::string& FileName);
    // The same from a whole file's bytes held in memory.
    bool ReadFromBytes(const uint8_t* Data, size_t Length);

    void ResetData();

    // A frame's first bytes, zero-padded: only this much of a frame is read.
    static constexpr size_t BlockSize = 500;
    using TFrameBlock = std::array<uint8_t, BlockSize>;
    static constexpr int SlotCount = 16;

    // The text of a frame block: its first byte is the text encoding.
    static std::string GetANSI(const uint8_t* Block, size_t Length);
    // A comment or user link: encoding, [language,] description, text.
    static std::string ExtractText(const uint8_t* Block, size_t Length, bool WithLanguage);

private:
    struct TSlots {
        std::array<TFrameBlock, SlotCount> Block{};
        std::array<bool, SlotCount> Filled{};
    };
    bool Read(TByteSource& Source);
    void ReadFrames(TByteSource& Source, TSlots& Slots) const;
    void SetTagItem(const std::string& FrameID, const TFrameBlock& Block, TSlots& Slots) const;
    void DeriveFields(const TSlots& Slots);
    uint8_t Flags = 0; // the header's flag byte, for the frame walk
};

} // namespace tags
