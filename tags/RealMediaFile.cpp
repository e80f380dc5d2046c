#include "tags/RealMediaFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "tags/ByteReader.h"
#include "tags/OggVorbis.h"
#include "tags/TextCodec.h"

namespace tags {

namespace {

TRMWarning& DefaultWarning()
{
    static TRMWarning Handler;
    return Handler;
}

thread_local TRMWarning* tKept = nullptr;

// A text of Length bytes; the part that lies beyond the data is missing,
// as the zero bytes of a zero-filled buffer would be.
std::string ReadText(TByteReader& R, size_t Length)
{
    return R.ReadString(std::min(Length, R.Remaining()));
}

void ReadChars(TByteReader& R, char (&Out)[4])
{
    uint8_t B[4] = {};
    if (!R.Read(B, 4)) std::memset(B, 0, 4);
    std::memcpy(Out, B, 4);
}

// Body bytes that a chunk of each kind can use at most, so that a chunk whose
// size runs far past its fields costs no more than its fields.
constexpr uint64_t FileHeaderBody = 8, PropertiesBody = 40, DataHeaderBody = 8;
constexpr uint64_t ContentBody = 4 * (2 + 65535);
// Any other chunk (media properties, index) is read up to 16 MiB, a million
// index records: a damaged size, or a size of 0 that reads on to the end of
// the file, must not pull gigabytes of audio into memory.
constexpr uint64_t MaxChunkBody = uint64_t(16) << 20;

void Write8(TRMStream& Stream, uint8_t Value)
{
    Stream.push_back(Value);
}

// Exactly Length bytes of Text, zeros where the text is shorter.
void WriteText(TRMStream& Stream, const std::string& Text, size_t Length)
{
    const size_t Have = std::min(Length, Text.size());
    Stream.insert(Stream.end(), Text.begin(), Text.begin() + std::ptrdiff_t(Have));
    Stream.insert(Stream.end(), Length - Have, 0);
}

// Count entries of an array: those held, then zeros for the rest.
template <typename T> void WriteArray(TRMStream& Stream, const std::vector<T>& Values, size_t Count)
{
    size_t At = Stream.size();
    Stream.resize(At + Count * sizeof(T));
    for (size_t I = 0; I < std::min(Count, Values.size()); ++I)
        for (int Shift = 8 * int(sizeof(T) - 1); Shift >= 0; Shift -= 8) Stream[At++] = uint8_t(Values[I] >> Shift);
}

// "Name=%.8x [%d]" for 32-bit fields, %.4x and %.2x for narrower ones.
void DumpValue(std::vector<std::string>& Lines, const std::string& Name, uint32_t Value, int Digits)
{
    char Text[48];
    std::snprintf(Text, sizeof Text, "=%.*x [%d]", Digits, Value, Digits == 8 ? int(int32_t(Value)) : int(Value));
    Lines.push_back(Name + Text);
}

void Dump32(std::vector<std::string>& Lines, const std::string& Name, uint32_t Value) { DumpValue(Lines, Name, Value, 8); }
void Dump16(std::vector<std::string>& Lines, const std::string& Name, uint16_t Value) { DumpValue(Lines, Name, Value, 4); }
void Dump8(std::vector<std::string>& Lines, const std::string& Name, uint8_t Value) { DumpValue(Lines, Name, Value, 2); }

void DumpText(std::vector<std::string>& Lines, const std::string& Name, const std::string& Text)
{
    Lines.push_back(Name + "=" + CText(Text));
}

// Four characters, "%4.4s": up to the first zero byte.
void DumpChars(std::vector<std::string>& Lines, const std::string& Name, const char (&Chars)[4])
{
    Lines.push_back(Name + "=" + CText(std::string(Chars, 4)));
}

void DumpBytes(std::vector<std::string>& Lines, const std::string& Name, const std::vector<uint8_t>& Bytes)
{
    std::string Line = Name + "=";
    char Hex[3];
    for (uint8_t B : Bytes) {
        std::snprintf(Hex, sizeof Hex, "%.2x", B);
        Line += Hex;
    }
    Lines.push_back(std::move(Line));
}

} // namespace

void WriteBE32(TRMStream& Stream, uint32_t Value)
{
    for (int Shift = 24; Shift >= 0; Shift -= 8) Stream.push_back(uint8_t(Value >> Shift));
}

void WriteBE16(TRMStream& Stream, uint16_t Value)
{
    Stream.push_back(uint8_t(Value >> 8));
    Stream.push_back(uint8_t(Value));
}

std::string CText(const std::string& Bytes)
{
    return Bytes.substr(0, Bytes.find('\0'));
}

void SetRMWarningHandler(TRMWarning Handler)
{
    DefaultWarning() = std::move(Handler);
}

void ShowRMWarning(const std::string& Text, const std::string& Caption)
{
    if (DefaultWarning()) DefaultWarning()(Text, Caption);
}

TRMWarningsKept::TRMWarningsKept(std::vector<std::pair<std::string, std::string>>& Into)
    : FOuter(tKept), FKeep([&Into](const std::string& Text, const std::string& Caption) { Into.emplace_back(Text, Caption); })
{
    tKept = &FKeep;
}

TRMWarningsKept::~TRMWarningsKept() { tKept = FOuter; }

// --- type-specific data -----------------------------------------------------

uint32_t TSpecificData::LoadFromStream(TByteReader& R)
{
    Data.clear();
    if (Len > 0) {
        const size_t Have = std::min<size_t>(Len, R.Remaining());
        Data.resize(Have);
        R.Read(Data.data(), Have);
    }
    return Len;
}

TRMStream TSpecificData::Block() const
{
    return Data;
}

void TSpecificData::KeepTail(TRMStream& Fields) const
{
    if (Data.size() > Fields.size()) Fields.insert(Fields.end(), Data.begin() + std::ptrdiff_t(Fields.size()), Data.end());
}

uint32_t TSpecificData::CalcSize()
{
    Len = uint32_t(Block().size());
    return Len;
}

void TSpecificData::SaveToStream(TRMStream& Stream)
{
    const TRMStream Bytes = Block();
    Len = uint32_t(Bytes.size());
    Stream.insert(Stream.end(), Bytes.begin(), Bytes.end());
}

void TSpecificData::Dump(std::vector<std::string>& Lines) const
{
    Dump32(Lines, "Len", Len);
    DumpBytes(Lines, "Data", Data);
}

uint32_t TAudioTypeSpecificData::LoadFromStream(TByteReader& Stream)
{
    TSpecificData::LoadFromStream(Stream);
    TByteReader R(Data); // the fields never read past the block
    TheID = R.U32BE();
    AudioSpecificVersion = R.U16BE();
    AudioSpecificRevision = R.U16BE();
    RaID = R.U32BE();
    RaChunkSize = R.U32BE();
    Version = R.U16BE();
    Revision = R.U16BE();
    HeaderBytesTotal = R.U16BE();
    CompressionType = R.U16BE();
    Granularity = R.U32BE();
    BytesTotal = R.U32BE();
    BytesPerMinute = R.U32BE();
    BytesPerMinute2 = R.U32BE();
    InterleaveFactor = R.U16BE();
    InterleaveBlockSize = R.U16BE();
    UserData = R.U32BE();
    SampleRate = R.U32BE();
    SampleSize = R.U16BE();
    NumChannels = R.U16BE();
    InterleaveCode = ReadText(R, 5);
    CompressionCode = ReadText(R, 5);
    IsInterleaved = R.U8();
    CopyByte = R.U8();
    StreamType = R.U8();
    TitleLen = R.U8();
    Title = ReadText(R, TitleLen);
    AuthorLen = R.U8();
    Author = ReadText(R, AuthorLen);
    CopyrightLen = R.U8();
    Copyright = ReadText(R, CopyrightLen);
    AppLen = R.U8();
    App = ReadText(R, AppLen);
    return Len;
}

TRMStream TAudioTypeSpecificData::Block() const
{
    TRMStream S;
    WriteBE32(S, TheID);
    WriteBE16(S, AudioSpecificVersion);
    WriteBE16(S, AudioSpecificRevision);
    WriteBE32(S, RaID);
    WriteBE32(S, RaChunkSize);
    WriteBE16(S, Version);
    WriteBE16(S, Revision);
    WriteBE16(S, HeaderBytesTotal);
    WriteBE16(S, CompressionType);
    WriteBE32(S, Granularity);
    WriteBE32(S, BytesTotal);
    WriteBE32(S, BytesPerMinute);
    WriteBE32(S, BytesPerMinute2);
    WriteBE16(S, InterleaveFactor);
    WriteBE16(S, InterleaveBlockSize);
    WriteBE32(S, UserData);
    WriteBE32(S, SampleRate);
    WriteBE16(S, SampleSize);
    WriteBE16(S, NumChannels);
    WriteText(S, InterleaveCode, 5);
    WriteText(S, CompressionCode, 5);
    Write8(S, IsInterleaved);
    Write8(S, CopyByte);
    Write8(S, StreamType);
    Write8(S, TitleLen);
    WriteText(S, Title, TitleLen);
    Write8(S, AuthorLen);
    WriteText(S, Author, AuthorLen);
    Write8(S, CopyrightLen);
    WriteText(S, Copyright, CopyrightLen);
    Write8(S, AppLen);
    WriteText(S, App, AppLen);
    KeepTail(S);
    return S;
}

void TAudioTypeSpecificData::Dump(std::vector<std::string>& Lines) const
{
    Dump32(Lines, "Len", Len);
    Dump32(Lines, "TheID", TheID);
    Dump16(Lines, "AudioSpecificVersion", AudioSpecificVersion);
    Dump16(Lines, "AudioSpecificRevision", AudioSpecificRevision);
    Dump32(Lines, "RaID", RaID);
    Dump32(Lines, "RaChunkSize", RaChunkSize);
    Dump16(Lines, "Version", Version);
    Dump16(Lines, "Revision", Revision);
    Dump16(Lines, "HeaderBytesTotal", HeaderBytesTotal);
    Dump16(Lines, "CompressionType", CompressionType);
    Dump32(Lines, "Granularity", Granularity);
    Dump32(Lines, "BytesTotal", BytesTotal);
    Dump32(Lines, "BytesPerMinute", BytesPerMinute);
    Dump32(Lines, "BytesPerMinute2", BytesPerMinute2);
    Dump16(Lines, "InterleaveFactor", InterleaveFactor);
    Dump16(Lines, "InterleaveBlockSize", InterleaveBlockSize);
    Dump32(Lines, "UserData", UserData);
    Dump32(Lines, "SampleRate", SampleRate);
    Dump16(Lines, "SampleSize", SampleSize);
    Dump16(Lines, "NumChannels", NumChannels);
    DumpText(Lines, "InterleaveCode", InterleaveCode);
    DumpText(Lines, "CompressionCode", CompressionCode);
    Dump8(Lines, "IsInterleaved", IsInterleaved);
    Dump8(Lines, "CopyByte", CopyByte);
    Dump8(Lines, "StreamType", StreamType);
    Dump8(Lines, "TitleLen", TitleLen);
    DumpText(Lines, "Title", Title);
    Dump8(Lines, "AuthorLen", AuthorLen);
    DumpText(Lines, "Author", Author);
    Dump8(Lines, "CopyrightLen", CopyrightLen);
    DumpText(Lines, "Copyright", Copyright);
    Dump8(Lines, "AppLen", AppLen);
    DumpText(Lines, "App", App);
}

uint32_t TVideoTypeSpecificData::LoadFromStream(TByteReader& Stream)
{
    TSpecificData::LoadFromStream(Stream);
    TByteReader R(Data);
    CbLength = R.U32BE();
    ReadChars(R, Moftag);
    ReadChars(R, Submoftag);
    UiWidth = R.U16BE();
    UiHeight = R.U16BE();
    UiBitCount = R.U16BE();
    UiPadWidth = R.U16BE();
    UiPadHeight = R.U16BE();
    FramesPerSecond = R.U32BE();
    UlSPOExtra = R.U32BE();
    UlStreamVersion = R.U32BE();
    return Len;
}

TRMStream TVideoTypeSpecificData::Block() const
{
    TRMStream S;
    WriteBE32(S, CbLength);
    S.insert(S.end(), Moftag, Moftag + 4);
    S.insert(S.end(), Submoftag, Submoftag + 4);
    WriteBE16(S, UiWidth);
    WriteBE16(S, UiHeight);
    WriteBE16(S, UiBitCount);
    WriteBE16(S, UiPadWidth);
    WriteBE16(S, UiPadHeight);
    WriteBE32(S, FramesPerSecond);
    WriteBE32(S, UlSPOExtra);
    WriteBE32(S, UlStreamVersion);
    KeepTail(S);
    return S;
}

void TVideoTypeSpecificData::Dump(std::vector<std::string>& Lines) const
{
    Dump32(Lines, "Len", Len);
    Dump32(Lines, "CbLength", CbLength);
    DumpChars(Lines, "Moftag", Moftag);
    DumpChars(Lines, "Submoftag", Submoftag);
    Dump16(Lines, "UiWidth", UiWidth);
    Dump16(Lines, "UiHeight", UiHeight);
    Dump16(Lines, "UiBitCount", UiBitCount);
    Dump16(Lines, "UiPadWidth", UiPadWidth);
    Dump16(Lines, "UiPadHeight", UiPadHeight);
    Dump32(Lines, "FramesPerSecond", FramesPerSecond);
    Dump32(Lines, "UlSPOExtra", UlSPOExtra);
    Dump32(Lines, "UlStreamVersion", UlStreamVersion);
}

uint32_t TNameValueProperty::LoadFromStream(TByteReader& R)
{
    Size = R.U32BE();
    ObjectVersion = R.U16BE();
    NameLength = R.U8();
    Name = ReadText(R, NameLength);
    Type = R.U32BE();
    ValueLength = R.U16BE();
    ValueData = ReadText(R, ValueLength);
    return Size;
}

uint32_t TNameValueProperty::CalcSize()
{
    Size = 13u + NameLength + ValueLength;
    return Size;
}

void TNameValueProperty::SaveToStream(TRMStream& Stream)
{
    CalcSize();
    WriteBE32(Stream, Size);
    WriteBE16(Stream, ObjectVersion);
    Write8(Stream, NameLength);
    WriteText(Stream, Name, NameLength);
    WriteBE32(Stream, Type);
    WriteBE16(Stream, ValueLength);
    WriteText(Stream, ValueData, ValueLength);
}

void TNameValueProperty::Dump(std::vector<std::string>& Lines) const
{
    Dump32(Lines, "Size", Size);
    Dump16(Lines, "ObjectVersion", ObjectVersion);
    Dump8(Lines, "NameLength", NameLength);
    DumpText(Lines, "Name", Name);
    Dump32(Lines, "Type", Type);
    Dump16(Lines, "ValueLength", ValueLength);
    DumpText(Lines, "ValueData", ValueData);
}

uint32_t TLogicalStream::LoadFromStream(TByteReader& R)
{
    // Arrays hold as many entries as the data has room for, never more than
    // their counts: a damaged count cannot make a large allocation.
    Size = R.U32BE();
    ObjectVersion = R.U16BE();
    NumPhysicalStreams = R.U16BE();
    PhysicalStreamNumbers.assign(std::min<size_t>(NumPhysicalStreams, R.Remaining() / 2), 0);
    for (uint16_t& N : PhysicalStreamNumbers) N = R.U16BE();
    DataOffsets.assign(std::min<size_t>(NumPhysicalStreams, R.Remaining() / 4), 0);
    for (uint32_t& O : DataOffsets) O = R.U32BE();
    NumRules = R.U16BE();
    RuleToPhysicalStreamNumberMap.assign(std::min<size_t>(NumRules, R.Remaining() / 2), 0);
    for (uint16_t& N : RuleToPhysicalStreamNumberMap) N = R.U16BE();
    NumProperties = R.U16BE();
    Properties.clear();
    NumPropertiesReal = 0;
    for (uint32_t I = 0; I < NumProperties && !R.AtEnd(); ++I) {
        auto Property = std::make_unique<TNameValueProperty>();
        Property->LoadFromStream(R);
        Properties.push_back(std::move(Property));
        ++NumPropertiesReal;
    }
    return Len;
}

uint32_t TLogicalStream::CalcSize()
{
    Len = 12u + 6u * NumPhysicalStreams + 2u * NumRules;
    for (const auto& Property : Properties) Len += Property->CalcSize();
    return Len;
}

void TLogicalStream::SaveToStream(TRMStream& Stream)
{
    CalcSize();
    WriteBE32(Stream, Size);
    WriteBE16(Stream, ObjectVersion);
    WriteBE16(Stream, NumPhysicalStreams);
    WriteArray(Stream, PhysicalStreamNumbers, NumPhysicalStreams);
    WriteArray(Stream, DataOffsets, NumPhysicalStreams);
    WriteBE16(Stream, NumRules);
    WriteArray(Stream, RuleToPhysicalStreamNumberMap, NumRules);
    WriteBE16(Stream, NumProperties);
    for (const auto& Property : Properties) Property->SaveToStream(Stream);
}

void TLogicalStream::Dump(std::vector<std::string>& Lines) const
{
    Dump32(Lines, "Len", Len);
    Dump32(Lines, "Size", Size);
    Dump16(Lines, "ObjectVersion", ObjectVersion);
    Dump16(Lines, "NumPhysicalStreams", NumPhysicalStreams);
    for (size_t I = 0; I < PhysicalStreamNumbers.size(); ++I)
        Dump16(Lines, "PhysicalStreamNumbers[" + std::to_string(I) + "]", PhysicalStreamNumbers[I]);
    for (size_t I = 0; I < DataOffsets.size(); ++I)
        Dump32(Lines, "DataOffsets[" + std::to_string(I) + "]", DataOffsets[I]);
    Dump16(Lines, "NumRules", NumRules);
    for (size_t I = 0; I < RuleToPhysicalStreamNumberMap.size(); ++I)
        Dump16(Lines, "RuleToPhysicalStreamNumberMap[" + std::to_string(I) + "]", RuleToPhysicalStreamNumberMap[I]);
    Dump16(Lines, "NumProperties", NumProperties);
    Dump32(Lines, "NumPropertiesReal", NumPropertiesReal);
    for (const auto& Property : Properties) Property->Dump(Lines);
}

// --- chunk records ----------------------------------------------------------

uint32_t TRMGenericHeader::LoadFromStream(TByteReader& R)
{
    ReadChars(R, ObjectID);
    Size = R.U32BE();
    ObjectVersion = R.U16BE();
    return Size;
}

std::unique_ptr<TRMGenericHeader> TRMGenericHeader::Clone() const
{
    auto Copy = std::make_unique<TRMGenericHeader>();
    Copy->CopyHeader(*this);
    return Copy;
}

uint32_t TRMGenericHeader::CalcSize()
{
    Size = 10;
    return Size;
}

void TRMGenericHeader::SaveToStream(TRMStream& Stream)
{
    CalcSize();
    SaveHeader(Stream);
}

void TRMGenericHeader::SaveHeader(TRMStream& Stream) const
{
    Stream.insert(Stream.end(), ObjectID, ObjectID + 4);
    WriteBE32(Stream, Size);
    WriteBE16(Stream, ObjectVersion);
}

void TRMGenericHeader::Dump(std::vector<std::string>& Lines) const
{
    DumpChars(Lines, "ObjectID", ObjectID);
    Dump32(Lines, "Size", Size);
    Dump16(Lines, "ObjectVersion", ObjectVersion);
}

void TRMGenericHeader::CopyHeader(const TRMGenericHeader& From)
{
    std::memcpy(ObjectID, From.ObjectID, 4);
    Size = From.Size;
    ObjectVersion = From.ObjectVersion;
}

uint32_t TRMFileHeader::LoadFromStream(TByteReader& R)
{
    FileVersion = R.U32BE();
    NumHeaders = R.U32BE();
    return Size;
}

uint32_t TRMFileHeader::CalcSize()
{
    Size = 18;
    return Size;
}

void TRMFileHeader::SaveToStream(TRMStream& Stream)
{
    CalcSize();
    SaveHeader(Stream);
    WriteBE32(Stream, FileVersion);
    WriteBE32(Stream, NumHeaders);
}

void TRMFileHeader::Dump(std::vector<std::string>& Lines) const
{
    TRMGenericHeader::Dump(Lines);
    Dump32(Lines, "FileVersion", FileVersion);
    Dump32(Lines, "NumHeaders", NumHeaders);
}

uint32_t TProperties::LoadFromStream(TByteReader& R)
{
    MaxBitRate = R.U32BE();
    AvgBitRate = R.U32BE();
    MaxPacketSize = R.U32BE();
    AvgPacketSize = R.U32BE();
    NumInterleavePackets = R.U32BE();
    Duration = R.U32BE();
    Preroll = R.U32BE();
    IndexOffset = R.U32BE();
    DataOffset = R.U32BE();
    NumStreams = R.U16BE();
    Flags = R.U16BE();
    return Size;
}

uint32_t TProperties::CalcSize()
{
    Size = 50;
    return Size;
}

void TProperties::SaveToStream(TRMStream& Stream)
{
    CalcSize();
    SaveHeader(Stream);
    for (uint32_t Value : {MaxBitRate, AvgBitRate, MaxPacketSize, AvgPacketSize, NumInterleavePackets, Duration,
                           Preroll, IndexOffset, DataOffset})
        WriteBE32(Stream, Value);
    WriteBE16(Stream, NumStreams);
    WriteBE16(Stream, Flags);
}

void TProperties::Dump(std::vector<std::string>& Lines) const
{
    TRMGenericHeader::Dump(Lines);
    Dump32(Lines, "MaxBitRate", MaxBitRate);
    Dump32(Lines, "AvgBitRate", AvgBitRate);
    Dump32(Lines, "MaxPacketSize", MaxPacketSize);
    Dump32(Lines, "AvgPacketSize", AvgPacketSize);
    Dump32(Lines, "NumInterleavePackets", NumInterleavePackets);
    Dump32(Lines, "Duration", Duration);
    Dump32(Lines, "Preroll", Preroll);
    Dump32(Lines, "IndexOffset", IndexOffset);
    Dump32(Lines, "DataOffset", DataOffset);
    Dump16(Lines, "NumStreams", NumStreams);
    Dump16(Lines, "Flags", Flags);
}

uint32_t TMediaProperties::LoadFromStream(TByteReader& R)
{
    StreamNumber = R.U16BE();
    MaxBitRate = R.U32BE();
    AvgBitRate = R.U32BE();
    MaxPacketSize = R.U32BE();
    AvgPacketSize = R.U32BE();
    StartTime = R.U32BE();
    Preroll = R.U32BE();
    Duration = R.U32BE();
    StreamNameSize = R.U8();
    StreamName = ReadText(R, StreamNameSize);
    MIMETypeSize = R.U8();
    MIMEType = ReadText(R, MIMETypeSize);
    TypeSpecificLen = R.U32BE();

    // The MIME type chooses the class by exact, case-sensitive equality.
    const std::string Mime = CText(MIMEType);
    if (Mime == "audio/x-pn-realaudio")
        TypeSpecificData = std::make_unique<TAudioTypeSpecificData>(TypeSpecificLen);
    else if (Mime == "video/x-pn-realvideo")
        TypeSpecificData = std::make_unique<TVideoTypeSpecificData>(TypeSpecificLen);
    else if (Mime == "logical-fileinfo")
        TypeSpecificData = std::make_unique<TLogicalStream>(TypeSpecificLen);
    else
        TypeSpecificData = std::make_unique<TSpecificData>(TypeSpecificLen);
    TypeSpecificData->LoadFromStream(R);
    return Size;
}

uint32_t TMediaProperties::CalcSize()
{
    TypeSpecificLen = TypeSpecificData ? TypeSpecificData->CalcSize() : 0;
    Size = 46u + StreamNameSize + MIMETypeSize + TypeSpecificLen;
    return Size;
}

void TMediaProperties::SaveToStream(TRMStream& Stream)
{
    CalcSize();
    SaveHeader(Stream);
    WriteBE16(Stream, StreamNumber);
    for (uint32_t Value : {MaxBitRate, AvgBitRate, MaxPacketSize, AvgPacketSize, StartTime, Preroll, Duration})
        WriteBE32(Stream, Value);
    Write8(Stream, StreamNameSize);
    WriteText(Stream, StreamName, StreamNameSize);
    Write8(Stream, MIMETypeSize);
    WriteText(Stream, MIMEType, MIMETypeSize);
    WriteBE32(Stream, TypeSpecificLen);
    if (TypeSpecificData) TypeSpecificData->SaveToStream(Stream);
}

void TMediaProperties::Dump(std::vector<std::string>& Lines) const
{
    TRMGenericHeader::Dump(Lines);
    Dump16(Lines, "StreamNumber", StreamNumber);
    Dump32(Lines, "MaxBitRate", MaxBitRate);
    Dump32(Lines, "AvgBitRate", AvgBitRate);
    Dump32(Lines, "MaxPacketSize", MaxPacketSize);
    Dump32(Lines, "AvgPacketSize", AvgPacketSize);
    Dump32(Lines, "StartTime", StartTime);
    Dump32(Lines, "Preroll", Preroll);
    Dump32(Lines, "Duration", Duration);
    Dump8(Lines, "StreamNameSize", StreamNameSize);
    DumpText(Lines, "StreamName", StreamName);
    Dump8(Lines, "MIMETypeSize", MIMETypeSize);
    DumpText(Lines, "MIMEType", MIMEType);
    Dump32(Lines, "TypeSpecificLen", TypeSpecificLen);
    if (TypeSpecificData) TypeSpecificData->Dump(Lines);
}

uint32_t TContent::LoadFromStream(TByteReader& R)
{
    TitleLen = R.U16BE();
    Title = ReadText(R, TitleLen);
    AuthorLen = R.U16BE();
    Author = ReadText(R, AuthorLen);
    CopyrightLen = R.U16BE();
    Copyright = ReadText(R, CopyrightLen);
    CommentLen = R.U16BE();
    Comment = ReadText(R, CommentLen);
    return Size;
}

uint32_t TContent::CalcSize()
{
    Size = 18u + TitleLen + AuthorLen + CopyrightLen + CommentLen;
    return Size;
}

void TContent::SaveToStream(TRMStream& Stream)
{
    CalcSize();
    SaveHeader(Stream);
    WriteBE16(Stream, TitleLen);
    WriteText(Stream, Title, TitleLen);
    WriteBE16(Stream, AuthorLen);
    WriteText(Stream, Author, AuthorLen);
    WriteBE16(Stream, CopyrightLen);
    WriteText(Stream, Copyright, CopyrightLen);
    WriteBE16(Stream, CommentLen);
    WriteText(Stream, Comment, CommentLen);
}

void TContent::Dump(std::vector<std::string>& Lines) const
{
    TRMGenericHeader::Dump(Lines);
    Dump16(Lines, "TitleLen", TitleLen);
    DumpText(Lines, "Title", Title);
    Dump16(Lines, "AuthorLen", AuthorLen);
    DumpText(Lines, "Author", Author);
    Dump16(Lines, "CopyrightLen", CopyrightLen);
    DumpText(Lines, "Copyright", Copyright);
    Dump16(Lines, "CommentLen", CommentLen);
    DumpText(Lines, "Comment", Comment);
}

uint32_t TDataHeader::LoadFromStream(TByteReader& R)
{
    NumInterleavePackets = R.U32BE();
    NextDataHeader = R.U32BE();
    return Size;
}

// The packets are not held: the chunk keeps the Size that covers them.
uint32_t TDataHeader::CalcSize()
{
    return Size;
}

void TDataHeader::SaveToStream(TRMStream& Stream)
{
    SaveHeader(Stream);
    WriteBE32(Stream, NumInterleavePackets);
    WriteBE32(Stream, NextDataHeader);
}

void TDataHeader::Dump(std::vector<std::string>& Lines) const
{
    TRMGenericHeader::Dump(Lines);
    Dump32(Lines, "NumInterleavePackets", NumInterleavePackets);
    Dump32(Lines, "NextDataHeader", NextDataHeader);
}

uint32_t TIndexHeader::LoadFromStream(TByteReader& R)
{
    NumIndices = R.U32BE();
    StreamNumber = R.U16BE();
    NextIndexHeader = R.U32BE();
    Indices.assign(std::min<size_t>(NumIndices, R.Remaining() / 14), TIndexRecord{});
    for (TIndexRecord& Record : Indices) {
        Record.ObjectVersion = R.U16BE();
        Record.Timestamp = R.U32BE();
        Record.Offset = R.U32BE();
        Record.PacketCount = R.U32BE();
    }
    return Size;
}

uint32_t TIndexHeader::CalcSize()
{
    Size = uint32_t(20 + 14 * Indices.size());
    return Size;
}

void TIndexHeader::SaveToStream(TRMStream& Stream)
{
    CalcSize();
    SaveHeader(Stream);
    WriteBE32(Stream, NumIndices);
    WriteBE16(Stream, StreamNumber);
    WriteBE32(Stream, NextIndexHeader);
    for (const TIndexRecord& Record : Indices) {
        WriteBE16(Stream, Record.ObjectVersion);
        WriteBE32(Stream, Record.Timestamp);
        WriteBE32(Stream, Record.Offset);
        WriteBE32(Stream, Record.PacketCount);
    }
}

void TIndexHeader::Dump(std::vector<std::string>& Lines) const
{
    TRMGenericHeader::Dump(Lines);
    Dump32(Lines, "NumIndices", NumIndices);
    Dump16(Lines, "StreamNumber", StreamNumber);
    Dump32(Lines, "NextIndexHeader", NextIndexHeader);
    for (size_t I = 0; I < Indices.size(); ++I) {
        const std::string Name = "Indices[" + std::to_string(I) + "].";
        Dump16(Lines, Name + "ObjectVersion", Indices[I].ObjectVersion);
        Dump32(Lines, Name + "Timestamp", Indices[I].Timestamp);
        Dump32(Lines, Name + "Offset", Indices[I].Offset);
        Dump32(Lines, Name + "PacketCount", Indices[I].PacketCount);
    }
}

// --- the file ---------------------------------------------------------------

TRMFile::TRMFile() : OnWarning(tKept ? *tKept : DefaultWarning()) {}

TRMFile::~TRMFile()
{
    if (Stream) Clear();
}

void TRMFile::Clear()
{
    Stream.reset();
    FileHeader.reset();
    Properties.reset();
    Content.reset();
    DataHeader.reset();
    MediaProperties.clear();
    MediaPropertiesCount = 0;
    IndexHeaders.clear();
    IndexHeaderCount = 0;
    DataStart = 0;
    DataPosition = 0;
    DataEnd = 0;
}

void TRMFile::Warn(const std::string& Text, const std::string& Caption) const
{
    if (OnWarning) OnWarning(Text, Caption);
}

void TRMFile::ReadFromFile(const std::string& Name)
{
    if (Name.empty()) return;
    struct stat St {};
    if (::stat(Name.c_str(), &St) != 0 || S_ISDIR(St.st_mode)) {
        Warn("找不到指定文件", "文件没找到");
        return;
    }
    if (Stream) Clear();
    // Opened for reading only: a read-only file is read like any other.
    auto Source = std::make_unique<TByteSource>(Name);
    if (!Source->IsOpen()) throw EFOpenError(Name);
    Stream = std::move(Source);
    FileName = Name;
    Walk();
}

void TRMFile::ReadFromBytes(const uint8_t* Data, size_t Size)
{
    if (Stream) Clear();
    Stream = std::make_unique<TByteSource>(Data, Size);
    Walk();
}

void TRMFile::Walk()
{
    // Positions are 32-bit: a size that would carry the walk past 4 GiB ends
    // it, so the walk never goes backwards and never repeats.
    const uint64_t FileSize = Stream->Size();
    uint64_t Position = 0;
    while (Position < FileSize) {
        // A header cut short by the end of the file is the end of the file,
        // not a chunk whose missing bytes would read as an unknown id.
        uint8_t HeaderBytes[10] = {};
        if (FileSize - Position < sizeof HeaderBytes || !Stream->ReadAt(Position, HeaderBytes, sizeof HeaderBytes))
            break;
        TByteReader HeaderReader(HeaderBytes, sizeof HeaderBytes);
        TRMGenericHeader Header;
        Header.LoadFromStream(HeaderReader);
        const std::string ID(Header.ObjectID, 4);

        // The body is the chunk's data after its header; a chunk of size 0
        // has no known end and is read on to the end of the file.
        const uint64_t BodyStart = Position + sizeof HeaderBytes;
        uint64_t BodyLimit = Header.Size >= 10 ? Header.Size - 10 : (Header.Size == 0 ? UINT64_MAX : 0);
        if (ID == ".RMF") BodyLimit = std::min(BodyLimit, FileHeaderBody);
        else if (ID == "PROP") BodyLimit = std::min(BodyLimit, PropertiesBody);
        else if (ID == "DATA") BodyLimit = std::min(BodyLimit, DataHeaderBody);
        else if (ID == "CONT") BodyLimit = std::min(BodyLimit, ContentBody);
        else BodyLimit = std::min(BodyLimit, MaxChunkBody);
        const size_t BodySize = size_t(std::min(BodyLimit, FileSize - BodyStart));
        auto LoadBody = [&](TRMPacket& Record) {
            std::vector<uint8_t> Body(BodySize);
            if (!Stream->ReadAt(BodyStart, Body.data(), Body.size())) Body.clear();
            TByteReader R(Body);
            Record.LoadFromStream(R);
        };

        if (ID == ".RMF") {
            FileHeader = std::make_unique<TRMFileHeader>(Header);
            LoadBody(*FileHeader);
        } else if (ID == "PROP") {
            Properties = std::make_unique<TProperties>(Header);
            LoadBody(*Properties);
        } else if (ID == "CONT") {
            Content = std::make_unique<TContent>(Header);
            LoadBody(*Content);
        } else if (ID == "DATA") {
            DataHeader = std::make_unique<TDataHeader>(Header);
            LoadBody(*DataHeader);
            DataStart = uint32_t(Position + 18);
            DataPosition = DataStart;
            DataEnd = uint32_t(Position + Header.Size);
        } else if (ID == "MDPR") {
            ++MediaPropertiesCount;
            MediaProperties.push_back(std::make_unique<TMediaProperties>(Header));
            LoadBody(*MediaProperties.back());
        } else if (ID == "INDX") {
            ++IndexHeaderCount;
            IndexHeaders.push_back(std::make_unique<TIndexHeader>(Header));
            LoadBody(*IndexHeaders.back());
        } else {
            const std::string Text = "在文件" + std::to_string(Position) + "位置，找到未知的标记头标识：" +
                                     SingleByteToUtf8(CText(ID));
            Warn(Text, "未知的文件格式");
            break;
        }

        if (Header.Size == 0) break;
        const uint64_t Next = Position + Header.Size;
        if (Next > UINT32_MAX) break;
        Position = Next;
    }
}

} // namespace tags
