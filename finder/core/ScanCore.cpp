#include "finder/core/ScanCore.h"

#include <algorithm>
#include <exception>
#include <thread>

#include <malloc.h>

#include "finder/core/FolderAhead.h"
#include "finder/core/MatchAhead.h"
#include "finder/core/WorkPool.h"
#include "platform/DirectoryReader.h"
#include "platform/MountTable.h"
#include "platform/PathAt.h"

namespace finder {

namespace {

std::string Lower(std::string S) { return LowerAscii(std::move(S)); }

// What the pool's threads allocated and the read-ahead freed waits in the
// allocator; it goes back once a run's pool and read-ahead have gone (this
// is made first, so it goes last) rather than sit there while the results
// are built.
struct TGiveBack {
    ~TGiveBack() { ::malloc_trim(0); }
};

} // namespace

std::string NormaliseFolder(std::string Path)
{
    size_t Pos;
    while ((Pos = Path.find("//")) != std::string::npos) Path.erase(Pos, 1);
    if (Path.empty() || Path.back() != '/') Path += '/';
    return Path;
}

TScanRun::TScanRun(const TScanOptions& Options, uint8_t& RunState, TGroupList& Groups, TScanCallbacks Callbacks,
                   TMatchHooks Hooks)
    : FOptions(Options), FCallbacks(std::move(Callbacks)), FControl(RunState, FCallbacks.ProcessMessages, std::chrono::milliseconds(Options.PumpIntervalMs)),
      FMatcher(Groups, FOptions.Match, FControl, std::move(Hooks)), FWindowsLower(Lower(FOptions.WindowsDir))
{
}

// What a road that matches on the calling thread does between folders:
// the window's messages, the path shown and the file matched, at once.
class TScanRun::THere {
public:
    explicit THere(TScanRun& Run) : R(Run) {}
    bool Stopped() { return R.FControl.StopRequested(); }
    void Pass() { R.FControl.ProcessMessages(); }
    void Message(const std::string& Path)
    {
        if (R.FCallbacks.ScanMessage) R.FCallbacks.ScanMessage(Path);
    }
    template <class TCursor>
    void File(const TFolderText& Folder, const std::string& Name, const plat::TWin32FindData& Data, bool, TCursor& C)
    {
        R.MatchFile(Folder, Name, Data, C.Fd());
    }

protected:
    TScanRun& R;
};

// Folders listed ahead by the pool, as the walk opens and names them.
class TScanRun::TAheadListing {
public:
    using TCursor = TAheadCursor;
    explicit TAheadListing(TFolderAhead& Ahead) : FAhead(Ahead) {}
    TCursor MakeCursor() { return TCursor(FAhead); }
    bool OpenPlace(TCursor& C, const std::string& Key, const std::string& Path, bool FilesOnly,
                   plat::TWin32FindData& Data)
    {
        return C.FindFirst(Key, Path, !FilesOnly, Data);
    }
    bool OpenSub(TCursor& C, TCursor& Parent, const std::string& Key, const std::string& Name,
                 const std::string& Path, plat::TWin32FindData& Data)
    {
        return C.FindFirstAt(Key, Parent.Folder(), Name, Path, Data);
    }
    std::string SubKey(const std::string& Key, TCursor& C)
    {
        std::string Sub = Key;
        AppendWalkIndex(Sub, C.Index());
        return Sub;
    }
    TFolderText Text(TCursor& C, const std::string&) { return C.Folder()->Text(); }

private:
    TFolderAhead& FAhead;
};

// The road without workers: the walk lists each folder, and every file is
// matched as the walk reaches it, all on the calling thread.
class TScanRun::TPlainRoad : public THere {
public:
    using TCursor = plat::TDirectoryReader;
    static constexpr bool ShowsFilesAtOnce = true;
    explicit TPlainRoad(TScanRun& Run) : THere(Run) {}
    TCursor MakeCursor() { return TCursor(); }
    bool OpenPlace(TCursor& C, const std::string&, const std::string& Path, bool, plat::TWin32FindData& Data)
    {
        C.DeferFileStat(R.FDeferStat);
        return C.FindFirst(Path, Data);
    }
    bool OpenSub(TCursor& C, TCursor& Parent, const std::string&, const std::string& Name, const std::string& Path,
                 plat::TWin32FindData& Data)
    {
        C.DeferFileStat(R.FDeferStat);
        return C.FindFirstAt(Parent.Fd(), Name, Path, Data);
    }
    std::string SubKey(const std::string&, TCursor&) { return {}; }
    TFolderText Text(TCursor&, const std::string& Path) { return TFolderText(Path); }
};

// The road with workers: the walk runs on a thread of its own over folders
// read ahead, and hands every file over to the matching on the calling
// thread, in the same order.
class TScanRun::TAheadRoad : public TAheadListing {
public:
    static constexpr bool ShowsFilesAtOnce = false;
    // What the walk gathered goes over before it waits for a folder.
    TAheadRoad(TFolderAhead& Ahead, TMatchAhead& Match) : TAheadListing(Ahead), FMatch(Match)
    {
        Ahead.BeforeWait([this] { FMatch.Flush(); });
    }
    bool Stopped() { return FMatch.Stopping(); }
    void Pass() {}
    void Message(const std::string& Path)
    {
        TAheadEntry E;
        E.Message = Path;
        FMatch.Push(std::move(E));
    }
    void File(const TFolderText& Folder, const std::string&, const plat::TWin32FindData&, bool Shown, TCursor& C)
    {
        TAheadEntry E;
        E.Folder = Folder;
        E.Data = C.Current();
        E.Holder = C.Folder();
        E.FolderFd = C.Fd();
        E.Shown = Shown;
        FMatch.Push(std::move(E));
    }

private:
    TMatchAhead& FMatch;
};

// The road of a same-name scan, which reads no file: the walk matches every
// file on the calling thread, as handing a file over to another thread costs
// more than matching its name. Where listing a folder takes long (a cold
// disk, large folders) the pool lists folders ahead; where it is cheap the
// walk lists each folder itself, as the plain road does.
class TScanRun::TListedRoad : public THere {
public:
    static constexpr bool ShowsFilesAtOnce = true;
    class TCursor {
    public:
        explicit TCursor(TFolderAhead& Ahead) : FAhead(Ahead), FTaken(Ahead) {}
        bool FindNext(plat::TWin32FindData& Data)
        {
            if (FFromAhead) return FTaken.FindNext(Data);
            if (FOwn.Listed()) return FOwn.FindNext(Data);
            // The walk's own listing counts from the open until its entries
            // have been read.
            const bool Ok = FOwn.FindNext(Data);
            if (!Ok || FOwn.Listed()) FAhead.NoteListing(std::chrono::steady_clock::now() - FOpened, FOwn.Count());
            return Ok;
        }
        int Fd() const { return FFromAhead ? FTaken.Fd() : FOwn.Fd(); }
        uint32_t Index() const { return FFromAhead ? FTaken.Index() : FOwn.Index(); }

    private:
        friend class TListedRoad;
        TFolderAhead& FAhead;
        TAheadCursor FTaken;
        plat::TDirectoryReader FOwn;
        bool FFromAhead = false;
        std::chrono::steady_clock::time_point FOpened;
    };
    TListedRoad(TScanRun& Run, TFolderAhead& Ahead, TWorkPool& Pool) : THere(Run), FAhead(Ahead), FPool(Pool) {}
    TCursor MakeCursor() { return TCursor(FAhead); }
    bool OpenPlace(TCursor& C, const std::string& Key, const std::string& Path, bool FilesOnly,
                   plat::TWin32FindData& Data)
    {
        if (FromAhead(C)) return C.FTaken.FindFirst(Key, Path, !FilesOnly, Data);
        C.FOwn.DeferFileStat(R.FDeferStat);
        C.FOpened = std::chrono::steady_clock::now();
        return C.FOwn.FindFirst(Path, Data);
    }
    bool OpenSub(TCursor& C, TCursor& Parent, const std::string& Key, const std::string& Name,
                 const std::string& Path, plat::TWin32FindData& Data)
    {
        if (FromAhead(C))
            return C.FTaken.FindFirstAt(Key, Parent.FFromAhead ? Parent.FTaken.Folder() : nullptr, Name, Path, Data,
                                        Parent.Fd());
        C.FOwn.DeferFileStat(R.FDeferStat);
        C.FOpened = std::chrono::steady_clock::now();
        return C.FOwn.FindFirstAt(Parent.Fd(), Name, Path, Data);
    }
    std::string SubKey(const std::string& Key, TCursor& C)
    {
        std::string Sub = Key;
        AppendWalkIndex(Sub, C.Index());
        return Sub;
    }
    TFolderText Text(TCursor& C, const std::string& Path)
    {
        return C.FFromAhead ? C.FTaken.Folder()->Text() : TFolderText(Path);
    }

private:
    TFolderAhead& FAhead;
    TWorkPool& FPool;
    // The pool's threads start when the pool first lists a folder.
    bool FromAhead(TCursor& C)
    {
        C.FFromAhead = R.FOptions.ListAhead ? R.FOptions.ListAhead() : FAhead.Pays();
        if (C.FFromAhead) FPool.Start();
        return C.FFromAhead;
    }
};

TScanOutcome TScanRun::Run()
{
    TScanOutcome Outcome;
    // The walk keeps open every folder it is inside of, and a comparison two
    // files more: a deep tree must not run out of descriptors half-way.
    plat::RaiseOpenFileLimit();
    try {
        for (const auto& Id : plat::FileMountIdentities()) FFileMounts.insert(Id);
        // A same-name scan reads a file's size and dates only when a second
        // file of its name turns up, unless the filter looks at sizes. A
        // file listed by name alone is known by the folder's device and the
        // listed inode, which a file mounted over a name does not share:
        // where there is one, every file is read in full.
        FDeferStat = FOptions.Match.Kind == TScanKind::FileName && !FilterReadsSize(FOptions.Match.Filter) &&
                     FFileMounts.empty();
        unsigned Threads = FOptions.Threads;
        if (Threads == 0) {
            Threads = TWorkPool::AvailableCores();
            // Reading ahead overlaps each file's wait for its data: with the
            // walk and the matching on a thread each, two readers pay even
            // on two cores.
            if (Threads > 1 && FOptions.Match.Kind != TScanKind::FileName) Threads = std::max(Threads, 4u);
        }
        if (Threads > 1 && FOptions.Match.Kind == TScanKind::FileName) {
            RunListedAhead(Threads);
        } else if (Threads > 1) {
            RunAhead(Threads);
        } else {
            TPlainRoad Road(*this);
            ScanCheckedPlaces(Road);
        }
    } catch (const std::exception& E) {
        Outcome.Failed = true;
        Outcome.Error = E.what();
    } catch (...) {
        Outcome.Failed = true;
        Outcome.Error = "Unknown error";
    }
    if (FCallbacks.ScanMessage) FCallbacks.ScanMessage("");
    if (Outcome.Failed) FControl.RunState() = rsStopRequested;
    else if (FControl.RunState() == rsRunning) FControl.RunState() = rsFinished;
    return Outcome;
}

TFolderAheadOptions TScanRun::AheadOptions() const
{
    TFolderAheadOptions O;
    O.DeferFileStat = FDeferStat;
    O.ProtectSystemFolders = FOptions.ProtectSystemFolders;
    O.WindowsLower = FWindowsLower;
    return O;
}

void TScanRun::RunAhead(unsigned Threads)
{
    TGiveBack GiveBack;
    TFolderAheadOptions Options = AheadOptions();
    Options.MaxHandles = TFolderAhead::ReserveHandles();
    // The walk and the matching have a core each; the pool the rest.
    TWorkPool Pool(Threads > 3 ? Threads - 2 : 1);
    TFolderAhead Ahead(Pool, Options);
    TMatchAhead Match(FMatcher, Pool, FOptions.Match, FControl);
    TAheadRoad Road(Ahead, Match);
    std::thread Walker([&] {
        std::exception_ptr Error;
        try {
            ScanCheckedPlaces(Road);
        } catch (...) {
            Error = std::current_exception();
        }
        Match.Finish(Error);
    });
    // Every thread is done with the walk's folders and the read-ahead before
    // they go, also when the matching fails.
    auto End = [&] {
        Match.Stop();
        Pool.Cancel();
        Walker.join();
        Pool.Close();
    };
    try {
        Match.Consume(
            [&](const TAheadEntry& E) {
                if (E.Shown && FCallbacks.ScanMessage) FCallbacks.ScanMessage(E.Folder + E.Data->cFileName);
                MatchFile(E.Folder, E.Data->cFileName, *E.Data, E.FolderFd);
            },
            [&](const std::string& Path) {
                if (FCallbacks.ScanMessage) FCallbacks.ScanMessage(Path);
            });
    } catch (...) {
        End();
        throw;
    }
    End();
}

void TScanRun::RunListedAhead(unsigned Threads)
{
    TGiveBack GiveBack;
    // The walk and the matching share the calling thread. Three listing
    // threads keep ahead of it on a cold disk as well as seven do; more only
    // contend for the pool's queue once the folders are in memory.
    TWorkPool Pool(std::min(Threads - 1, 3u), false);
    TFolderAheadOptions Options = AheadOptions();
    Options.OnlyWherePays = true;
    if (Pool.Threads() == 1) Options.PaysFromEntries = 48;
    TFolderAhead Ahead(Pool, Options);
    TListedRoad Road(*this, Ahead, Pool);
    struct TClose {
        TWorkPool& P;
        ~TClose() { P.Close(); }
    } Close{Pool};
    ScanCheckedPlaces(Road);
}

template <class TRoad>
void TScanRun::ScanCheckedPlaces(TRoad& Road)
{
    const std::string Protected = FWindowsLower + "/";
    uint32_t Index = 0;
    for (const TScanPlace& Place : FOptions.Places) {
        std::string Key;
        AppendWalkIndex(Key, Index++);
        if (Road.Stopped()) return;
        Road.Pass();
        if (Place.Path.empty()) continue;
        const std::string Path = NormaliseFolder(Place.Path);
        if (FOptions.ProtectSystemFolders && Lower(Path) == Protected) continue;
        ScanFolder(Road, Path, Place.FilesOnly, nullptr, {}, Key);
    }
}

void TScanRun::MatchFile(const TFolderText& Folder, const std::string& Name, const plat::TWin32FindData& Data,
                         int FolderFd)
{
    ++FFilesSeen;
    bool Unmatched = true;
    FMatcher.MatchIntoGroup(Unmatched, Folder, Name, Data, FolderFd);
    // A file whose matching a stop cut short opens no group: it may well
    // have been another's duplicate.
    if (Unmatched && !FControl.StopRequested() && Name.find('.') != std::string::npos &&
        PassesFileFilter(FOptions.Match.Filter, Name, int64_t(Data.Size())))
        FMatcher.NewGroup(Folder, Name, Data, FolderFd);
}

bool TScanRun::TIdentitySet::Insert(uint64_t Device, uint64_t Inode)
{
    size_t Dev = 0;
    while (Dev < FDevices.size() && FDevices[Dev] != Device) ++Dev;
    if (Dev == FDevices.size() && Dev < 0xFFFE) FDevices.push_back(Device);
    if (Dev >= 0xFFFE || Inode >> 48) return FOthers.insert({Device, Inode}).second;
    const uint64_t Key = (uint64_t(Dev + 1) << 42) | (Inode >> 6);
    const uint64_t Bit = uint64_t(1) << (Inode & 63);
    auto Home = [](uint64_t K, size_t Mask) { return size_t((K * 0x9E3779B97F4A7C15ull) >> 20) & Mask; };
    if ((FCount + 1) * 10 > FSlots.size() * 7) {
        std::vector<TRun> Old(FSlots.empty() ? 1024 : FSlots.size() * 2);
        Old.swap(FSlots);
        const size_t Mask = FSlots.size() - 1;
        for (const TRun& R : Old) {
            if (!R.Key) continue;
            size_t I = Home(R.Key, Mask);
            while (FSlots[I].Key) I = (I + 1) & Mask;
            FSlots[I] = R;
        }
    }
    const size_t Mask = FSlots.size() - 1;
    for (size_t I = Home(Key, Mask);; I = (I + 1) & Mask) {
        TRun& R = FSlots[I];
        if (R.Key == Key) {
            if (R.Bits & Bit) return false;
            R.Bits |= Bit;
            return true;
        }
        if (!R.Key) {
            R = {Key, Bit};
            ++FCount;
            return true;
        }
    }
}

// Two paths of one file (hard links, a file mounted over another name) are
// one file: only the first path met takes part. A file of one name that is
// mounted nowhere else can be met only once, as no folder is listed twice.
bool TScanRun::FirstMeeting(const plat::TWin32FindData& Data)
{
    if (Data.Stated && Data.Links <= 1 && (FFileMounts.empty() || !FFileMounts.count({Data.Device, Data.Inode})))
        return true;
    return FFilesMet.Insert(Data.Device, Data.Inode);
}

template <class TRoad>
void TScanRun::ScanFolder(TRoad& Road, std::string Path, bool FilesOnly, typename TRoad::TCursor* Parent,
                          const std::string& SubName, const std::string& Key)
{
    Path = NormaliseFolder(std::move(Path));
    // The folder itself must be a real folder (no link on the way) seen for
    // the first time in this run: overlapping places and bind mounts are
    // walked once.
    typename TRoad::TCursor Cursor = Road.MakeCursor();
    plat::TWin32FindData Data;
    if (!(Parent ? Road.OpenSub(Cursor, *Parent, Key, SubName, Path, Data)
                 : Road.OpenPlace(Cursor, Key, Path, FilesOnly, Data)))
        return;
    const auto Id = std::make_pair(Data.Device, Data.Inode);
    if (FWalked.count(Id)) return;
    const bool ListFiles = FListed.insert(Id).second;
    if (!FilesOnly) FWalked.insert(Id);
    if (!ListFiles && FilesOnly) return;

    const TFolderText Folder = Road.Text(Cursor, Path);
    do {
        if (Road.Stopped()) break;
        Road.Pass();
        const std::string& Name = Data.cFileName;
        const bool Dots = Name == "." || Name == "..";
        const bool Shown = !FilesOnly && WalkEnters(Data.dwFileAttributes);
        if (Shown && (TRoad::ShowsFilesAtOnce || Dots || Data.IsDirectory())) Road.Message(Path + Name);
        // A hidden or read-only folder is entered; a system one (a pseudo or
        // network file system's mount point) is not.
        if (Shown && !Dots && Data.IsDirectory() &&
            (!FOptions.ProtectSystemFolders || Lower(Path + Name) != FWindowsLower))
            ScanFolder(Road, Path + Name, false, &Cursor, Name, Road.SubKey(Key, Cursor));
        if (Data.IsDirectory() || Dots) continue;  // folders join and open no group
        if (!ListFiles) continue;
        if (!FirstMeeting(Data)) continue;
        Road.File(Folder, Name, Data, Shown && !TRoad::ShowsFilesAtOnce, Cursor);
    } while (Cursor.FindNext(Data));
}

} // namespace finder
