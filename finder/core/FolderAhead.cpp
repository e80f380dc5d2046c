#include "finder/core/FolderAhead.h"

#include <algorithm>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "platform/PathAt.h"

namespace finder {

std::string LowerAscii(std::string S)
{
    for (char& C : S)
        if (C >= 'A' && C <= 'Z') C = char(C - 'A' + 'a');
    return S;
}

bool WalkEnters(uint32_t A)
{
    switch (A) {
    case 16: case 17: case 18: case 19: case 32: case 48: case 50: case 51: case 128: case 256: return true;
    default: return false;
    }
}

namespace {

// Out of descriptors or memory: worth another try by the walk itself.
bool Transient(int Error) { return Error == EMFILE || Error == ENFILE || Error == ENOMEM; }

} // namespace

// The jobs hold their folder until they have run (or are dropped), so a
// folder never outlives its use by a cycle with its own jobs.
class TFolderAhead::TListJob : public TWorkJob {
public:
    TListJob(TFolderAhead& Ahead, TAheadFolderRef Folder, TAheadFolderRef Parent, int ParentFd, std::string Name)
        : FAhead(Ahead), FFolder(std::move(Folder)), FParent(std::move(Parent)), FParentFd(ParentFd),
          FName(std::move(Name)) {}

protected:
    void Run() override
    {
        if (FFolder && !FFolder->FPassed.load(std::memory_order_relaxed)) FAhead.List(*FFolder, FParent, FParentFd, FName);
        Drop();
    }
    void Drop() override
    {
        FFolder.reset();
        FParent.reset();
    }

private:
    TFolderAhead& FAhead;
    TAheadFolderRef FFolder, FParent;
    int FParentFd;  // the walk's own open folder, used by the walk only
    std::string FName;
};

class TFolderAhead::TChunkJob : public TWorkJob {
public:
    TChunkJob(TFolderAhead& Ahead, TAheadFolderRef Folder, size_t Chunk)
        : FAhead(Ahead), FFolder(std::move(Folder)), FChunk(Chunk) {}

protected:
    void Run() override
    {
        if (FFolder && !FFolder->FPassed.load(std::memory_order_relaxed)) FAhead.FillChunk(*FFolder, FChunk);
        Drop();
    }
    void Drop() override { FFolder.reset(); }

private:
    TFolderAhead& FAhead;
    TAheadFolderRef FFolder;
    size_t FChunk;
};

TFolderAhead::TFolderAhead(TWorkPool& Pool, TFolderAheadOptions Options) : FPool(Pool), FOptions(std::move(Options)) {}

size_t TFolderAhead::ReserveHandles()
{
    rlimit Files{};
    if (getrlimit(RLIMIT_NOFILE, &Files) != 0 || Files.rlim_cur < 64) return 0;
    const size_t Max = size_t(std::min<rlim_t>(Files.rlim_cur / 4, 16384));
    // The table grows when a descriptor beyond it is made; grown while
    // threads share it, each doubling waits until every core has passed a
    // quiescent point, which costs more than all the opens it serves.
    const plat::TFd Any(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (Any.Valid()) {
        const int Far = ::fcntl(Any.Get(), F_DUPFD_CLOEXEC, int(std::min<rlim_t>(Files.rlim_cur - 1, Max + 1024)));
        if (Far >= 0) ::close(Far);
    }
    return Max;
}

TFolderAhead::~TFolderAhead()
{
    for (const TFolderText& T : FHanded) {
        ::close(T.Handle());
        T.ForgetHandle();
    }
}

TAheadFolderRef TFolderAhead::Make(const std::string& Key, const TAheadFolderRef& Parent, const std::string& Name,
                                   const std::string& Path, bool Walks, int ParentFd)
{
    auto F = std::make_shared<TAheadFolder>();
    F->FKey = Key;
    F->FPath = Path;
    F->FWalks = Walks;
    F->FList = std::make_shared<TListJob>(*this, F, Parent, ParentFd, Name);
    return F;
}

void TFolderAhead::NoteListing(std::chrono::nanoseconds Took, size_t Entries)
{
    auto Average = [](std::atomic<int64_t>& A, int64_t Sample) {
        const int64_t Old = A.load(std::memory_order_relaxed), New = Old + (Sample - Old) / 8;
        A.store(New, std::memory_order_relaxed);
        return New;
    };
    const int64_t Cost = Average(FCost, int64_t(Took.count()));
    // A large folder among small ones does not tip the balance.
    const int64_t Size = Average(FEntries, int64_t(std::min<size_t>(Entries, 64)) * 16);
    // A hand-over costs each side a few microseconds and a wake-up, about
    // what listing a dozen names in memory does; a listing that waits for
    // the disk takes far longer.
    const int64_t From = int64_t(FOptions.PaysFromEntries) * 16;
    if (Cost > 250000 || Size >= From) FPays.store(true, std::memory_order_relaxed);
    else if (Cost < 100000 && Size < From / 2) FPays.store(false, std::memory_order_relaxed);
}

void TFolderAhead::List(TAheadFolder& F, const TAheadFolderRef& Parent, int ParentFd, const std::string& Name)
{
    struct TTimed {
        TFolderAhead& A;
        const TAheadFolder& F;
        std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
        ~TTimed() { A.NoteListing(std::chrono::steady_clock::now() - Start, F.Count()); }
    } Timed{*this, F};
    errno = 0;
    if (Parent || ParentFd >= 0) {
        F.FFd.Reset(::openat(Parent ? Parent->Fd() : ParentFd, Name.c_str(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    } else {
        std::string P = F.FPath;
        while (P.size() > 1 && P.back() == '/') P.pop_back();
        F.FFd.Reset(plat::OpenFolderNoFollow(P, O_RDONLY));
    }
    if (!F.FFd.Valid()) {
        F.FRetry = Transient(errno);
        return;
    }
    if (!plat::ReadEntryRecord(F.FFd.Get(), ".", F.FDot)) {
        F.FRetry = Transient(errno);
        F.FFd.Reset();
        return;
    }
    F.FOpened = true;
    F.FDevice = F.FDot.Device;
    F.FHasDotDot = plat::ReadEntryRecord(F.FFd.Get(), "..", F.FDotDot);
    if (!plat::ReadFolderNames(F.FFd.Get(), F.FNames)) F.FNames.Entries.clear();
    // Kept as a handle for looking up and opening its entries: the listing's
    // own descriptor goes here, and with it what the file system kept for
    // reading the folder, which costs whoever closes it.
    const int Handle = ::openat(F.FFd.Get(), ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (Handle >= 0) F.FFd.Reset(Handle);
    F.FText = TFolderText(F.FPath);
    if (Handle >= 0 && FOptions.MaxHandles > 0) {
        std::lock_guard<std::mutex> Lock(FMutex);
        if (FHanded.size() < FOptions.MaxHandles) {
            F.FText = TFolderText(F.FPath, F.FFd.Release());
            FHanded.push_back(F.FText);
        }
    }
    const size_t N = F.FNames.Entries.size();
    F.FEntries.resize(N);
    F.FKept.assign(N, 0);
    const size_t Chunks = (N + ChunkEntries - 1) / ChunkEntries;
    F.FChunks.reserve(Chunks);
    for (size_t C = 0; C < Chunks; ++C) F.FChunks.push_back(std::make_shared<TChunkJob>(*this, F.shared_from_this(), C));
    // The first chunk here, the rest on the pool, keyed just before the
    // sub-folders they may hold; files listed by name alone cost less than
    // handing them over, and are filled in as the walk comes to them.
    std::vector<std::pair<TWorkJobRef, std::string>> Jobs;
    for (size_t C = 1; C < Chunks && !FOptions.DeferFileStat; ++C) {
        std::string Key = F.FKey;
        AppendWalkIndex(Key, uint32_t(C * ChunkEntries + 2));
        Jobs.emplace_back(F.FChunks[C], std::move(Key));
    }
    FPool.SubmitListings(Jobs);
    if (Chunks > 0 && F.FChunks[0]->Claim()) FPool.RunClaimed(*F.FChunks[0]);
}

bool TFolderAhead::Wanted(const TAheadFolder& F, const plat::TWin32FindData& Sub) const
{
    // Only what the walk will enter; a mount point is the walk's to judge.
    if (!F.FWalks || !Sub.IsDirectory() || !WalkEnters(Sub.dwFileAttributes) || Sub.Device != F.FDevice) return false;
    return !FOptions.ProtectSystemFolders || LowerAscii(F.FPath + Sub.cFileName) != FOptions.WindowsLower;
}

void TFolderAhead::FillChunk(TAheadFolder& F, size_t Chunk)
{
    const size_t From = Chunk * ChunkEntries, To = std::min(F.FNames.Entries.size(), From + ChunkEntries);
    std::vector<std::pair<std::string, TPending>> Subs;
    for (size_t I = From; I < To; ++I) {
        const plat::TNameEntry& E = F.FNames.Entries[I];
        if (E.Type != DT_UNKNOWN && E.Type != DT_REG && E.Type != DT_DIR) continue;
        plat::TWin32FindData& D = F.FEntries[I];
        if (FOptions.DeferFileStat && E.Type == DT_REG) {
            plat::NameOnlyRecord(F.FNames.Name(E), F.FDevice, E.Inode, D);
        } else if (!plat::ReadEntryRecord(F.Fd(), std::string(F.FNames.Name(E)), D)) {
            continue;
        }
        F.FKept[I] = 1;
        if (Wanted(F, D)) {
            std::string Key = F.FKey;
            AppendWalkIndex(Key, uint32_t(I + 2));
            Subs.emplace_back(std::move(Key), TPending{nullptr, D.cFileName, F.FPath + D.cFileName + "/"});
        }
    }
    if (Subs.empty() || !Pays()) return;
    const TAheadFolderRef Self = F.shared_from_this();
    std::lock_guard<std::mutex> Lock(FMutex);
    for (auto& [Key, P] : Subs) {
        // Only what the walk has not passed yet.
        if (Key <= FWalkAt) continue;
        P.Parent = Self;
        FFrontier.emplace(std::move(Key), std::move(P));
    }
    Refill();
}

void TFolderAhead::Pass(std::map<std::string, TAheadFolderRef>::iterator To)
{
    for (auto It = FAhead.begin(); It != To; ++It) It->second->FPassed.store(true, std::memory_order_relaxed);
    FAhead.erase(FAhead.begin(), To);
}

void TFolderAhead::Refill()
{
    if (!Pays()) return;
    // Folders go to the pool a batch at a time, once half of those asked
    // for have been taken: a worker woken lists several.
    if (FAhead.size() > FOptions.MaxFolders / 2) return;
    std::vector<std::pair<TWorkJobRef, std::string>> Jobs;
    while (FAhead.size() < FOptions.MaxFolders && !FFrontier.empty()) {
        auto First = FFrontier.begin();
        TAheadFolderRef F = Make(First->first, First->second.Parent, First->second.Name, First->second.Path, true);
        FFrontier.erase(First);
        FAhead.emplace(F->FKey, F);
        Jobs.emplace_back(F->FList, F->FKey);
    }
    FPool.SubmitListings(Jobs);
}

TAheadFolderRef TFolderAhead::Take(const std::string& Key, const TAheadFolderRef& Parent, const std::string& Name,
                                   const std::string& Path, bool Walks, int ParentFd)
{
    TAheadFolderRef F;
    {
        std::lock_guard<std::mutex> Lock(FMutex);
        auto Found = FAhead.find(Key);
        if (Found != FAhead.end() && Found->second->FWalks == Walks) F = Found->second;
        // Whatever lies before this place in the walk is passed for good.
        if (Found != FAhead.end()) FAhead.erase(Found);
        Pass(FAhead.upper_bound(Key));
        FFrontier.erase(FFrontier.begin(), FFrontier.upper_bound(Key));
        if (Key > FWalkAt) FWalkAt = Key;
        if (!F) F = Make(Key, Parent, Name, Path, Walks, ParentFd);
        Refill();
    }
    if (!F->FList->Done() && FBeforeWait) FBeforeWait();
    while (!FPool.RunOrWait(*F->FList, std::chrono::milliseconds(50))) {
    }
    if (F->FRetry) {
        // Listed again here, now that the walk holds fewer descriptors.
        F = Make(Key, Parent, Name, Path, Walks, ParentFd);
        F->FList->Claim();
        FPool.RunClaimed(*F->FList);
    }
    return F->FOpened ? F : nullptr;
}

const plat::TWin32FindData* TFolderAhead::Entry(TAheadFolder& F, size_t I)
{
    TWorkJob& Chunk = *F.FChunks[I / ChunkEntries];
    
    while (!FPool.RunOrWait(Chunk, std::chrono::milliseconds(50))) {
    }
    return F.FKept[I] ? &F.FEntries[I] : nullptr;
}

// ---------------------------------------------------------------------------

bool TAheadCursor::Opened(plat::TWin32FindData& Data)
{
    FIndex = 0;
    FNext = 0;
    if (!FFolder) return false;
    FCurrent = &FFolder->FDot;
    Data = FFolder->FDot;
    return true;
}

bool TAheadCursor::FindFirst(const std::string& Key, const std::string& Path, bool Walks, plat::TWin32FindData& Data)
{
    FFolder = FAhead.Take(Key, nullptr, {}, Path, Walks);
    return Opened(Data);
}

bool TAheadCursor::FindFirstAt(const std::string& Key, const TAheadFolderRef& Parent, const std::string& Name,
                               const std::string& Path, plat::TWin32FindData& Data, int ParentFd)
{
    FFolder = FAhead.Take(Key, Parent, Name, Path, true, ParentFd);
    return Opened(Data);
}

bool TAheadCursor::FindNext(plat::TWin32FindData& Data)
{
    if (!FFolder) return false;
    if (FIndex == 0) {
        FIndex = 1;
        if (FFolder->FHasDotDot) {
            FCurrent = &FFolder->FDotDot;
            Data = FFolder->FDotDot;
            return true;
        }
    }
    while (FNext < FFolder->Count()) {
        const size_t I = FNext++;
        const plat::TWin32FindData* E = FAhead.Entry(*FFolder, I);
        if (!E) continue;
        FIndex = uint32_t(I + 2);
        FCurrent = E;
        Data = *E;
        if (Data.IsDirectory()) plat::MarkMountPoint(FFolder->FPath, FFolder->FDevice, Data);
        return true;
    }
    return false;
}

} // namespace finder
