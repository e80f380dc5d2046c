#include "platform/DirectoryReader.h"

#include "platform/FileTime.h"
#include "platform/MountTable.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace plat {

namespace {

std::string StripSlashes(const std::string& Folder) {
    std::string F = Folder;
    while (F.size() > 1 && F.back() == '/') F.pop_back();
    return F;
}

std::string BaseName(const std::string& Path) {
    std::string P = StripSlashes(Path);
    size_t Slash = P.rfind('/');
    return Slash == std::string::npos || P == "/" ? P : P.substr(Slash + 1);
}

// Fills the record from statx; false for links, sockets, FIFOs and devices.
bool FillRecord(int DirFd, const char* Name, const std::string& ShownName, TWin32FindData& Data,
                unsigned Flags = AT_SYMLINK_NOFOLLOW) {
    struct statx X;
    if (statx(DirFd, Name, Flags | AT_NO_AUTOMOUNT, STATX_BASIC_STATS | STATX_BTIME, &X) != 0) return false;
    const bool Dir = S_ISDIR(X.stx_mode);
    if (!Dir && !S_ISREG(X.stx_mode)) return false;

    Data = TWin32FindData{};
    Data.cFileName = ShownName;
    Data.dwFileAttributes = Dir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (!(X.stx_mode & S_IWUSR)) Data.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
    if (!ShownName.empty() && ShownName[0] == '.' && ShownName != "." && ShownName != "..")
        Data.dwFileAttributes |= FILE_ATTRIBUTE_HIDDEN;

    timespec Write{X.stx_mtime.tv_sec, long(X.stx_mtime.tv_nsec)};
    // Birth time where the file system keeps it, else the status change. Some
    // file systems (overlays) report a zero birth time: that is not recorded.
    const bool HasBirth = (X.stx_mask & STATX_BTIME) && (X.stx_btime.tv_sec != 0 || X.stx_btime.tv_nsec != 0);
    const auto& B = HasBirth ? X.stx_btime : X.stx_ctime;
    timespec Create{B.tv_sec, long(B.tv_nsec)};
    Data.ftLastWriteTime = TimespecToFileTime(Write);
    Data.ftCreationTime = TimespecToFileTime(Create);
    // Sizes stay 64-bit: a 4 GiB file must not read as empty.
    const uint64_t Size = Dir ? 0 : uint64_t(X.stx_size);
    Data.nFileSizeHigh = uint32_t(Size >> 32);
    Data.nFileSizeLow = uint32_t(Size);
    Data.Device = DeviceId(X.stx_dev_major, X.stx_dev_minor);
    Data.Inode = X.stx_ino;
    Data.ChangeTime = TimespecToFileTime(timespec{X.stx_ctime.tv_sec, long(X.stx_ctime.tv_nsec)});
    Data.Links = X.stx_nlink;
    return true;
}

} // namespace

// A sub-folder on another device is a mount point; pseudo, network and RAM
// file systems there are marked system so that nothing enters them.
void MarkMountPoint(const std::string& Folder, uint64_t FolderDevice, TWin32FindData& Data) {
    if (!Data.IsDirectory() || Data.Device == FolderDevice) return;
    // The walk's own path when it is absolute (no link lies on it); a
    // relative one is made absolute. With or without its trailing "/", it
    // must be spelt as the mount table spells it.
    char Buf[PATH_MAX];
    std::string Path = !Folder.empty() && Folder[0] == '/' ? StripSlashes(Folder)
                       : realpath(Folder.c_str(), Buf) ? Buf : "";
    if (Path.empty()) return;
    if (Path != "/") Path += "/";
    Path += Data.cFileName;
    const auto Mounts = CurrentMountTable().Mounts();
    const TMountEntry* M = FindMount(Mounts, Path);
    if (M && M->Kind == TMountKind::Hidden) Data.dwFileAttributes |= FILE_ATTRIBUTE_SYSTEM;
}

bool ReadEntryRecord(int DirFd, const std::string& Name, TWin32FindData& Data) {
    return FillRecord(DirFd, Name.c_str(), Name, Data);
}

void NameOnlyRecord(std::string_view Name, uint64_t FolderDevice, uint64_t Inode, TWin32FindData& Data) {
    Data.cFileName.assign(Name);
    Data.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
    if (!Name.empty() && Name[0] == '.') Data.dwFileAttributes |= FILE_ATTRIBUTE_HIDDEN;
    Data.ftCreationTime = Data.ftLastWriteTime = Data.ChangeTime = 0;
    Data.nFileSizeHigh = Data.nFileSizeLow = 0;
    Data.Device = FolderDevice;
    Data.Inode = Inode;
    Data.Links = 1;
    Data.Stated = false;
}

bool StatNameOnly(int DirFd, TWin32FindData& Data) {
    if (Data.Stated) return true;
    if (DirFd < 0) return false;
    const std::string Name = Data.cFileName;
    return FillRecord(DirFd, Name.c_str(), Name, Data) && !Data.IsDirectory();
}

TDirectoryReader::~TDirectoryReader() { Close(); }

bool TDirectoryReader::FindFirst(const std::string& Folder, TWin32FindData& Data) {
    Close();
    FFolder = StripSlashes(Folder);
    if (FFolder.empty()) return false;
    // No component of the folder's path is a link, the folder itself included.
    FFd.Reset(OpenFolderNoFollow(FFolder, O_RDONLY));
    return Opened(Data);
}

bool TDirectoryReader::FindFirstAt(int ParentFd, const std::string& Name, const std::string& Folder,
                                   TWin32FindData& Data) {
    Close();
    FFolder = StripSlashes(Folder);
    FFd.Reset(::openat(ParentFd, Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return Opened(Data);
}

bool TDirectoryReader::Opened(TWin32FindData& Data) {
    if (!FFd.Valid() || !FillRecord(FFd.Get(), ".", ".", Data)) {
        Close();
        return false;
    }
    FFolderDevice = Data.Device;
    FDotsLeft = 1;
    FIndex = 0;
    return true;
}

bool TDirectoryReader::FindNext(TWin32FindData& Data) {
    if (!FFd.Valid()) return false;
    const int Fd = FFd.Get();
    if (FDotsLeft > 0) {
        FDotsLeft = 0;
        FIndex = 1;
        if (FillRecord(Fd, "..", "..", Data)) return true;
    }
    if (!FListed) {
        // The whole folder is read at once, so that it can come sorted.
        FListed = true;
        if (!ReadFolderNames(Fd, FNames)) return false;
    }
    while (FNext < FNames.Entries.size()) {
        const TNameEntry& E = FNames.Entries[FNext++];
        if (E.Type != DT_UNKNOWN && E.Type != DT_REG && E.Type != DT_DIR) continue;
        FIndex = uint32_t(FNext + 1);
        const std::string_view Name = FNames.Name(E);
        if (FDeferFiles && E.Type == DT_REG) {
            NameOnlyRecord(Name, FFolderDevice, E.Inode, Data);
            return true;
        }
        const std::string Owned(Name);
        if (!FillRecord(Fd, Owned.c_str(), Owned, Data)) continue;
        MarkMountPoint(FFolder, FFolderDevice, Data);
        return true;
    }
    return false;
}

bool TDirectoryReader::StatDeferred(TWin32FindData& Data) const {
    return StatNameOnly(FFd.Get(), Data);
}

void TDirectoryReader::Close() {
    FFd.Reset();
    FDotsLeft = 0;
    FListed = false;
    FNext = 0;
    FNames.Entries.clear();
    FNames.Text.clear();
}

bool StatEntry(const std::string& Path, TWin32FindData& Data) {
    const std::string P = StripSlashes(Path);
    if (P.empty()) return false;
    if (P.size() < PATH_MAX) return FillRecord(AT_FDCWD, P.c_str(), BaseName(P), Data);
    // Too long for one lookup: its folder is opened step by step.
    std::string Name;
    TFd Dir(OpenParentNoFollow(P, Name));
    return Dir.Valid() && FillRecord(Dir.Get(), Name.c_str(), Name, Data);
}

} // namespace plat
