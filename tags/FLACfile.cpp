#include "tags/FLACfile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "tags/ByteReader.h"
#include "tags/OggVorbis.h"
#include "tags/TextCodec.h"

namespace tags {

namespace {

constexpr uint8_t BlockPadding = 1;
constexpr uint8_t BlockVorbisComment = 4;
constexpr uint8_t BlockPicture = 6;

std::string UpperAscii(std::string Text)
{
    for (char& C : Text)
        if (C >= 'a' && C <= 'z') C = char(C - 'a' + 'A');
    return Text;
}

} // namespace

std::string& TFLACfile::Field(size_t Index)
{
    std::string* const Fields[28] = {&TrackNumber, &Title,    &Artist,   &Album,        &Date,
                                     &Genre,       &Comment,  &Tones,    &Styles,       &Mood,
                                     &Situation,   &Rating,   &Quality,  &Tempo,        &Type,
                                     &Composer,    &Language, &Copyright, &URL,         &Encoder,
                                     &Lyrics,      &Performer, &License, &Organization, &Description,
                                     &Location,    &Contact,  &ISRC};
    return *Fields[std::min<size_t>(Index, 27)];
}

void TFLACfile::ResetData(bool ClearHeader, bool ClearTags)
{
    if (ClearHeader) {
        FileName.clear();
        Padding = 0;
        PaddingLast = false;
        PaddingFragments = false;
        Channels = 0;
        SampleRate = 0;
        BitsPerSample = 0;
        FileLength = 0;
        Samples = 0;
        VorbisIndex = 0;
        PaddingIndex = 0;
        VCOffset = 0;
        AudioOffset = 0;
        MetaBlocksOther.clear();
    }
    if (ClearTags) {
        Vendor.clear();
        for (size_t I = 0; I < std::size(FLACFieldNames); ++I) Field(I).clear();
        ExtraFields.clear();
        TagSize = 0;
        Exists = false;
    }
}

bool TFLACfile::ReadFromFile(const std::string& Name)
{
    ResetData(false, true);
    ResetData(true, false);
    ID3v2.ReadFromFile(Name);
    TByteSource Source(Name);
    if (!Source.IsOpen()) throw EFOpenError(Name);
    FileName = Name;
    return GetInfo(Source, true);
}

bool TFLACfile::ReadFromBytes(const uint8_t* Data, size_t Size)
{
    ResetData(false, true);
    ResetData(true, false);
    ID3v2.ReadFromBytes(Data, Size);
    TByteSource Source(Data, Size);
    return GetInfo(Source, true);
}

bool TFLACfile::GetInfo(TByteSource& Source, bool SetTags)
{
    const uint64_t Size = Source.Size();
    FileLength = int64_t(Size);
    uint64_t Position = ID3v2.Exists ? uint64_t(std::max<int32_t>(ID3v2.Size, 0)) : 0;

    std::memset(Header, 0, sizeof Header);
    if (Position < Size) {
        const size_t Have = size_t(std::min<uint64_t>(sizeof Header, Size - Position));
        if (!Source.ReadAt(Position, Header, Have)) std::memset(Header, 0, sizeof Header);
        Position += Have;
    }

    if (std::memcmp(Header, "fLaC", 4) == 0) {
        SampleRate = Header[18] * 4096 + Header[19] * 16 + (Header[20] >> 4);
        Channels = uint8_t(((Header[20] >> 1) & 7) + 1);
        BitsPerSample = uint8_t(((Header[20] & 1) * 16 + (Header[21] >> 4)) + 1);
        Samples = int64_t(uint32_t(Header[22]) << 24 | uint32_t(Header[23]) << 16 | uint32_t(Header[24]) << 8 |
                          uint32_t(Header[25]));

        // Every block moves the position on by at least 5 bytes and the walk
        // ends at the end of the data, so a damaged chain cannot loop.
        int32_t BlockNumber = 0;
        bool Last = (Header[4] & 0x80) != 0;
        while (!Last) {
            ++BlockNumber;
            uint8_t BlockHeader[4];
            if (Size - std::min(Size, Position) < 4 || !Source.ReadAt(Position, BlockHeader, 4)) break;
            Position += 4;
            const uint32_t Length = uint32_t(BlockHeader[1]) << 16 | uint32_t(BlockHeader[2]) << 8 | BlockHeader[3];
            const uint8_t BlockType = BlockHeader[0] & 0x7F;
            Last = (BlockHeader[0] & 0x80) != 0;
            if (Length == 0) break;
            const uint64_t BlockEnd = Position + Length;

            if (BlockType > BlockPicture) { // reserved or invalid block type
                Samples = 0;
                break;
            }
            if (BlockType == BlockPadding && PaddingIndex == 0) {
                Padding = int32_t(Length);
                PaddingLast = Last;
                PaddingIndex = BlockNumber;
                if (BlockEnd > Size) {
                    Position = Size;
                    break;
                }
                Position = BlockEnd;
                continue;
            }
            // A block cut short by the end of the file ends the walk. The
            // comments of a cut comment block are read up to the cut.
            const bool Cut = BlockEnd > Size;
            if (Cut && BlockType != BlockVorbisComment) {
                Position = Size;
                break;
            }
            std::vector<uint8_t> Data(size_t(std::min<uint64_t>(Length, Size - Position)));
            if (!Source.ReadAt(Position, Data.data(), Data.size())) break;
            if (BlockType == BlockVorbisComment) {
                VCOffset = int64_t(Position);
                TagSize = int32_t(Length);
                VorbisIndex = BlockNumber;
                // The comments are bounded by their block, and the next block
                // starts where this one ends, however its comments were damaged.
                ReadTag(Data, SetTags);
            } else {
                if (BlockType == BlockPadding) PaddingFragments = true;
                AddMetaDataOther(BlockHeader, std::move(Data));
            }
            if (Cut) {
                Position = Size;
                break;
            }
            Position = BlockEnd;
        }
    }

    if (!IsValid()) return false;
    AudioOffset = int64_t(Position);
    const double Rate = std::nearbyint(double(FileLength - AudioOffset) / 1000.0 * 8.0 / GetDuration());
    Bitrate = (Rate > -2147483648.0 && Rate < 2147483648.0) ? int32_t(Rate) : 0;
    return true;
}

void TFLACfile::ReadTag(const std::vector<uint8_t>& Block, bool SetTags)
{
    TByteReader R(Block);
    const uint32_t VendorLength = R.U32LE();
    if (!R.Ok()) return;
    Vendor = SingleByteToUtf8(R.ReadString(std::min<size_t>(VendorLength, R.Remaining())));
    const int32_t Count = int32_t(R.U32LE());
    if (!R.Ok()) return;
    Exists = Count > 0;
    for (int32_t I = 0; I < Count; ++I) {
        const uint32_t Length = R.U32LE();
        if (!R.Ok() || Length > R.Remaining()) break;
        const std::string Text = R.ReadString(Length);
        if (!SetTags) continue;
        const size_t Equals = Text.find('=');
        if (Equals == std::string::npos) continue;
        const std::string Name = UpperAscii(Text.substr(0, Equals));
        const std::string Value = DecodeCommentValue(std::string_view(Text).substr(Equals + 1));
        // The first non-empty value of a known name wins; repeats are extras.
        bool Stored = false;
        for (size_t K = 0; K < std::size(FLACFieldNames); ++K) {
            if (Name == FLACFieldNames[K]) {
                if (Field(K).empty()) {
                    Field(K) = Value;
                    Stored = true;
                }
                break;
            }
        }
        // An unknown name is raw bytes from the file: kept as text.
        if (!Stored) AddExtraField(SingleByteToUtf8(Name), Value);
    }
}

void TFLACfile::AddMetaDataOther(const uint8_t* BlockHeader, std::vector<uint8_t> Data)
{
    TMetaDataBlock Block;
    std::memcpy(Block.Header, BlockHeader, 4);
    Block.Data = std::move(Data);
    MetaBlocksOther.push_back(std::move(Block));
}

void TFLACfile::AddExtraField(const std::string& Name, const std::string& Value)
{
    ExtraFields.emplace_back(Name, Value);
}

bool TFLACfile::IsValid() const
{
    return std::memcmp(Header, "fLaC", 4) == 0 && Channels > 0 && SampleRate > 0 && BitsPerSample > 0 &&
           Samples > 0;
}

double TFLACfile::GetDuration() const
{
    return IsValid() ? double(Samples) / SampleRate : 0.0;
}

} // namespace tags
