#pragma once
// Paths walked by descriptors: every folder is opened from its parent's
// descriptor with O_NOFOLLOW | O_DIRECTORY, and entries are looked at,
// renamed and removed on the descriptor of the folder that holds them. No
// symbolic link is followed on the way, a folder swapped for a link while a
// walk goes on is not entered, and paths longer than PATH_MAX work. The
// walk, the deletion and the shredder share these.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

namespace plat {

// A descriptor, closed with the object.
class TFd {
public:
    explicit TFd(int Fd = -1) : FFd(Fd) {}
    ~TFd() { Reset(); }
    TFd(TFd&& O) noexcept : FFd(O.Release()) {}
    TFd& operator=(TFd&& O) noexcept
    {
        if (this != &O) Reset(O.Release());
        return *this;
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    int Release()
    {
        const int F = FFd;
        FFd = -1;
        return F;
    }
    void Reset(int Fd = -1);

private:
    int FFd;
};

// A walk keeps one descriptor per folder level open: the soft limit of open
// files is raised to the hard one.
void RaiseOpenFileLimit();

// Opens the folder Path one component at a time, from "/" for an absolute
// path and from the current folder otherwise, never through a symbolic link.
// Flags: O_PATH (enough to look at, open, rename and remove entries) or
// O_RDONLY (to list it). -1 with errno set when it cannot be opened.
int OpenFolderNoFollow(const std::string& Path, int Flags = O_PATH);
// The folder that holds Path, opened as above; Name gets Path's last
// component. -1 for a path without one ("/", "").
int OpenParentNoFollow(const std::string& Path, std::string& Name);
// A file by path, the last component never a link. A path within PATH_MAX
// takes the kernel's one lookup; a longer one is opened folder by folder.
int OpenFileNoFollow(const std::string& Path, int Flags);

// statx of the entry Name of the folder Fd, never following a link.
bool StatAt(int Fd, const char* Name, struct statx& X, unsigned Mask = STATX_BASIC_STATS);

// A device number as the directory reader gives it (major << 32 | minor)
// and as the scan's records keep it (major << 20 | minor, the kernel's own
// 32-bit form).
inline uint64_t DeviceId(uint32_t Major, uint32_t Minor) { return (uint64_t(Major) << 32) | Minor; }
uint64_t DeviceId(dev_t Dev);
inline uint32_t PackDevice(uint64_t Id) { return (uint32_t(Id >> 32) << 20) | (uint32_t(Id) & 0xFFFFF); }

// One entry of a folder as its listing gives it.
struct TNameEntry {
    uint32_t Offset = 0;  // of the name in the listing's text
    uint16_t Length = 0;
    uint8_t Type = 0;     // DT_REG, DT_DIR, ... or DT_UNKNOWN
    uint64_t Inode = 0;
};

struct TFolderNames {
    std::string Text;    // every name, one after the other
    std::string Folded;  // the same with ASCII letters as capitals, for sorting
    std::vector<TNameEntry> Entries;
    std::string_view Name(const TNameEntry& E) const { return {Text.data() + E.Offset, E.Length}; }
};

// Every entry of the open folder Fd but "." and "..", in the order of
// FolderOrderLess. False when it cannot be read.
bool ReadFolderNames(int Fd, TFolderNames& Names);
// A seam for tests: with On, ReadFolderNames gives every entry's kind as
// DT_UNKNOWN, as file systems that keep no kinds in their folders do.
void ListKindsAsUnknown(bool On);

// The order folders are listed in: ASCII letters compared without case (as
// capitals), other bytes as they are, and names equal so far bytewise.
bool FolderOrderLess(std::string_view A, std::string_view B);

} // namespace plat
