#pragma once
// Folders read ahead of the walk by the work pool: each is opened from its
// parent's descriptor (never through a link), listed and sorted, and its
// entries filled in by chunks in parallel, giving exactly the records of
// plat::TDirectoryReader. The walk takes them in its own order and decides
// as it always did; a folder it takes that nobody read ahead is read then.
// Read-ahead follows the walk's order and stops a few dozen folders ahead,
// so the descriptors and memory it holds stay bounded.
#include <atomic>
#include <chrono>
#include <functional>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "finder/core/DataRecordUnit.h"
#include "finder/core/WorkPool.h"
#include "platform/DirectoryReader.h"

namespace finder {

// The walk's rules: the attribute words of the entries it enters (folders)
// and shows, and ASCII letters lower-cased for the protected folder test.
bool WalkEnters(uint32_t Attributes);
std::string LowerAscii(std::string S);

struct TFolderAheadOptions {
    bool DeferFileStat = false;       // regular files listed by name alone
    bool ProtectSystemFolders = false;
    std::string WindowsLower;         // the protected folder, lower-case, no trailing "/"
    size_t MaxFolders = 16;           // read ahead and not yet taken
    // Lists ahead only while listings take long (see Pays); otherwise always.
    bool OnlyWherePays = false;
    // The average folder size, in names, from which listing ahead pays in
    // memory: a lone listing thread gains less than the hand-over costs
    // until folders are large.
    size_t PaysFromEntries = 16;
    // The folders' texts keep up to this many folders open until the
    // read-ahead ends, so that the files the matching reads later are opened
    // from their folders (see ReserveHandles).
    size_t MaxHandles = 0;
};

class TAheadFolder : public std::enable_shared_from_this<TAheadFolder> {
public:
    const std::string& Path() const { return FPath; }  // ends in "/"
    int Fd() const { return FFd.Valid() ? FFd.Get() : FText.Handle(); }
    // The folder's text for the records, shared by its members.
    const TFolderText& Text() const { return FText; }
    size_t Count() const { return FNames.Entries.size(); }

private:
    friend class TFolderAhead;
    friend class TAheadCursor;
    std::string FKey, FPath;
    bool FWalks = true;  // its sub-folders are walked (not a place of its own files only)
    plat::TFd FFd;
    bool FOpened = false;
    bool FRetry = false;  // ran out of descriptors or memory: the walk tries again itself
    plat::TWin32FindData FDot, FDotDot;
    bool FHasDotDot = false;
    uint64_t FDevice = 0;
    plat::TFolderNames FNames;
    std::vector<plat::TWin32FindData> FEntries;
    std::vector<uint8_t> FKept;  // the entry is listed (a regular file or a folder)
    std::vector<TWorkJobRef> FChunks;
    TWorkJobRef FList;
    TFolderText FText;
    std::atomic<bool> FPassed{false};  // the walk went past it: not worth reading
};

using TAheadFolderRef = std::shared_ptr<TAheadFolder>;

class TFolderAhead {
public:
    TFolderAhead(TWorkPool& Pool, TFolderAheadOptions Options);
    ~TFolderAhead();

    // The folder at walk position Key: the place Path (Parent null and
    // ParentFd -1), or the sub-folder Name of Parent, or of the folder open
    // as ParentFd that the walk listed itself. Waits for its listing (or
    // lists it here); null when it cannot be opened.
    TAheadFolderRef Take(const std::string& Key, const TAheadFolderRef& Parent, const std::string& Name,
                         const std::string& Path, bool Walks, int ParentFd = -1);
    // Whether listing ahead pays: for folders of a few entries in memory,
    // handing the listing over to another thread costs more than it takes,
    // and the walk lists each folder itself when it comes to it; for larger
    // folders, or where listings wait for the disk, the pool lists ahead.
    // Every listing counts, whichever thread made it.
    bool Pays() const { return !FOptions.OnlyWherePays || FPays.load(std::memory_order_relaxed); }
    void NoteListing(std::chrono::nanoseconds Took, size_t Entries);
    // Called on the walk's thread before it waits for a folder or lists one.
    void BeforeWait(std::function<void()> F) { FBeforeWait = std::move(F); }
    // Entry I once its chunk is filled in; null when it is not listed.
    const plat::TWin32FindData* Entry(TAheadFolder& Folder, size_t I);

    static constexpr size_t ChunkEntries = 64;

    // How many folder handles a read-ahead may keep: a quarter of the open
    // files allowed, at most 16,384. The process's table of descriptors is
    // grown to hold them at once; call it before the run's threads start.
    static size_t ReserveHandles();

private:
    struct TPending {
        TAheadFolderRef Parent;
        std::string Name, Path;
    };
    class TListJob;
    class TChunkJob;
    TWorkPool& FPool;
    TFolderAheadOptions FOptions;
    std::mutex FMutex;
    std::map<std::string, TAheadFolderRef> FAhead;  // requested, not taken
    std::map<std::string, TPending> FFrontier;      // seen, not yet requested
    std::string FWalkAt;                            // the key the walk took last
    std::function<void()> FBeforeWait;
    std::vector<TFolderText> FHanded;  // texts given a handle (under FMutex)
    // Recent listings' time in ns and entries (times 16), moving averages.
    std::atomic<int64_t> FCost{0}, FEntries{0};
    std::atomic<bool> FPays{false};

    TAheadFolderRef Make(const std::string& Key, const TAheadFolderRef& Parent, const std::string& Name,
                         const std::string& Path, bool Walks, int ParentFd = -1);
    void List(TAheadFolder& F, const TAheadFolderRef& Parent, int ParentFd, const std::string& Name);
    void FillChunk(TAheadFolder& F, size_t Chunk);
    void Refill();  // under FMutex
    void Pass(std::map<std::string, TAheadFolderRef>::iterator To);  // under FMutex
    bool Wanted(const TAheadFolder& F, const plat::TWin32FindData& Sub) const;
};

// Reads one folder as plat::TDirectoryReader would, from the read-ahead.
class TAheadCursor {
public:
    explicit TAheadCursor(TFolderAhead& Ahead) : FAhead(Ahead) {}
    bool FindFirst(const std::string& Key, const std::string& Path, bool Walks, plat::TWin32FindData& Data);
    bool FindFirstAt(const std::string& Key, const TAheadFolderRef& Parent, const std::string& Name,
                     const std::string& Path, plat::TWin32FindData& Data, int ParentFd = -1);
    bool FindNext(plat::TWin32FindData& Data);
    int Fd() const { return FFolder ? FFolder->Fd() : -1; }
    const TAheadFolderRef& Folder() const { return FFolder; }
    // The listing index of the last entry given (0 ".", 1 "..", 2 on the entries).
    uint32_t Index() const { return FIndex; }
    // The last entry given, as it lies in the listing (for events).
    const plat::TWin32FindData* Current() const { return FCurrent; }

private:
    TFolderAhead& FAhead;
    TAheadFolderRef FFolder;
    uint32_t FIndex = 0;
    size_t FNext = 0;
    const plat::TWin32FindData* FCurrent = nullptr;
    bool Opened(plat::TWin32FindData& Data);
};

} // namespace finder
