#pragma once
// Stream facts and Vorbis comments of an Ogg Vorbis file. Read only.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tags {

class TByteSource;
class TOggPacket;

// Raised by the Ogg Vorbis, FLAC and RealMedia readers when a file cannot be
// opened at all; the scan shows it and ends, as with any unreadable input.
class EFOpenError : public std::runtime_error {
public:
    explicit EFOpenError(const std::string& FileName)
        : std::runtime_error("Cannot open file " + FileName) {}
};

// UTF-8 comment text to UTF-16, shared by the Ogg and FLAC readers. Decoding
// stops at the first malformed sequence; what was decoded before it is kept.
// A four-byte sequence becomes a surrogate pair; other lead bytes are not
// checked further, and each such character keeps 16 bits.
std::u16string UTF8Decode(std::string_view Text);
// UTF8Decode, then to UTF-8 for display (an unpaired surrogate becomes U+FFFD).
std::string DecodeCommentValue(std::string_view Text);

class TOggVorbis {
public:
    int64_t FileSize = 0;          // bytes
    uint8_t ChannelModeID = 0;     // channel count
    uint16_t SampleRate = 0;       // low 16 bits of the stored rate
    uint16_t BitRateNominal = 0;   // kbit/s
    int32_t Samples = 0;           // low 32 bits of the last page's granule position
    int64_t ID3v2Size = 0;         // bytes of a leading ID3v2 tag
    std::string Title, Artist, Album;
    uint8_t Track = 0;
    std::string Date, Genre, Comment, Vendor;
    uint8_t StreamVersion = 0;
    uint32_t SerialNumber = 0;
    // Comments with an unknown name, as NAME=value, joined by single zero bytes.
    std::string ExtraTag;

    TOggVorbis() { ResetData(); }

    // True when the file is an Ogg stream with a Vorbis identification header.
    // A file that cannot be opened raises EFOpenError.
    bool ReadFromFile(const std::string& FileName);
    // The same from a whole file's bytes held in memory.
    bool ReadFromBytes(const uint8_t* Data, size_t Size);

    bool IsValid() const;
    double GetDuration() const;  // seconds
    uint16_t GetBitRate() const; // kbit/s

    void ResetData();

    // At most this many bytes of each comment are kept.
    static constexpr size_t MaxCommentBytes = 250;
    // Comment names with a field of their own, in field order.
    static constexpr std::string_view VorbisFieldNames[9] = {
        "TITLE", "ARTIST", "ALBUM", "TRACKNUMBER", "DATE", "GENRE", "COMMENT", "PERFORMER", "DESCRIPTION"};

    static uint8_t ExtractTrack(std::string_view Text);

private:
    struct TFileInfo;
    bool Read(TByteSource& Source);
    bool GetInfo(TByteSource& Source, TFileInfo& Info) const;
    static int64_t GetID3v2Size(TByteSource& Source);
    static void ReadTag(const TOggPacket& Source, uint64_t Position, TFileInfo& Info);
    static void SetTagItem(const std::string& Text, TFileInfo& Info);
    static int32_t GetSamples(TByteSource& Source);
};

} // namespace tags
