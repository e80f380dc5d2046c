#include "tags/RealMediaFile.h"

#include <algorithm>
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

} // namespace

std::string CText(const std::string& Bytes)
{
    return Bytes.substr(0, Bytes.find('\0'));
}

void SetRMWarningHandler(TRMWarning Handler)
{
    DefaultWarning() = std::move(Handler);
}

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

uint32_t TDataHeader::LoadFromStream(TByteReader& R)
{
    NumInterleavePackets = R.U32BE();
    NextDataHeader = R.U32BE();
    return Size;
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

// --- the file ---------------------------------------------------------------

TRMFile::TRMFile() : OnWarning(DefaultWarning()) {}

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
        uint8_t HeaderBytes[10] = {};
        const size_t HeaderHave = size_t(std::min<uint64_t>(10, FileSize - Position));
        if (!Stream->ReadAt(Position, HeaderBytes, HeaderHave)) break;
        TByteReader HeaderReader(HeaderBytes, sizeof HeaderBytes);
        TRMGenericHeader Header;
        Header.LoadFromStream(HeaderReader);
        const std::string ID(Header.ObjectID, 4);

        // The body is the chunk's data after its header; a chunk of size 0
        // has no known end and is read on to the end of the file.
        const uint64_t BodyStart = Position + HeaderHave;
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
