#pragma once
// Reading the bytes of the files a scan compares: opening exactly the file
// the walk saw, and comparing or checksumming block by block. Shared by the
// matcher and the workers that read ahead of it; Pass is called before each
// block and ends the read when it returns false (a stop).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace finder {

enum class TCompareResult;
uint32_t UpdateChecksum(uint32_t Checksum, const unsigned char* Data, size_t Size);

namespace bytes {

constexpr size_t HeadBytes = 4096;
constexpr size_t BlockBytes = 256 * 1024;
constexpr uint64_t UnknownSize = UINT64_MAX;

// The file a walk saw: an open that reaches another file (the name was
// given to another file, a folder on the way was swapped for a link) or a
// file changed since (another size or write time) reads nothing. Zero
// fields are not known and not checked.
struct TFileId {
    uint32_t Device = 0;  // plat::PackDevice
    uint64_t Inode = 0;
    uint64_t Size = UnknownSize;
    uint64_t WriteTime = 0;  // file time
};

// Opens a regular file for reading: the name Name of the open folder DirFd,
// or the path Name when DirFd is -1. Never follows a link and never blocks
// on a FIFO that took a file's place after the walk. Size is its size then.
int OpenRegular(int DirFd, const std::string& Name, uint64_t& Size, const TFileId& Id);

using TOpener = std::function<int(const std::string&)>;

// A file opened on first use and closed at the end of the scope; through
// the opener when one is given (a test's seam, by full path).
class TLazyFile {
public:
    TLazyFile(const TOpener* Open, std::string Path, TFileId Id = {}, int DirFd = -1, size_t NameAt = 0)
        : FOpen(Open), FPath(std::move(Path)), FId(Id), FDirFd(DirFd), FNameAt(NameAt) {}
    ~TLazyFile()
    {
        if (FFd >= 0) ::close(FFd);
    }
    TLazyFile(const TLazyFile&) = delete;
    TLazyFile& operator=(const TLazyFile&) = delete;
    int Fd();
    // The size when the file was opened; UnknownSize through a test's opener.
    uint64_t Size()
    {
        Fd();
        return FSize;
    }

private:
    const TOpener* FOpen;
    std::string FPath;
    TFileId FId;
    int FDirFd;
    size_t FNameAt;
    int FFd = -1;
    uint64_t FSize = UnknownSize;
    bool FTried = false;
};

struct TBuffers {
    std::unique_ptr<unsigned char[]> A{new unsigned char[BlockBytes]};
    std::unique_ptr<unsigned char[]> B{new unsigned char[BlockBytes]};
    size_t Bytes = BlockBytes;  // of each
};

// Reads up to Size bytes at Offset (fewer only at the end); -1 on an error.
// Reading stops at End, the file's size when opened.
ssize_t ReadAt(int Fd, unsigned char* Buf, size_t Size, uint64_t Offset, uint64_t End = UnknownSize);

// Advice on read-ahead, for files beyond the first block only.
void Advise(TLazyFile& F, int Advice);

using TPass = std::function<bool()>;

// Byte comparison; with HeadA/HeadB also the checksums of the first blocks
// when both were read.
TCompareResult CompareFds(TLazyFile& A, TLazyFile& B, const TPass& Pass, TBuffers& Buf, uint32_t* HeadA = nullptr,
                          uint32_t* HeadB = nullptr, bool* HeadsRead = nullptr);

// CRC-32 of the first Limit bytes (the whole file with SIZE_MAX); false when
// it cannot be read or Pass stopped it.
bool ChecksumFd(TLazyFile& F, size_t Limit, uint32_t& Checksum, const TPass& Pass, unsigned char* Buf,
                size_t BufBytes = BlockBytes);

} // namespace bytes
} // namespace finder
