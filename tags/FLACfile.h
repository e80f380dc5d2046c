#pragma once
// Stream facts, Vorbis comments and the other metadata blocks of a FLAC file.
// Read only: the audio frames are never touched.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tags/ID3v2.h"

namespace tags {

class TByteSource;

// One metadata block kept as it was read: its 4 header bytes and its data.
struct TMetaDataBlock {
    uint8_t Header[4] = {};
    std::vector<uint8_t> Data;
};

class TFLACfile {
public:
    // "fLaC", the first block header and the STREAMINFO block.
    uint8_t Header[42] = {};
    std::string FileName;
    int32_t PaddingIndex = 0;       // number of the first PADDING block, counted from 1 after STREAMINFO
    bool PaddingLast = false;       // that block was the last one
    bool PaddingFragments = false;  // a further PADDING block was found
    int32_t VorbisIndex = 0;        // number of the VORBIS_COMMENT block
    int32_t Padding = 0;            // length of the first PADDING block
    int64_t VCOffset = 0;           // file position of the comment block's data
    int64_t AudioOffset = 0;        // file position after the last metadata block read
    uint8_t Channels = 0;
    int32_t SampleRate = 0;
    uint8_t BitsPerSample = 0;
    int32_t Bitrate = 0;            // average kbit/s
    int64_t FileLength = 0;
    int64_t Samples = 0;            // the low 32 bits of the stored count
    std::vector<TMetaDataBlock> MetaBlocksOther;
    std::string Vendor;             // the comment block's vendor text
    int32_t TagSize = 0;            // length of the comment block
    bool Exists = false;            // the comment block holds at least one comment
    TID3v2 ID3v2;                   // read only to skip a leading ID3v2 tag

    // One text field per name of FLACFieldNames, in that order (UTF-8).
    std::string TrackNumber, Title, Artist, Album, Date, Genre, Comment, Tones, Styles, Mood, Situation,
        Rating, Quality, Tempo, Type, Composer, Language, Copyright, URL, Encoder, Lyrics, Performer,
        License, Organization, Description, Location, Contact, ISRC;
    // Comments with an unknown name, and repeats of a known one.
    std::vector<std::pair<std::string, std::string>> ExtraFields;

    static constexpr std::string_view FLACFieldNames[28] = {
        "TRACKNUMBER", "TITLE", "ARTIST", "ALBUM", "DATE", "GENRE", "COMMENT", "TONES", "STYLES", "MOOD",
        "SITUATION", "RATING", "QUALITY", "TEMPO", "TYPE", "COMPOSER", "LANGUAGE", "COPYRIGHT", "URL",
        "ENCODER", "LYRICS", "PERFORMER", "LICENSE", "ORGANIZATION", "DESCRIPTION", "LOCATION", "CONTACT",
        "ISRC"};

    TFLACfile() = default;
    TFLACfile(const TFLACfile&) = delete;
    TFLACfile& operator=(const TFLACfile&) = delete;

    // True for a valid FLAC stream. A file that cannot be opened raises EFOpenError.
    bool ReadFromFile(const std::string& FileName);
    // The same from a whole file's bytes held in memory.
    bool ReadFromBytes(const uint8_t* Data, size_t Size);

    bool IsValid() const;
    double GetDuration() const; // seconds

    // The text field of FLACFieldNames[Index].
    std::string& Field(size_t Index);
    const std::string& Field(size_t Index) const { return const_cast<TFLACfile*>(this)->Field(Index); }

    void ResetData(bool ClearHeader, bool ClearTags);

private:
    bool GetInfo(TByteSource& Source, bool SetTags);
    void ReadTag(const std::vector<uint8_t>& Block, bool SetTags);
    void AddMetaDataOther(const uint8_t* BlockHeader, std::vector<uint8_t> Data);
    void AddExtraField(const std::string& Name, const std::string& Value);
};

} // namespace tags
