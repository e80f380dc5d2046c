#pragma once
// The directory reader: the record and order that the walk and the places
// tree expect. "." and ".." come first, then the entries sorted by name
// (plat::FolderOrderLess). Symbolic links, sockets, FIFOs and devices are
// not listed at all. A folder is reached through no symbolic link: by path
// one component at a time, or as the sub-folder of an open one.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/PathAt.h"

namespace plat {

constexpr uint32_t FILE_ATTRIBUTE_READONLY = 1;
constexpr uint32_t FILE_ATTRIBUTE_HIDDEN = 2;
constexpr uint32_t FILE_ATTRIBUTE_SYSTEM = 4;
constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 16;
constexpr uint32_t FILE_ATTRIBUTE_ARCHIVE = 32;

struct TWin32FindData {
    uint32_t dwFileAttributes = 0;
    uint64_t ftCreationTime = 0;   // 100 ns units since 1601-01-01 UTC
    uint64_t ftLastWriteTime = 0;
    uint32_t nFileSizeHigh = 0;
    uint32_t nFileSizeLow = 0;
    std::string cFileName;
    // Identity of the entry, so that a walk can refuse a folder it has seen
    // and a deletion can tell the very file it saw.
    uint64_t Device = 0;  // DeviceId: major << 32 | minor
    uint64_t Inode = 0;
    uint64_t ChangeTime = 0;  // status change, as a file time
    uint32_t Links = 1;       // names of the file
    // False for a regular file listed by name alone (see DeferFileStat):
    // its times, size and links are not filled in yet.
    bool Stated = true;

    uint64_t Size() const { return (uint64_t(nFileSizeHigh) << 32) | nFileSizeLow; }
    bool IsDirectory() const { return dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY; }
};

class TDirectoryReader {
public:
    TDirectoryReader() = default;
    ~TDirectoryReader();
    TDirectoryReader(const TDirectoryReader&) = delete;
    TDirectoryReader& operator=(const TDirectoryReader&) = delete;

    // Folder with or without a trailing "/". False when it cannot be listed.
    bool FindFirst(const std::string& Folder, TWin32FindData& Data);
    // The sub-folder Name of the open folder ParentFd; Folder is its path.
    bool FindFirstAt(int ParentFd, const std::string& Name, const std::string& Folder, TWin32FindData& Data);
    bool FindNext(TWin32FindData& Data);
    void Close();
    // The open folder, for opening its sub-folders; -1 when none is open.
    int Fd() const { return FFd.Get(); }
    // The listing index of the last entry given (0 ".", 1 "..", 2 on the
    // entries in order), and whether the entries have been read yet.
    uint32_t Index() const { return FIndex; }
    bool Listed() const { return FListed; }
    size_t Count() const { return FNames.Entries.size(); }  // once listed

    // With On, a regular file whose kind the folder listing tells is listed
    // by name alone (Stated false, the folder's device, its inode), sparing
    // one status call per file; StatDeferred reads the rest when needed.
    // Folders and entries of unknown kind are always read in full.
    void DeferFileStat(bool On) { FDeferFiles = On; }
    // Completes such a record while its folder is open; false when the file
    // has gone or is no longer a regular file.
    bool StatDeferred(TWin32FindData& Data) const;

private:
    TFd FFd;
    std::string FFolder;
    int FDotsLeft = 0;
    uint64_t FFolderDevice = 0;  // taken once: mount points are told apart by device
    bool FDeferFiles = false;
    bool FListed = false;        // the entries below are read (at the first one after the dots)
    size_t FNext = 0;
    uint32_t FIndex = 0;
    TFolderNames FNames;

    bool Opened(TWin32FindData& Data);
};

// The record of one path without listing its folder (lstat); false for links
// and special files or when the path does not exist.
bool StatEntry(const std::string& Path, TWin32FindData& Data);

// The pieces of a listing, for readers that list folders ahead of the walk
// and must give exactly the records TDirectoryReader gives.
// The record of the entry Name of the open folder DirFd; false for links,
// sockets, FIFOs and devices.
bool ReadEntryRecord(int DirFd, const std::string& Name, TWin32FindData& Data);
// The record of a regular file listed by name alone (Stated false).
void NameOnlyRecord(std::string_view Name, uint64_t FolderDevice, uint64_t Inode, TWin32FindData& Data);
// Marks a sub-folder on another device than its folder as system when a
// pseudo, network or RAM file system is mounted there (nothing enters it).
void MarkMountPoint(const std::string& Folder, uint64_t FolderDevice, TWin32FindData& Data);
// Completes a record listed by name alone from its open folder DirFd; false
// when the file has gone or is no longer a regular file.
bool StatNameOnly(int DirFd, TWin32FindData& Data);

} // namespace plat
