#include "finder/core/FileBytes.h"

#include <cerrno>

#include <sys/stat.h>

#include "finder/core/MatchingUnit.h"
#include "platform/FileTime.h"
#include "platform/PathAt.h"

namespace finder::bytes {

int OpenRegular(int DirFd, const std::string& Name, uint64_t& Size, const TFileId& Id)
{
    constexpr int Flags = O_RDONLY | O_NONBLOCK;
    const int Fd = DirFd >= 0 ? ::openat(DirFd, Name.c_str(), Flags | O_NOFOLLOW | O_CLOEXEC)
                              : plat::OpenFileNoFollow(Name, Flags);
    if (Fd < 0) return -1;
    // The one status call after the open proves it is the file the walk saw,
    // unchanged since.
    struct stat St;
    const bool Same = ::fstat(Fd, &St) == 0 && S_ISREG(St.st_mode) &&
                      (Id.Inode == 0 || (St.st_ino == Id.Inode &&
                                         plat::PackDevice(plat::DeviceId(St.st_dev)) == Id.Device)) &&
                      (Id.Size == UnknownSize || uint64_t(St.st_size) == Id.Size) &&
                      (Id.WriteTime == 0 || plat::TimespecToFileTime(St.st_mtim) == Id.WriteTime);
    if (!Same) {
        ::close(Fd);
        return -1;
    }
    Size = uint64_t(St.st_size);
    return Fd;
}

int TLazyFile::Fd()
{
    if (!FTried) {
        FTried = true;
        if (FOpen && *FOpen) FFd = (*FOpen)(FPath);
        else if (FDirFd >= 0) FFd = OpenRegular(FDirFd, FPath.substr(FNameAt), FSize, FId);
        else FFd = OpenRegular(-1, FPath, FSize, FId);
    }
    return FFd;
}

ssize_t ReadAt(int Fd, unsigned char* Buf, size_t Size, uint64_t Offset, uint64_t End)
{
    size_t Done = 0;
    while (Done < Size) {
        const ssize_t N = ::pread(Fd, Buf + Done, Size - Done, off_t(Offset + Done));
        if (N < 0 && errno == EINTR) continue;
        if (N < 0) return -1;
        if (N == 0) break;
        Done += size_t(N);
        if (Offset + Done >= End) break;
    }
    return ssize_t(Done);
}

void Advise(TLazyFile& F, int Advice)
{
    // A file that ends within the first block gains nothing from advice on
    // read-ahead: the one read takes all of it.
    if (F.Size() > HeadBytes && F.Size() != UnknownSize) ::posix_fadvise(F.Fd(), 0, 0, Advice);
}

TCompareResult CompareFds(TLazyFile& A, TLazyFile& B, const TPass& Pass, TBuffers& Buf, uint32_t* HeadA,
                          uint32_t* HeadB, bool* HeadsRead)
{
    const int FA = A.Fd();
    if (FA < 0) return TCompareResult::FirstUnreadable;
    const int FB = B.Fd();
    if (FB < 0) return TCompareResult::SecondUnreadable;
    // A first small block settles most different files cheaply; until it
    // does, nothing beyond it is read from disk.
    Advise(A, POSIX_FADV_RANDOM);
    Advise(B, POSIX_FADV_RANDOM);
    size_t Block = HeadBytes;
    for (uint64_t Offset = 0;; Offset += Block, Block = Buf.Bytes) {
        if (Pass && !Pass()) return TCompareResult::Stopped;
        const ssize_t NA = ReadAt(FA, Buf.A.get(), Block, Offset, A.Size());
        if (NA < 0) return TCompareResult::FirstUnreadable;
        const ssize_t NB = ReadAt(FB, Buf.B.get(), Block, Offset, B.Size());
        if (NB < 0) return TCompareResult::SecondUnreadable;
        if (Offset == 0 && HeadsRead) {
            *HeadA = ~UpdateChecksum(0xFFFFFFFFu, Buf.A.get(), size_t(NA));
            *HeadB = ~UpdateChecksum(0xFFFFFFFFu, Buf.B.get(), size_t(NB));
            *HeadsRead = true;
        }
        if (NA != NB || std::memcmp(Buf.A.get(), Buf.B.get(), size_t(NA)) != 0) return TCompareResult::Different;
        if (size_t(NA) < Block) return TCompareResult::Equal;
        if (Offset == 0) {
            // Equal so far: now the rest is wanted, and read-ahead helps.
            Advise(A, POSIX_FADV_SEQUENTIAL);
            Advise(B, POSIX_FADV_SEQUENTIAL);
        }
    }
}

bool ChecksumFd(TLazyFile& F, size_t Limit, uint32_t& Checksum, const TPass& Pass, unsigned char* Buf,
                size_t BufBytes)
{
    const int Fd = F.Fd();
    if (Fd < 0) return false;
    // Only the first block is wanted: no read-ahead of the rest from disk.
    if (Limit <= HeadBytes) Advise(F, POSIX_FADV_RANDOM);
    uint32_t C = 0xFFFFFFFFu;
    uint64_t Offset = 0;
    // Up to the size the file had when opened: no read is spent on learning
    // that the end was reached. A checksum only ever rules a match out.
    Limit = size_t(std::min<uint64_t>(Limit, F.Size()));
    while (Offset < Limit) {
        if (Pass && !Pass()) return false;
        const ssize_t N = ReadAt(Fd, Buf, size_t(std::min<uint64_t>(Limit - Offset, BufBytes)), Offset, F.Size());
        if (N < 0) return false;
        if (N == 0) break;
        C = UpdateChecksum(C, Buf, size_t(N));
        Offset += uint64_t(N);
    }
    Checksum = ~C;
    return true;
}

} // namespace finder::bytes
