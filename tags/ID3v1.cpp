#include "tags/ID3v1.h"

#include "tags/ByteReader.h"
#include "tags/TextCodec.h"

#include <cstring>

namespace tags {

namespace {

constexpr size_t TagSize = 128;

// A fixed field loses its trailing padding (zero bytes, blanks, anything up
// to 0x20); inner zero bytes stay. The bytes are then read as UTF-8 or
// ISO-8859-1.
std::string FieldText(const uint8_t* Tag, size_t Offset, size_t Length)
{
    const char* P = reinterpret_cast<const char*>(Tag + Offset);
    while (Length > 0 && uint8_t(P[Length - 1]) <= 0x20) --Length;
    return SingleByteToUtf8(std::string_view(P, Length));
}

} // namespace

void TID3v1::ResetData()
{
    Exists = false;
    VersionID = 1;
    Title.clear();
    Artist.clear();
    Album.clear();
    Year.clear();
    Comment.clear();
    Track = 0;
    GenreID = 255;
}

uint8_t TID3v1::GetTagVersion(const uint8_t* Tag)
{
    if ((Tag[125] == 0x00 && Tag[126] != 0x00) || (Tag[125] == 0x20 && Tag[126] != 0x20)) return 2;
    return 1;
}

void TID3v1::ReadTag(const uint8_t* Tag)
{
    Exists = true;
    VersionID = GetTagVersion(Tag);
    Title = FieldText(Tag, 3, 30);
    Artist = FieldText(Tag, 33, 30);
    Album = FieldText(Tag, 63, 30);
    Year = FieldText(Tag, 93, 4);
    if (VersionID == 2) {
        Comment = FieldText(Tag, 97, 28);
        Track = Tag[126];
    } else {
        Comment = FieldText(Tag, 97, 30);
    }
    GenreID = Tag[127];
}

bool TID3v1::Read(TByteSource& Source)
{
    ResetData();
    uint8_t Tag[TagSize];
    if (!Source.IsOpen() || Source.Size() < TagSize) return false;
    if (!Source.ReadAt(Source.Size() - TagSize, Tag, TagSize)) return false;
    if (std::memcmp(Tag, "TAG", 3) == 0) ReadTag(Tag);
    return true;
}

bool TID3v1::ReadFromFile(const std::string& FileName)
{
    TByteSource Source(FileName);
    return Read(Source);
}

bool TID3v1::ReadFromBytes(const uint8_t* Data, size_t Length)
{
    TByteSource Source(Data, Length);
    return Read(Source);
}

} // namespace tags
