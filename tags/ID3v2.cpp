#include "tags/ID3v2.h"

#include "tags/ByteReader.h"
#include "tags/TextCodec.h"

#include <algorithm>
#include <cstring>

namespace tags {

namespace {

constexpr size_t HeaderSize = 10;

// Slot order decides which frame feeds which field.
const char* const ID3v2FrameIDsNew[TID3v2::SlotCount] = {
    "TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON", "COMM", "TCOM",
    "TENC", "TCOP", "TLAN", "WXXX", "TDRC", "TOPE", "TIT1", "TOAL"};
const char* const ID3v2FrameIDsOld[TID3v2::SlotCount] = {
    "TT2", "TP1", "TAL", "TRK", "TYE", "TCO", "COM", "TCM",
    "TEN", "TCR", "TLA", "WXX", "TOR", "TOA", "TT1", "TOT"};

enum Slot { Title = 0, Artist, Album, Track, Year, Genre, Comment, Composer,
            Encoder, Copyright, Language, Link, RecordingTime, OrigArtist, Title2, Album2 };

// Encodings 0 ISO-8859-1, 1 UTF-16 with byte-order mark, 2 UTF-16BE, 3 UTF-8.
constexpr uint8_t LastEncoding = 3;

bool IsUtf16(uint8_t Encoding) { return Encoding == 1 || Encoding == 2; }

// UTF-16 text up to its first zero unit. A leading byte-order mark decides
// the byte order (little-endian without one for encoding 1, as most writers
// of that era did; big-endian for encoding 2). Stray marks are dropped.
std::string DecodeUtf16(const uint8_t* Data, size_t Length, bool BigEndian)
{
    size_t Units = Length / 2;
    size_t First = 0;
    if (Units > 0) {
        if (Data[0] == 0xFF && Data[1] == 0xFE) { BigEndian = false; First = 1; }
        else if (Data[0] == 0xFE && Data[1] == 0xFF) { BigEndian = true; First = 1; }
    }
    std::u16string Text;
    for (size_t I = First; I < Units; ++I) {
        const uint8_t* P = Data + 2 * I;
        char16_t U = BigEndian ? char16_t(P[0] << 8 | P[1]) : char16_t(P[1] << 8 | P[0]);
        if (U == 0) break;
        if (U == 0xFEFF) continue;
        Text += U;
    }
    return TrimControl(Utf16ToUtf8(Text));
}

// Text of frame data in the given encoding, trimmed of characters up to 0x20.
// Single-byte text keeps inner zero bytes (several values in one frame).
std::string DecodeText(uint8_t Encoding, const uint8_t* Data, size_t Length)
{
    if (IsUtf16(Encoding)) return DecodeUtf16(Data, Length, Encoding == 2);
    return SingleByteToUtf8(TrimControl(std::string_view(reinterpret_cast<const char*>(Data), Length)));
}

} // namespace

void TID3v2::ResetData()
{
    Exists = false;
    VersionID = 0;
    Size = 0;
    for (std::string* S : {&Title, &Artist, &Album, &TrackString, &Year, &Genre, &Comment, &Composer,
                           &Encoder, &Copyright, &Language, &Link, &OrigArtist})
        S->clear();
    Track = 0;
}

std::string TID3v2::GetANSI(const uint8_t* Block, size_t Length)
{
    if (Length == 0) return {};
    if (IsUtf16(Block[0])) return DecodeUtf16(Block + 1, Length - 1, Block[0] == 2);
    return SingleByteToUtf8(TrimControl(std::string_view(reinterpret_cast<const char*>(Block), Length)));
}

std::string TID3v2::ExtractText(const uint8_t* Block, size_t Length, bool WithLanguage)
{
    if (Length == 0) return {};
    uint8_t Encoding = Block[0];
    size_t Pos = std::min(Length, size_t(WithLanguage ? 4 : 1));
    // The description ends at its terminator: a zero unit at an even distance
    // for UTF-16, else a zero byte. Without one nothing is removed.
    if (IsUtf16(Encoding)) {
        for (size_t I = Pos; I + 1 < Length; I += 2)
            if (Block[I] == 0 && Block[I + 1] == 0) { Pos = I + 2; break; }
    } else {
        const void* Zero = std::memchr(Block + Pos, 0, Length - Pos);
        if (Zero) Pos = size_t(static_cast<const uint8_t*>(Zero) - Block) + 1;
    }
    return DecodeText(Encoding, Block + Pos, Length - Pos);
}

void TID3v2::SetTagItem(const std::string& FrameID, const TFrameBlock& Block, TSlots& Slots) const
{
    if (Block[0] > LastEncoding) return;
    const char* const* IDs = VersionID <= 2 ? ID3v2FrameIDsOld : ID3v2FrameIDsNew;
    for (int I = 0; I < SlotCount; ++I) {
        if (FrameID == IDs[I]) {
            Slots.Block[I] = Block; // a later frame with the same ID wins
            Slots.Filled[I] = true;
            return;
        }
    }
}

void TID3v2::ReadFrames(TByteSource& Source, TSlots& Slots) const
{
    const bool Old = VersionID == 2;
    const size_t FrameHeaderSize = Old ? 6 : 10;
    const uint64_t TagEnd = uint64_t(Size);
    uint64_t Pos = HeaderSize; // an extended header is not recognised
    while (Pos < TagEnd && Pos < Source.Size()) {
        uint8_t H[10];
        if (!Source.ReadAt(Pos, H, FrameHeaderSize)) return;
        if (H[0] < 'A' || H[0] > 'Z') return; // padding, a footer or garbage
        uint64_t DataSize;
        if (Old)
            DataSize = uint64_t(H[3]) << 16 | uint64_t(H[4]) << 8 | H[5];
        else if (VersionID == 4) // synchsafe: seven bits per byte
            DataSize = uint64_t(H[4] & 0x7F) << 21 | uint64_t(H[5] & 0x7F) << 14 | uint64_t(H[6] & 0x7F) << 7 | (H[7] & 0x7F);
        else
            DataSize = uint64_t(H[4]) << 24 | uint64_t(H[5]) << 16 | uint64_t(H[6]) << 8 | H[7];
        const uint64_t DataStart = Pos + FrameHeaderSize;
        TFrameBlock Block{};
        if (!Source.ReadAt(DataStart, Block.data(), size_t(std::min<uint64_t>(DataSize, BlockSize)))) return;
        if (Old || !(H[9] & 0x80)) SetTagItem(std::string(reinterpret_cast<const char*>(H), Old ? 3 : 4), Block, Slots);
        Pos = DataStart + DataSize;
    }
}

void TID3v2::DeriveFields(const TSlots& Slots)
{
    auto Text = [&](int I) { return Slots.Filled[I] ? GetANSI(Slots.Block[I].data(), BlockSize) : std::string(); };
    auto Content = [&](int First, int Second) {
        std::string S = Text(First);
        return S.empty() ? Text(Second) : S;
    };
    Title = Content(Slot::Title, Slot::Title2);
    Artist = Text(Slot::Artist);
    Album = Content(Slot::Album, Slot::Album2);

    TrackString = Text(Slot::Track);
    int32_t Number = 0;
    if (!ParseDecimal(std::string_view(TrackString).substr(0, TrackString.find('/')), Number)) Number = 0;
    Track = uint16_t(uint32_t(Number));

    Year = Text(Slot::Year);
    if (Year.empty()) Year = FirstCodePoints(Text(Slot::RecordingTime), 4);

    Genre = Text(Slot::Genre);
    size_t Close = Genre.rfind(')');
    if (Close != std::string::npos) Genre.erase(0, Close + 1);

    Comment = Slots.Filled[Slot::Comment] ? ExtractText(Slots.Block[Slot::Comment].data(), BlockSize, true) : std::string();
    Composer = Text(Slot::Composer);
    Encoder = Text(Slot::Encoder);
    Copyright = Text(Slot::Copyright);
    Language = Text(Slot::Language);
    Link = Slots.Filled[Slot::Link] ? ExtractText(Slots.Block[Slot::Link].data(), BlockSize, false) : std::string();
    OrigArtist = Text(Slot::OrigArtist);
}

bool TID3v2::Read(TByteSource& Source)
{
    ResetData();
    uint8_t H[HeaderSize];
    if (!Source.IsOpen() || !Source.ReadAt(0, H, HeaderSize)) return false;
    if (std::memcmp(H, "ID3", 3) != 0) return true;

    Exists = true;
    VersionID = H[3];
    // Each size byte is taken whole, as the tag's writers of old did.
    uint64_t TagSize = uint64_t(H[6]) * (1u << 21) + uint64_t(H[7]) * (1u << 14) + uint64_t(H[8]) * (1u << 7) + H[9];
    TagSize += HeaderSize;
    if (H[5] & 0x10) TagSize += HeaderSize; // footer
    Size = TagSize > Source.Size() ? 0 : int32_t(TagSize);

    if (VersionID >= 2 && VersionID <= 4 && Size >= 1) {
        TSlots Slots;
        ReadFrames(Source, Slots);
        DeriveFields(Slots);
    }
    return true;
}

bool TID3v2::ReadFromFile(const std::string& FileName)
{
    TByteSource Source(FileName);
    return Read(Source);
}

bool TID3v2::ReadFromBytes(const uint8_t* Data, size_t Length)
{
    TByteSource Source(Data, Length);
    return Read(Source);
}

} // namespace tags
