#pragma once
// The header chunks of a RealMedia file, one record object per chunk. The
// file is opened for reading and never written; each record can also write
// itself back into a byte stream, in the layout it was read from.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tags {

class TByteReader;
class TByteSource;

// Texts are kept as the bytes read; a user sees them up to the first zero byte.
std::string CText(const std::string& Bytes);

// The byte stream records are written into.
using TRMStream = std::vector<uint8_t>;
// Big-endian writers, the inverses of TByteReader::U32BE and U16BE.
void WriteBE32(TRMStream& Stream, uint32_t Value);
void WriteBE16(TRMStream& Stream, uint16_t Value);

// Every record writes each text and array at the length or count it holds,
// the part the data cut short as zeros (as the zero-filled buffers of the
// format would hold it), so that what it writes reads back the same.
class TRMPacket {
public:
    virtual ~TRMPacket() = default;
    // Reads the body fields from R, which holds no more than the chunk's data.
    virtual uint32_t LoadFromStream(TByteReader& R) = 0;
    // Appends the record as a file holds it, after CalcSize.
    virtual void SaveToStream(TRMStream& Stream) = 0;
    // Recomputes the record's size in bytes (a chunk's Size, a type-specific
    // block's Len) and returns it.
    virtual uint32_t CalcSize() = 0;
    // Adds one "Name=value" line per field.
    virtual void Dump(std::vector<std::string>& Lines) const = 0;
};

class TSpecificData : public TRMPacket {
public:
    explicit TSpecificData(uint32_t Length) : Len(Length) {}
    uint32_t Len;
    std::vector<uint8_t> Data; // the raw bytes, as many of Len as the chunk holds
    uint32_t LoadFromStream(TByteReader& R) override;
    void SaveToStream(TRMStream& Stream) override; // Block(), Len its size
    uint32_t CalcSize() override;
    void Dump(std::vector<std::string>& Lines) const override;

protected:
    // The block as a file holds it: the raw bytes, or the fields of a known
    // type followed by the bytes after them.
    virtual TRMStream Block() const;
    void KeepTail(TRMStream& Fields) const;
};

class TAudioTypeSpecificData : public TSpecificData {
public:
    using TSpecificData::TSpecificData;
    uint32_t TheID = 0;
    uint16_t AudioSpecificVersion = 0, AudioSpecificRevision = 0;
    uint32_t RaID = 0, RaChunkSize = 0;
    uint16_t Version = 0, Revision = 0, HeaderBytesTotal = 0, CompressionType = 0;
    uint32_t Granularity = 0, BytesTotal = 0, BytesPerMinute = 0, BytesPerMinute2 = 0;
    uint16_t InterleaveFactor = 0, InterleaveBlockSize = 0;
    uint32_t UserData = 0, SampleRate = 0;
    uint16_t SampleSize = 0, NumChannels = 0;
    std::string InterleaveCode, CompressionCode; // 5 bytes each, the length byte included
    uint8_t IsInterleaved = 0, CopyByte = 0, StreamType = 0;
    uint8_t TitleLen = 0, AuthorLen = 0, CopyrightLen = 0, AppLen = 0;
    std::string Title, Author, Copyright, App;
    uint32_t LoadFromStream(TByteReader& R) override;
    void Dump(std::vector<std::string>& Lines) const override;

protected:
    TRMStream Block() const override; // the fields as the block holds them
};

class TVideoTypeSpecificData : public TSpecificData {
public:
    using TSpecificData::TSpecificData;
    uint32_t CbLength = 0;
    char Moftag[4] = {}, Submoftag[4] = {};
    uint16_t UiWidth = 0, UiHeight = 0, UiBitCount = 0, UiPadWidth = 0, UiPadHeight = 0;
    uint32_t FramesPerSecond = 0, UlSPOExtra = 0, UlStreamVersion = 0;
    uint32_t LoadFromStream(TByteReader& R) override;
    void Dump(std::vector<std::string>& Lines) const override;

protected:
    TRMStream Block() const override;
};

class TNameValueProperty : public TRMPacket {
public:
    uint32_t Size = 0;
    uint16_t ObjectVersion = 0;
    uint8_t NameLength = 0;
    std::string Name;
    uint32_t Type = 0;
    uint16_t ValueLength = 0;
    std::string ValueData;
    uint32_t LoadFromStream(TByteReader& R) override;
    void SaveToStream(TRMStream& Stream) override;
    uint32_t CalcSize() override;
    void Dump(std::vector<std::string>& Lines) const override;
};

class TLogicalStream : public TSpecificData {
public:
    using TSpecificData::TSpecificData;
    uint32_t Size = 0;
    uint16_t ObjectVersion = 0;
    uint16_t NumPhysicalStreams = 0;
    std::vector<uint16_t> PhysicalStreamNumbers;
    std::vector<uint32_t> DataOffsets;
    uint16_t NumRules = 0;
    std::vector<uint16_t> RuleToPhysicalStreamNumberMap;
    uint16_t NumProperties = 0;
    std::vector<std::unique_ptr<TNameValueProperty>> Properties;
    uint32_t NumPropertiesReal = 0; // property objects made
    // Reads straight on from the media header, whatever Len says.
    uint32_t LoadFromStream(TByteReader& R) override;
    void SaveToStream(TRMStream& Stream) override;
    uint32_t CalcSize() override;
    void Dump(std::vector<std::string>& Lines) const override;
};

class TRMGenericHeader : public TRMPacket {
public:
    char ObjectID[4] = {};
    uint32_t Size = 0;
    uint16_t ObjectVersion = 0;
    uint32_t LoadFromStream(TByteReader& R) override; // the 10 header bytes
    // A bare header: its 10 bytes.
    void SaveToStream(TRMStream& Stream) override;
    uint32_t CalcSize() override;
    void Dump(std::vector<std::string>& Lines) const override;
    virtual std::unique_ptr<TRMGenericHeader> Clone() const;

protected:
    void CopyHeader(const TRMGenericHeader& From);
    void SaveHeader(TRMStream& Stream) const;
};

class TRMFileHeader : public TRMGenericHeader {
public:
    explicit TRMFileHeader(const TRMGenericHeader& H) { CopyHeader(H); }
    uint32_t FileVersion = 0, NumHeaders = 0;
    uint32_t LoadFromStream(TByteReader& R) override;
    void SaveToStream(TRMStream& Stream) override;
    uint32_t CalcSize() override;
    void Dump(std::vector<std::string>& Lines) const override;
};

class TProperties : public TRMGenericHeader {
public:
    explicit TProperties(const TRMGenericHeader& H) { CopyHeader(H); }
    uint32_t MaxBitRate = 0, AvgBitRate = 0, MaxPacketSize = 0, AvgPacketSize = 0, NumInterleavePackets = 0,
             Duration = 0, Preroll = 0, IndexOffset = 0, DataOffset = 0;
    uint16_t NumStreams = 0, Flags = 0;
    uint32_t LoadFromStream(TByteReader& R) override;
    void SaveToStream(TRMStream& Stream) override;
    uint32_t CalcSize() override;
    void Dump(std::vector<std::string>& Lines) const override;
};

class TMediaProperties : public TRMGenericHeader {
public:
    explicit TMediaProperties(const TRMGenericHeader& H) { CopyHeader(H); }
    uint16_t StreamNumber = 0;
    uint32_t MaxBitRate = 0, AvgBitRate = 0, MaxPacketSize = 0, AvgPacketSize = 0, StartTime = 0, Preroll = 0,
             Duration = 0;
    uint8_t StreamNameSize = 0;
    std::string StreamName;
    uint8_t MIMETypeSize = 0;
    std::string MIMEType;
    uint32_t TypeSpecificLen = 0;
    std::unique_ptr<TSpecificData> TypeSpecificData; // owned
    uint32_t LoadFromStream(TByteReader& R) override;
    void SaveToStream(TRMStream& Stream) override;
    uint32_t CalcSize() override;
    void Dump(std::vector<std::string>& Lines) const override;
};

class TContent : public TRMGenericHeader {
public:
    explicit TContent(const TRMGenericHeader& H) { CopyHeader(H); }
    uint16_t TitleLen = 0, AuthorLen = 0, CopyrightLen = 0, CommentLen = 0;
    std::string Title, Author, Copyright, Comment;
    uint32_t LoadFromStream(TByteReader& R) override;
    void SaveToStream(TRMStream& Stream) override;
    uint32_t CalcSize() override;
    void Dump(std::vector<std::string>& Lines) const override;
};

class TDataHeader : public TRMGenericHeader {
public:
    explicit TDataHeader(const TRMGenericHeader& H) { CopyHeader(H); }
    uint32_t NumInterleavePackets = 0, NextDataHeader = 0;
    uint32_t LoadFromStream(TByteReader& R) override;
    void SaveToStream(TRMStream& Stream) override;
    uint32_t CalcSize() override;
    void Dump(std::vector<std::string>& Lines) const override;
};

struct TIndexRecord {
    uint16_t ObjectVersion = 0;
    uint32_t Timestamp = 0, Offset = 0, PacketCount = 0;
};

class TIndexHeader : public TRMGenericHeader {
public:
    explicit TIndexHeader(const TRMGenericHeader& H) { CopyHeader(H); }
    uint32_t NumIndices = 0;
    uint16_t StreamNumber = 0;
    uint32_t NextIndexHeader = 0;
    std::vector<TIndexRecord> Indices; // as many of NumIndices as the chunk holds
    uint32_t LoadFromStream(TByteReader& R) override;
    void SaveToStream(TRMStream& Stream) override;
    uint32_t CalcSize() override;
    void Dump(std::vector<std::string>& Lines) const override;
};

// A warning for the user: Text and Caption in UTF-8.
using TRMWarning = std::function<void(const std::string& Text, const std::string& Caption)>;

// The warning every new TRMFile starts with; the window sets it to show a
// message box. Empty: warnings are dropped.
void SetRMWarningHandler(TRMWarning Handler);
// Tells a warning through that handler.
void ShowRMWarning(const std::string& Text, const std::string& Caption);

// While one lives, the readers made on its thread keep their warnings in
// Into (text, caption) instead: a reader running on a worker thread must
// not show a window; the thread that owns the windows shows them later.
class TRMWarningsKept {
public:
    explicit TRMWarningsKept(std::vector<std::pair<std::string, std::string>>& Into);
    ~TRMWarningsKept();
    TRMWarningsKept(const TRMWarningsKept&) = delete;
    TRMWarningsKept& operator=(const TRMWarningsKept&) = delete;

private:
    TRMWarning* FOuter;
    TRMWarning FKeep;
};

class TRMFile {
public:
    std::string FileName;                  // the path last read
    std::unique_ptr<TByteSource> Stream;   // the open file, kept until Clear
    std::unique_ptr<TRMFileHeader> FileHeader;
    std::unique_ptr<TProperties> Properties;
    std::vector<std::unique_ptr<TMediaProperties>> MediaProperties;
    std::unique_ptr<TContent> Content;
    std::unique_ptr<TDataHeader> DataHeader;
    std::vector<std::unique_ptr<TIndexHeader>> IndexHeaders;
    int32_t MediaPropertiesCount = 0, IndexHeaderCount = 0;
    uint32_t DataStart = 0, DataPosition = 0, DataEnd = 0;
    TRMWarning OnWarning;

    TRMFile();
    ~TRMFile();
    TRMFile(const TRMFile&) = delete;
    TRMFile& operator=(const TRMFile&) = delete;

    // Walks the file's chunks. A missing file or an unknown chunk is told
    // through OnWarning; a file that exists but cannot be opened for reading
    // raises EFOpenError.
    void ReadFromFile(const std::string& FileName);
    // The same over bytes in memory, which must outlive the reader's records.
    void ReadFromBytes(const uint8_t* Data, size_t Size);

    const TContent* GetContent() const { return Content.get(); }
    int32_t GetMediaPropertiesCount() const { return MediaPropertiesCount; }
    int32_t GetIndexHeaderCount() const { return IndexHeaderCount; }
    void Clear();

private:
    void Walk();
    void Warn(const std::string& Text, const std::string& Caption) const;
};

} // namespace tags
