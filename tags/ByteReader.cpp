#include "tags/ByteReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tags {

namespace {

// Only regular files are read: a FIFO would block the scan and a device could
// be endless. O_NONBLOCK keeps the open itself from waiting on a FIFO.
int OpenRegular(const std::string& Path, uint64_t& Size)
{
    int Fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (Fd < 0) return -1;
    struct stat St {};
    if (::fstat(Fd, &St) != 0 || !S_ISREG(St.st_mode) || St.st_size < 0) {
        ::close(Fd);
        return -1;
    }
    Size = uint64_t(St.st_size);
    return Fd;
}

bool PreadAll(int Fd, uint64_t Offset, uint8_t* Out, size_t Count)
{
    while (Count > 0) {
        ssize_t Got = ::pread(Fd, Out, Count, off_t(Offset));
        if (Got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (Got == 0) return false; // the file shrank under us
        Out += Got;
        Offset += uint64_t(Got);
        Count -= size_t(Got);
    }
    return true;
}

} // namespace

TByteSource::TByteSource(const std::string& Path)
{
    FFile = OpenRegular(Path, FSize);
    FOpen = FFile >= 0;
}

TByteSource::~TByteSource()
{
    if (FFile >= 0) ::close(FFile);
}

bool TByteSource::ReadAt(uint64_t Offset, void* Out, size_t Count)
{
    if (!FOpen || Offset > FSize || Count > FSize - Offset) return false;
    if (Count == 0) return true;
    if (FFile < 0) {
        std::memcpy(Out, FData + Offset, Count);
        return true;
    }
    return PreadAll(FFile, Offset, static_cast<uint8_t*>(Out), Count);
}

bool ReadFileBytes(const std::string& Path, uint64_t Offset, size_t Limit, std::vector<uint8_t>& Out)
{
    Out.clear();
    TByteSource Source(Path);
    if (!Source.IsOpen()) return false;
    if (Offset >= Source.Size()) return true;
    size_t Count = size_t(std::min<uint64_t>(Limit, Source.Size() - Offset));
    Out.resize(Count);
    if (!Source.ReadAt(Offset, Out.data(), Count)) {
        Out.clear();
        return false;
    }
    return true;
}

int64_t FileSizeOf(const std::string& Path)
{
    uint64_t Size = 0;
    int Fd = OpenRegular(Path, Size);
    if (Fd < 0) return -1;
    ::close(Fd);
    return int64_t(Size);
}

} // namespace tags
