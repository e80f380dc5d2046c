#include "tags/ID3v2.h"

#include "tags/ByteReader.h"
#include "tags/TextCodec.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tags {

namespace {

constexpr size_t HeaderSize = 10;
// An unsynchronised tag is restored in memory; a larger one is read this far.
constexpr uint64_t MaxUnsynchronisedTag = uint64_t(16) << 20;

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

// Single-byte or UTF-8 text, trimmed. Only a frame's first bytes are read,
// so a long UTF-8 text can end in a cut sequence: that remnant is dropped,
// or the whole text would be taken as ISO-8859-1 and come out garbled.
std::string SingleByteText(const uint8_t* Data, size_t Length)
{
    std::string_view Text(reinterpret_cast<const char*>(Data), Length);
    while (!Text.empty() && uint8_t(Text.front()) <= 0x20) Text.remove_prefix(1);
    const bool FillsData = !Text.empty() && uint8_t(Text.back()) > 0x20;
    while (!Text.empty() && uint8_t(Text.back()) <= 0x20) Text.remove_suffix(1);
    if (FillsData && !IsValidUtf8(Text)) {
        size_t End = Text.size();
        for (size_t Back = 0; Back < 3 && End > 0 && (uint8_t(Text[End - 1]) & 0xC0) == 0x80; ++Back) --End;
        if (End > 0 && uint8_t(Text[End - 1]) >= 0xC0 && IsValidUtf8(Text.substr(0, End - 1)))
            Text = Text.substr(0, End - 1);
    }
    return SingleByteToUtf8(Text);
}

// Text of frame data in the given encoding, trimmed of characters up to 0x20.
// Single-byte text keeps inner zero bytes (several values in one frame).
std::string DecodeText(uint8_t Encoding, const uint8_t* Data, size_t Length)
{
    if (IsUtf16(Encoding)) return DecodeUtf16(Data, Length, Encoding == 2);
    return SingleByteText(Data, Length);
}

// How a frame's data is laid out, by its second flag byte. 2.3: 0x80
// compressed, 0x40 encrypted, 0x20 a group byte first. 2.4: 0x40 a group
// byte, 0x08 compressed, 0x04 encrypted, 0x02 unsynchronised, 0x01 a 4-byte
// data length first. Compressed or encrypted data is no text: such a frame
// is passed over, as is one whose flags this reader does not know.
struct TFrameFormat {
    bool Readable = true;
    size_t Prefix = 0;
    bool Unsynchronised = false;
};

TFrameFormat FrameFormat(uint8_t Version, uint8_t Flags, bool TagUnsynchronised)
{
    TFrameFormat F;
    if (Version == 3) {
        F.Readable = (Flags & 0xC0) == 0;
        F.Prefix = (Flags & 0x20) ? 1 : 0;
    } else {
        F.Readable = (Flags & 0x8C) == 0;
        F.Prefix = ((Flags & 0x40) ? 1 : 0) + ((Flags & 0x01) ? 4 : 0);
        F.Unsynchronised = TagUnsynchronised || (Flags & 0x02);
    }
    return F;
}

} // namespace

void TID3v2::ResetData()
{
    Exists = false;
    VersionID = 0;
    Size = 0;
    Flags = 0;
    for (std::string* S : {&Title, &Artist, &Album, &TrackString, &Year, &Genre, &Comment, &Composer,
                           &Encoder, &Copyright, &Language, &Link, &OrigArtist})
        S->clear();
    Track = 0;
}

std::string TID3v2::GetANSI(const uint8_t* Block, size_t Length)
{
    if (Length == 0) return {};
    if (IsUtf16(Block[0])) return DecodeUtf16(Block + 1, Length - 1, Block[0] == 2);
    return SingleByteText(Block, Length);
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
    // In 2.4 the header's flag 0x80 marks every frame as unsynchronised.
    const bool TagUnsynchronised = VersionID == 4 && (Flags & 0x80);
    uint64_t Pos = HeaderSize;
    if (Flags & 0x40) {
        // 2.3 and 2.4: an extended header comes first and is passed over (its
        // size does not count itself in 2.3, it does in 2.4). 2.2: the tag
        // is compressed, which no writer ever defined: nothing to read.
        uint8_t E[4];
        if (Old || !Source.ReadAt(Pos, E, 4)) return;
        if (VersionID == 4)
            Pos += uint64_t(E[0] & 0x7F) << 21 | uint64_t(E[1] & 0x7F) << 14 | uint64_t(E[2] & 0x7F) << 7 | (E[3] & 0x7F);
        else
            Pos += 4 + (uint64_t(E[0]) << 24 | uint64_t(E[1]) << 16 | uint64_t(E[2]) << 8 | E[3]);
    }
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
        const TFrameFormat Format = Old ? TFrameFormat{} : FrameFormat(VersionID, H[9], TagUnsynchronised);
        TFrameBlock Block{};
        if (!Source.ReadAt(DataStart, Block.data(), size_t(std::min<uint64_t>(DataSize, BlockSize)))) return;
        if (Format.Readable && Format.Prefix < DataSize) {
            // The text starts after the frame's own extra bytes, and bytes
            // unsynchronised by the writer (FF 00) are restored.
            const size_t Have = size_t(std::min<uint64_t>(DataSize, BlockSize));
            TFrameBlock Text{};
            size_t Out = 0;
            for (size_t I = Format.Prefix; I < Have; ++I) {
                Text[Out++] = Block[I];
                if (Format.Unsynchronised && Block[I] == 0xFF && I + 1 < Have && Block[I + 1] == 0x00) ++I;
            }
            SetTagItem(std::string(reinterpret_cast<const char*>(H), Old ? 3 : 4), Text, Slots);
        }
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
    Flags = H[5];
    // Each size byte is taken whole, as the tag's writers of old did.
    uint64_t TagSize = uint64_t(H[6]) * (1u << 21) + uint64_t(H[7]) * (1u << 14) + uint64_t(H[8]) * (1u << 7) + H[9];
    TagSize += HeaderSize;
    if (H[5] & 0x10) TagSize += HeaderSize; // footer
    Size = TagSize > Source.Size() ? 0 : int32_t(TagSize);

    if (VersionID >= 2 && VersionID <= 4 && Size >= 1) {
        TSlots Slots;
        if (VersionID <= 3 && (Flags & 0x80)) {
            // A 2.2 or 2.3 tag unsynchronised as a whole: every FF 00 in it
            // was FF before, frame headers and sizes included. The frames
            // are walked in a restored copy of the tag (of at most its
            // first MaxUnsynchronisedTag bytes).
            const size_t Raw = size_t(std::min<uint64_t>(uint64_t(Size), MaxUnsynchronisedTag));
            std::vector<uint8_t> Tag(Raw);
            if (!Source.ReadAt(0, Tag.data(), Raw)) Tag.clear();
            size_t Out = 0;
            for (size_t I = 0; I < Tag.size(); ++I) {
                Tag[Out++] = Tag[I];
                if (I >= HeaderSize && Tag[I] == 0xFF && I + 1 < Tag.size() && Tag[I + 1] == 0x00) ++I;
            }
            Tag.resize(Out);
            TByteSource Restored(Tag.data(), Tag.size());
            ReadFrames(Restored, Slots);
        } else {
            ReadFrames(Source, Slots);
        }
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
