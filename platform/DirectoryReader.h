#pragma once
// The directory reader: the record and order that the walk and the places
// tree expect. "." and ".." come first, then entries in the order the file
// system returns them. Symbolic links, sockets, FIFOs and devices are not
// listed at all.
#include <cstdint>
#include <string>

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
    // Identity of the entry, so that a walk can refuse a folder it has seen.
    uint64_t Device = 0;
    uint64_t Inode = 0;
    // False for a regular file listed by name alone (see DeferFileStat):
    // its times and size are not filled in yet.
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
    bool FindNext(TWin32FindData& Data);
    void Close();

    // With On, a regular file whose kind the folder listing tells is listed
    // by name alone (Stated false, the folder's device, its inode), sparing
    // one status call per file; StatDeferred reads the rest when needed.
    // Folders and entries of unknown kind are always read in full.
    void DeferFileStat(bool On) { FDeferFiles = On; }
    // Completes such a record while its folder is open; false when the file
    // has gone or is no longer a regular file.
    bool StatDeferred(TWin32FindData& Data) const;

private:
    void* FDir = nullptr;  // DIR*
    std::string FFolder;
    int FDotsLeft = 0;
    uint64_t FFolderDevice = 0;  // taken once: mount points are told apart by device
    bool FDeferFiles = false;
};

// The record of one path without listing its folder (lstat); false for links
// and special files or when the path does not exist.
bool StatEntry(const std::string& Path, TWin32FindData& Data);

} // namespace plat
