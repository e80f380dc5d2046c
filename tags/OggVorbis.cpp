#include "tags/OggVorbis.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <vector>

#include "tags/ByteReader.h"
#include "tags/TextCodec.h"

namespace tags {

namespace {

constexpr size_t PageHeaderSize = 282; // 27 fixed bytes and the largest segment table
constexpr size_t IdentSize = 30;

// Count bytes from Offset into a zeroed buffer; what lies beyond the data stays 0.
void ReadPadded(TByteSource& Source, uint64_t Offset, uint8_t* Out, size_t Count)
{
    std::memset(Out, 0, Count);
    if (Offset >= Source.Size()) return;
    size_t Have = size_t(std::min<uint64_t>(Count, Source.Size() - Offset));
    if (!Source.ReadAt(Offset, Out, Have)) std::memset(Out, 0, Count);
}

} // namespace

// The comment packet, gathered from its pages. A packet longer than one
// page (a cover picture kept as a comment) continues on the next pages, each
// with its own header in between: the packet's bytes are the page segments
// up to the first lacing value below 255, read through this map so that no
// page header is taken for comment data.
class TOggPacket {
public:
    // The packet that begins with the first segment of the page at PagePos.
    TOggPacket(TByteSource& Source, uint64_t PagePos) : FSource(Source)
    {
        const uint64_t FileSize = Source.Size();
        bool First = true;
        while (PagePos < FileSize) {
            uint8_t Header[27 + 255];
            std::memset(Header, 0, sizeof Header);
            const size_t Have = size_t(std::min<uint64_t>(sizeof Header, FileSize - PagePos));
            if (!Source.ReadAt(PagePos, Header, Have)) return;
            // A later page must be one; the first is taken as it stands.
            if (!First && std::memcmp(Header, "OggS", 4) != 0) return;
            First = false;
            const uint8_t Segments = Header[26];
            uint64_t Data = PagePos + 27 + Segments;
            for (uint8_t K = 0; K < Segments; ++K) {
                const uint8_t Lacing = Header[27 + K];
                Add(Data, Lacing);
                Data += Lacing;
                if (Lacing < 255) return; // the packet ends here
            }
            if (Data <= PagePos) return;
            PagePos = Data;
        }
    }

    uint64_t Size() const { return FSize; }

    // Count bytes from packet offset Offset into Out; what lies beyond the
    // packet or the file reads as 0.
    void Read(uint64_t Offset, uint8_t* Out, size_t Count) const
    {
        std::memset(Out, 0, Count);
        uint64_t RunStart = 0;
        for (const TRun& Run : FRuns) {
            if (Count == 0) return;
            const uint64_t RunEnd = RunStart + Run.Length;
            if (Offset < RunEnd) {
                const uint64_t Skip = Offset - RunStart;
                const size_t Take = size_t(std::min<uint64_t>(Count, Run.Length - Skip));
                ReadPadded(FSource, Run.FilePos + Skip, Out, Take);
                Out += Take;
                Offset += Take;
                Count -= Take;
            }
            RunStart = RunEnd;
        }
    }

private:
    struct TRun {
        uint64_t FilePos;
        uint64_t Length;
    };
    void Add(uint64_t FilePos, uint64_t Length)
    {
        if (Length == 0) return;
        if (!FRuns.empty() && FRuns.back().FilePos + FRuns.back().Length == FilePos)
            FRuns.back().Length += Length;
        else
            FRuns.push_back({FilePos, Length});
        FSize += Length;
    }
    TByteSource& FSource;
    std::vector<TRun> FRuns;
    uint64_t FSize = 0;
};

namespace {

uint32_t LE32(const uint8_t* P)
{
    return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}

std::string UpperAscii(std::string Text)
{
    for (char& C : Text)
        if (C >= 'a' && C <= 'z') C = char(C - 'a' + 'A');
    return Text;
}

// Rounds halves to the even neighbour and keeps the low 16 bits; a value that
// no integer holds gives 0 rather than undefined behaviour.
uint16_t RoundTo16(double Value)
{
    double R = std::nearbyint(Value);
    if (!(R > -9.0e18 && R < 9.0e18)) return 0;
    return uint16_t(int64_t(R));
}

} // namespace

std::u16string UTF8Decode(std::string_view Text)
{
    std::u16string Out;
    const size_t N = Text.size();
    size_t I = 0;
    while (I < N) {
        const uint8_t V = uint8_t(Text[I]);
        if (V < 0x80) {
            Out.push_back(char16_t(V));
            ++I;
            continue;
        }
        size_t J = I + 1;
        if (J >= N) break;
        if (V >= 0xF0) {
            // A character beyond U+FFFF (an emoji, a rare ideograph) is four
            // bytes and becomes a surrogate pair; squeezed into one 16-bit
            // unit it would turn into an unrelated letter and end the text.
            if (N - I < 4) break;
            uint32_t Value = V & 0x07;
            bool Good = true;
            for (size_t K = 1; K < 4; ++K) {
                const uint8_t C = uint8_t(Text[I + K]);
                Good = Good && (C & 0xC0) == 0x80;
                Value = Value * 64 + (C & 0x3F);
            }
            if (!Good || Value < 0x10000 || Value > 0x10FFFF) break;
            Value -= 0x10000;
            Out.push_back(char16_t(0xD800 + (Value >> 10)));
            Out.push_back(char16_t(0xDC00 + (Value & 0x3FF)));
            I += 4;
            continue;
        }
        uint32_t Value = V & 0x1F;
        if (V & 0x20) {
            const uint8_t Mid = uint8_t(Text[J]);
            if ((Mid & 0xC0) != 0x80) break;
            Value = Value * 64 + (Mid & 0x3F);
            if (++J >= N) break;
        }
        const uint8_t Last = uint8_t(Text[J]);
        if ((Last & 0xC0) != 0x80) break;
        Value = (Value * 64 + (Last & 0x3F)) & 0xFFFF;
        Out.push_back(char16_t(Value));
        I = J + 1;
    }
    return Out;
}

std::string DecodeCommentValue(std::string_view Text)
{
    return Utf16ToUtf8(UTF8Decode(Text));
}

struct TOggVorbis::TFileInfo {
    int64_t FileSize = 0;
    uint8_t FirstPage[PageHeaderSize] = {};
    uint8_t Ident[IdentSize] = {};
    int32_t Samples = 0;
    int64_t ID3v2Size = 0;
    std::string Tag[9];
    std::string Vendor;
    std::string ExtraTag;
};

void TOggVorbis::ResetData()
{
    FileSize = 0;
    ChannelModeID = 0;
    SampleRate = 0;
    BitRateNominal = 0;
    Samples = 0;
    ID3v2Size = 0;
    Title.clear();
    Artist.clear();
    Album.clear();
    Track = 0;
    Date.clear();
    Genre.clear();
    Comment.clear();
    Vendor.clear();
    StreamVersion = 0;
    SerialNumber = 0;
    ExtraTag.clear();
}

bool TOggVorbis::ReadFromFile(const std::string& FileName)
{
    ResetData();
    TByteSource Source(FileName);
    if (!Source.IsOpen()) throw EFOpenError(FileName);
    return Read(Source);
}

bool TOggVorbis::ReadFromBytes(const uint8_t* Data, size_t Size)
{
    ResetData();
    TByteSource Source(Data, Size);
    return Read(Source);
}

bool TOggVorbis::Read(TByteSource& Source)
{
    ResetData();
    TFileInfo Info;
    if (!GetInfo(Source, Info)) return false;

    FileSize = Info.FileSize;
    ChannelModeID = Info.Ident[11];
    SampleRate = uint16_t(LE32(Info.Ident + 12));
    const int32_t Nominal = int32_t(LE32(Info.Ident + 20));
    BitRateNominal = RoundTo16(Nominal / 1000.0);
    Samples = Info.Samples;
    ID3v2Size = Info.ID3v2Size;
    Title = Info.Tag[0];
    Artist = Info.Tag[1].empty() ? Info.Tag[7] : Info.Tag[1];
    Album = Info.Tag[2];
    Track = ExtractTrack(Info.Tag[3]);
    Date = Info.Tag[4];
    Genre = Info.Tag[5];
    Comment = Info.Tag[6].empty() ? Info.Tag[8] : Info.Tag[6];
    Vendor = Info.Vendor;
    StreamVersion = Info.FirstPage[4];
    SerialNumber = LE32(Info.FirstPage + 14);
    ExtraTag = Info.ExtraTag;
    return true;
}

int64_t TOggVorbis::GetID3v2Size(TByteSource& Source)
{
    uint8_t Header[10];
    if (Source.Size() < sizeof Header || !Source.ReadAt(0, Header, sizeof Header)) return 0;
    if (std::memcmp(Header, "ID3", 3) != 0) return 0;
    // Each size byte is taken whole, as the MP3 reader does, so both agree on the skip.
    int64_t Size = int64_t(Header[6]) * 2097152 + int64_t(Header[7]) * 16384 + int64_t(Header[8]) * 128 +
                   int64_t(Header[9]) + 10;
    if (Header[5] & 0x10) Size += 10;
    return Size > int64_t(Source.Size()) ? 0 : Size;
}

bool TOggVorbis::GetInfo(TByteSource& Source, TFileInfo& Info) const
{
    Info.FileSize = int64_t(Source.Size());
    Info.ID3v2Size = GetID3v2Size(Source);

    uint64_t Position = uint64_t(Info.ID3v2Size);
    ReadPadded(Source, Position, Info.FirstPage, PageHeaderSize);
    if (std::memcmp(Info.FirstPage, "OggS", 4) != 0) return false;

    Position += 27 + Info.FirstPage[26];
    ReadPadded(Source, Position, Info.Ident, IdentSize);
    if (Info.Ident[0] != 0x01 || std::memcmp(Info.Ident + 1, "vorbis", 6) != 0) return false;

    // The identification packet is taken to fill the first page alone.
    Position += IdentSize;
    const TOggPacket Packet(Source, Position);
    uint8_t CommentHeader[7];
    Packet.Read(0, CommentHeader, sizeof CommentHeader);
    if (CommentHeader[0] == 0x03 && std::memcmp(CommentHeader + 1, "vorbis", 6) == 0)
        ReadTag(Packet, sizeof CommentHeader, Info);

    Info.Samples = GetSamples(Source);
    return true;
}

void TOggVorbis::ReadTag(const TOggPacket& Source, uint64_t Position, TFileInfo& Info)
{
    // The vendor string, then N comments, from the packet gathered across
    // its pages. Every step moves at least 4 bytes and the loop ends at the
    // end of the packet, whatever the count says.
    const uint64_t Size = Source.Size();
    int64_t Count = 0;
    int64_t I = 0;
    do {
        if (Size - std::min(Size, Position) < 4) break;
        uint8_t LengthBytes[4];
        Source.Read(Position, LengthBytes, 4);
        const uint32_t Length = LE32(LengthBytes);
        uint8_t Buffer[MaxCommentBytes];
        Source.Read(Position + 4, Buffer, std::min<size_t>(Length, MaxCommentBytes));
        if (Length < MaxCommentBytes) std::memset(Buffer + Length, 0, MaxCommentBytes - Length);
        SetTagItem(TrimControl(std::string_view(reinterpret_cast<const char*>(Buffer), MaxCommentBytes)), Info);
        Position += 4 + uint64_t(Length);
        if (I == 0) {
            if (Size - std::min(Size, Position) < 4) break;
            Source.Read(Position, LengthBytes, 4);
            Count = int32_t(LE32(LengthBytes));
            Position += 4;
        }
        ++I;
    } while (I <= Count);
}

void TOggVorbis::SetTagItem(const std::string& Text, TFileInfo& Info)
{
    const size_t Equals = Text.find('=');
    if (Equals == std::string::npos) {
        if (Info.Vendor.empty()) Info.Vendor = SingleByteToUtf8(Text);
        return;
    }
    const std::string Name = UpperAscii(Text.substr(0, Equals));
    const std::string Value = DecodeCommentValue(TrimControl(std::string_view(Text).substr(Equals + 1)));
    for (size_t K = 0; K < std::size(VorbisFieldNames); ++K) {
        if (Name == VorbisFieldNames[K]) {
            Info.Tag[K] = Value; // a later comment of the same name replaces an earlier one
            return;
        }
    }
    // The name is raw bytes from the file, like the vendor: shown as text.
    if (!Info.ExtraTag.empty()) Info.ExtraTag.push_back('\0');
    Info.ExtraTag += SingleByteToUtf8(Name) + "=" + Value;
}

uint8_t TOggVorbis::ExtractTrack(std::string_view Text)
{
    const size_t Slash = Text.find('/');
    if (Slash != std::string_view::npos) Text = Text.substr(0, Slash);
    size_t I = 0;
    bool Negative = false;
    if (I < Text.size() && (Text[I] == '+' || Text[I] == '-')) Negative = Text[I++] == '-';
    if (I == Text.size()) return 0;
    int64_t Value = 0;
    for (; I < Text.size(); ++I) {
        if (Text[I] < '0' || Text[I] > '9') return 0;
        Value = Value * 10 + (Text[I] - '0');
        if (Value > 2147483648LL) return 0; // not a 32-bit integer
    }
    if (Negative) Value = -Value;
    if (Value > 2147483647LL) return 0;
    return uint8_t(Value & 0xFF);
}

int32_t TOggVorbis::GetSamples(TByteSource& Source)
{
    // The last page header begins at most 12,060 bytes before the end; the
    // positions tested run from the end - 10 backwards, never before the start.
    const int64_t Size = int64_t(Source.Size());
    const int64_t Highest = Size - 10;
    if (Highest < 0) return 0;
    const int64_t Lowest = std::max<int64_t>(0, Size - 12060);
    std::vector<uint8_t> Tail(size_t(Highest + 4 - Lowest));
    if (!Source.ReadAt(uint64_t(Lowest), Tail.data(), Tail.size())) return 0;
    for (int64_t P = Highest; P >= Lowest; --P) {
        if (std::memcmp(Tail.data() + (P - Lowest), "OggS", 4) == 0) {
            uint8_t Header[10];
            ReadPadded(Source, uint64_t(P), Header, sizeof Header);
            return int32_t(LE32(Header + 6));
        }
    }
    return 0;
}

double TOggVorbis::GetDuration() const
{
    if (Samples > 0) return SampleRate > 0 ? double(Samples) / SampleRate : 0.0;
    if (BitRateNominal > 0 && ChannelModeID > 0)
        return double(FileSize - ID3v2Size) / BitRateNominal / ChannelModeID / 125.0 * 2.0;
    return 0.0;
}

uint16_t TOggVorbis::GetBitRate() const
{
    const double Duration = GetDuration();
    if (Duration <= 0) return 0;
    return RoundTo16(double(FileSize - ID3v2Size) / Duration / 125.0);
}

bool TOggVorbis::IsValid() const
{
    return ChannelModeID >= 1 && ChannelModeID <= 6 && SampleRate > 0 && GetDuration() > 0.1 && GetBitRate() != 0;
}

} // namespace tags
