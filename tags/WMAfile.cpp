#include "tags/WMAfile.h"

#include "tags/ByteReader.h"
#include "tags/TextCodec.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tags {

namespace {

using TGuid = std::array<uint8_t, 16>;

// A GUID as it lies in the file: the first three groups little-endian.
constexpr TGuid MakeGuid(uint32_t A, uint16_t B, uint16_t C, uint16_t D, uint64_t E)
{
    return {uint8_t(A), uint8_t(A >> 8), uint8_t(A >> 16), uint8_t(A >> 24),
            uint8_t(B), uint8_t(B >> 8), uint8_t(C), uint8_t(C >> 8),
            uint8_t(D >> 8), uint8_t(D),
            uint8_t(E >> 40), uint8_t(E >> 32), uint8_t(E >> 24), uint8_t(E >> 16), uint8_t(E >> 8), uint8_t(E)};
}

constexpr TGuid HeaderObject = MakeGuid(0x75B22630, 0x668E, 0x11CF, 0xA6D9, 0x00AA0062CE6C);
constexpr TGuid FilePropertiesObject = MakeGuid(0x8CABDCA1, 0xA947, 0x11CF, 0x8EE4, 0x00C00C205365);
constexpr TGuid StreamPropertiesObject = MakeGuid(0xB7DC0791, 0xA9B7, 0x11CF, 0x8EE6, 0x00C00C205365);
constexpr TGuid ContentDescriptionObject = MakeGuid(0x75B22633, 0x668E, 0x11CF, 0xA6D9, 0x00AA0062CE6C);
constexpr TGuid ExtendedContentDescriptionObject = MakeGuid(0xD2D0A440, 0xE307, 0x11D2, 0x97F0, 0x00A0C95EA850);

// An object smaller than its own GUID and size cannot hold anything; one of
// size 0 would be read again and again.
constexpr uint32_t SmallestObject = 24;

enum Field { WmTitle = 0, WmAuthor, WmAlbumTitle, WmTrack, WmYear, WmGenre, WmDescription, FieldCount };
const char16_t* const WMAFieldNames[FieldCount] = {
    u"WM/TITLE", u"WM/AUTHOR", u"WM/ALBUMTITLE", u"WM/TRACK", u"WM/YEAR", u"WM/GENRE", u"WM/DESCRIPTION"};

struct TReadError {};
// A read that would cross the end of the object being read.
struct TObjectEnd {};

// Sequential reads over a source. A read past the end of the file throws
// TReadError; one past Limit, the end of the current object, TObjectEnd. A
// skip may pass either end (the next read then fails), as a stream's seek does.
class TCursor {
public:
    explicit TCursor(TByteSource& Source) : FSource(Source) {}
    uint64_t Pos = 0;
    uint64_t Limit = UINT64_MAX;
    void Read(void* Out, size_t Count)
    {
        if (!FSource.ReadAt(Pos, Out, Count)) throw TReadError{};
        if (Pos + Count > Limit) throw TObjectEnd{};
        Pos += Count;
    }
    // Bytes left in the current object (0 once past its end).
    uint64_t Left() const { return Limit > Pos ? Limit - Pos : 0; }
    void Skip(uint64_t Count) { Pos = std::min(Pos + Count, FSource.Size() + 1); }
    uint16_t U16() { uint8_t B[2]; Read(B, 2); return uint16_t(B[0] | B[1] << 8); }
    uint32_t U32()
    {
        uint8_t B[4];
        Read(B, 4);
        return uint32_t(B[0]) | uint32_t(B[1]) << 8 | uint32_t(B[2]) << 16 | uint32_t(B[3]) << 24;
    }

private:
    TByteSource& FSource;
};

struct TFileData {
    uint64_t FileSize = 0;
    uint32_t MaxBitRate = 0;
    uint16_t Channels = 0;
    uint32_t SampleRate = 0;
    uint32_t ByteRate = 0;
    std::u16string Tag[FieldCount];
};

// At most MaxTextUnits units of a string of Size bytes; the rest, an odd
// last byte too, is skipped. Zero units stay until the text is trimmed. A
// string longer than its object holds is cut at the object's end, so that
// no other object's bytes are read as text.
std::u16string ReadFieldString(TCursor& Cursor, uint16_t Size)
{
    if (Size > Cursor.Left()) Size = uint16_t(Cursor.Left());
    size_t Units = std::min<size_t>(Size / 2, TWMAfile::MaxTextUnits);
    uint8_t Bytes[2 * TWMAfile::MaxTextUnits];
    Cursor.Read(Bytes, 2 * Units);
    Cursor.Skip(Size - 2 * Units);
    std::u16string Text(Units, u'\0');
    for (size_t I = 0; I < Units; ++I) Text[I] = char16_t(Bytes[2 * I] | Bytes[2 * I + 1] << 8);
    return Text;
}

void ReadTagStandard(TCursor& Cursor, TFileData& Data)
{
    Cursor.Skip(4);
    uint16_t Length[5];
    for (uint16_t& L : Length) L = Cursor.U16();
    // Title, author, copyright, description, rating: two are kept.
    const int Target[5] = {WmTitle, WmAuthor, -1, WmDescription, -1};
    for (int I = 0; I < 5; ++I) {
        if (Length[I] == 0) continue;
        std::u16string Text = ReadFieldString(Cursor, Length[I]);
        if (Target[I] >= 0) Data.Tag[Target[I]] = std::move(Text);
    }
}

std::u16string NameKey(const std::u16string& Name)
{
    std::u16string Key = TrimControl(Name);
    for (char16_t& C : Key)
        if (C >= u'a' && C <= u'z') C = char16_t(C - u'a' + u'A');
    return Key;
}

void ReadTagExtended(TCursor& Cursor, TFileData& Data)
{
    Cursor.Skip(4);
    uint16_t Count = Cursor.U16();
    for (uint16_t I = 0; I < Count; ++I) {
        std::u16string Name = ReadFieldString(Cursor, Cursor.U16());
        uint16_t Type = Cursor.U16();
        uint16_t ValueSize = Cursor.U16();
        if (Type != 0) {
            Cursor.Skip(ValueSize);
            continue;
        }
        std::u16string Value = ReadFieldString(Cursor, ValueSize);
        std::u16string Key = NameKey(Name);
        for (int F = 0; F < FieldCount; ++F)
            if (Key == WMAFieldNames[F]) Data.Tag[F] = Value;
    }
}

void ReadObject(TCursor& Cursor, const TGuid& ID, TFileData& Data)
{
    if (ID == FilePropertiesObject) {
        Cursor.Skip(80);
        Data.MaxBitRate = Cursor.U32();
    }
    if (ID == StreamPropertiesObject) {
        Cursor.Skip(60);
        Data.Channels = Cursor.U16();
        Data.SampleRate = Cursor.U32();
        Data.ByteRate = Cursor.U32();
    }
    if (ID == ContentDescriptionObject) ReadTagStandard(Cursor, Data);
    if (ID == ExtendedContentDescriptionObject) ReadTagExtended(Cursor, Data);
}

// False only when reading failed; a file that is not ASF reads as true.
bool ReadData(TByteSource& Source, TFileData& Data)
{
    if (!Source.IsOpen()) return false;
    Data.FileSize = Source.Size();
    TCursor Cursor(Source);
    try {
        TGuid ID;
        Cursor.Read(ID.data(), ID.size());
        if (ID != HeaderObject) return true;
        Cursor.Skip(8);
        uint32_t Count = Cursor.U32();
        Cursor.Skip(2);
        for (uint32_t I = 0; I < Count; ++I) {
            const uint64_t Start = Cursor.Pos;
            Cursor.Read(ID.data(), ID.size());
            uint32_t ObjectSize = Cursor.U32(); // the high half is never needed
            // An object's fields are read only from the object itself; one
            // that ends early keeps what was read and the walk goes on. One
            // of size 0 has no known end (and ends the walk).
            if (ObjectSize >= SmallestObject) Cursor.Limit = Start + ObjectSize;
            try {
                ReadObject(Cursor, ID, Data);
            } catch (const TObjectEnd&) {
            }
            Cursor.Limit = UINT64_MAX;
            if (ObjectSize < SmallestObject) break;
            Cursor.Pos = Start;
            Cursor.Skip(ObjectSize);
        }
    } catch (const TReadError&) {
        return false;
    }
    return true;
}

bool IsValid(const TFileData& Data)
{
    return Data.MaxBitRate > 0 && Data.MaxBitRate < 320000 && (Data.Channels == 1 || Data.Channels == 2) &&
           Data.SampleRate >= 8000 && Data.SampleRate <= 96000 && Data.ByteRate > 0 && Data.ByteRate < 40000;
}

std::string TagText(const TFileData& Data, Field F) { return Utf16ToUtf8(TrimControl(Data.Tag[F])); }

} // namespace

void TWMAfile::ResetData()
{
    Valid = false;
    FileSize = 0;
    ChannelModeID = 0;
    SampleRate = 0;
    Duration = 0;
    BitRate = 0;
    for (std::string* S : {&Title, &Artist, &Album, &Year, &Genre, &Comment}) S->clear();
    Track = 0;
}

bool TWMAfile::Read(TByteSource& Source)
{
    ResetData();
    TFileData Data;
    const bool Result = ReadData(Source, Data);
    if (Result && IsValid(Data)) {
        Valid = true;
        FileSize = int64_t(Data.FileSize);
        ChannelModeID = uint8_t(Data.Channels);
        SampleRate = int32_t(Data.SampleRate);
        Duration = double(Data.FileSize) * 8.0 / double(Data.MaxBitRate);
        BitRate = int32_t(Data.ByteRate * 8 / 1000);
        Title = TagText(Data, WmTitle);
        Artist = TagText(Data, WmAuthor);
        Album = TagText(Data, WmAlbumTitle);
        Year = TagText(Data, WmYear);
        Genre = TagText(Data, WmGenre);
        Comment = TagText(Data, WmDescription);
        int32_t Number = 0;
        Track = ParseDecimal(TagText(Data, WmTrack), Number) ? Number : 0;
    }
    return Result;
}

bool TWMAfile::ReadFromFile(const std::string& FileName)
{
    TByteSource Source(FileName);
    return Read(Source);
}

bool TWMAfile::ReadFromBytes(const uint8_t* Data, size_t Length)
{
    TByteSource Source(Data, Length);
    return Read(Source);
}

} // namespace tags
