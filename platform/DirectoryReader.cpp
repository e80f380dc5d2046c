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
    Data.Device = (uint64_t(X.stx_dev_major) << 32) | X.stx_dev_minor;
    Data.Inode = X.stx_ino;
    return true;
}

// A sub-folder on another device is a mount point; pseudo, network and RAM
// file systems there are marked system so that nothing enters them.
void MarkHiddenMount(const std::string& Folder, uint64_t FolderDevice, TWin32FindData& Data) {
    if (!Data.IsDirectory() || Data.Device == FolderDevice) return;
    char Buf[PATH_MAX];
    if (!realpath(Folder.c_str(), Buf)) return;
    std::string Path = Buf;
    if (Path != "/") Path += "/";
    Path += Data.cFileName;
    const auto Mounts = CurrentMountTable().Mounts();
    const TMountEntry* M = FindMount(Mounts, Path);
    if (M && M->Kind == TMountKind::Hidden) Data.dwFileAttributes |= FILE_ATTRIBUTE_SYSTEM;
}

} // namespace

TDirectoryReader::~TDirectoryReader() { Close(); }

bool TDirectoryReader::FindFirst(const std::string& Folder, TWin32FindData& Data) {
    Close();
    FFolder = StripSlashes(Folder);
    if (FFolder.empty()) return false;
    // The folder itself is never reached through a link.
    int Fd = open(FFolder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (Fd < 0) return false;
    DIR* D = fdopendir(Fd);
    if (!D) {
        close(Fd);
        return false;
    }
    FDir = D;
    if (!FillRecord(Fd, ".", ".", Data)) {
        Close();
        return false;
    }
    FFolderDevice = Data.Device;
    FDotsLeft = 1;
    return true;
}

bool TDirectoryReader::FindNext(TWin32FindData& Data) {
    if (!FDir) return false;
    DIR* D = static_cast<DIR*>(FDir);
    const int Fd = dirfd(D);
    if (FDotsLeft > 0) {
        FDotsLeft = 0;
        if (FillRecord(Fd, "..", "..", Data)) return true;
    }
    for (;;) {
        errno = 0;
        dirent* E = readdir(D);
        if (!E) return false;
        if (E->d_name[0] == '.' && (E->d_name[1] == 0 || (E->d_name[1] == '.' && E->d_name[2] == 0))) continue;
        if (E->d_type != DT_UNKNOWN && E->d_type != DT_REG && E->d_type != DT_DIR) continue;
        if (FDeferFiles && E->d_type == DT_REG) {
            Data.cFileName = E->d_name;
            Data.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
            if (E->d_name[0] == '.') Data.dwFileAttributes |= FILE_ATTRIBUTE_HIDDEN;
            Data.ftCreationTime = Data.ftLastWriteTime = 0;
            Data.nFileSizeHigh = Data.nFileSizeLow = 0;
            Data.Device = FFolderDevice;
            Data.Inode = E->d_ino;
            Data.Stated = false;
            return true;
        }
        if (!FillRecord(Fd, E->d_name, E->d_name, Data)) continue;
        MarkHiddenMount(FFolder, FFolderDevice, Data);
        return true;
    }
}

bool TDirectoryReader::StatDeferred(TWin32FindData& Data) const {
    if (Data.Stated) return true;
    if (!FDir) return false;
    const std::string Name = Data.cFileName;
    return FillRecord(dirfd(static_cast<DIR*>(FDir)), Name.c_str(), Name, Data) && !Data.IsDirectory();
}

void TDirectoryReader::Close() {
    if (FDir) closedir(static_cast<DIR*>(FDir));
    FDir = nullptr;
    FDotsLeft = 0;
}

bool StatEntry(const std::string& Path, TWin32FindData& Data) {
    const std::string P = StripSlashes(Path);
    if (P.empty()) return false;
    return FillRecord(AT_FDCWD, P.c_str(), BaseName(P), Data);
}

} // namespace plat
