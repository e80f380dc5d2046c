#include "finder/core/FolderAhead.h"

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
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
    TListJob(TFolderAhead& Ahead, TAheadFolderRef Folder, TAheadFolderRef Parent, std::string Name)
        : FAhead(Ahead), FFolder(std::move(Folder)), FParent(std::move(Parent)), FName(std::move(Name)) {}

protected:
    void Run() override
    {
        if (FFolder && !FFolder->FPassed.load(std::memory_order_relaxed)) FAhead.List(*FFolder, FParent, FName);
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

TFolderAhead::~TFolderAhead() = default;

TAheadFolderRef TFolderAhead::Make(const std::string& Key, const TAheadFolderRef& Parent, const std::string& Name,
                                   const std::string& Path, bool Walks)
{
    auto F = std::make_shared<TAheadFolder>();
    F->FKey = Key;
    F->FPath = Path;
    F->FWalks = Walks;
    F->FList = std::make_shared<TListJob>(*this, F, Parent, Name);
    return F;
}

void TFolderAhead::List(TAheadFolder& F, const TAheadFolderRef& Parent, const std::string& Name)
{
    errno = 0;
    if (Parent) {
        F.FFd.Reset(::openat(Parent->Fd(), Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
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
    const size_t N = F.FNames.Entries.size();
    F.FEntries.resize(N);
    F.FKept.assign(N, 0);
    const size_t Chunks = (N + ChunkEntries - 1) / ChunkEntries;
    F.FChunks.reserve(Chunks);
    for (size_t C = 0; C < Chunks; ++C) F.FChunks.push_back(std::make_shared<TChunkJob>(*this, F.shared_from_this(), C));
    // The first chunk here, the rest on the pool, keyed just before the
    // sub-folders they may hold.
    for (size_t C = 1; C < Chunks; ++C) {
        std::string Key = F.FKey;
        AppendWalkIndex(Key, uint32_t(C * ChunkEntries + 2));
        FPool.SubmitListing(F.FChunks[C], std::move(Key));
    }
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
        } else if (!plat::ReadEntryRecord(F.FFd.Get(), std::string(F.FNames.Name(E)), D)) {
            continue;
        }
        F.FKept[I] = 1;
        if (Wanted(F, D)) {
            std::string Key = F.FKey;
            AppendWalkIndex(Key, uint32_t(I + 2));
            Subs.emplace_back(std::move(Key), TPending{nullptr, D.cFileName, F.FPath + D.cFileName + "/"});
        }
    }
    if (Subs.empty()) return;
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
    while (FAhead.size() < FOptions.MaxFolders && !FFrontier.empty()) {
        auto First = FFrontier.begin();
        TAheadFolderRef F = Make(First->first, First->second.Parent, First->second.Name, First->second.Path, true);
        FFrontier.erase(First);
        FAhead.emplace(F->FKey, F);
        FPool.SubmitListing(F->FList, F->FKey);
    }
}

TAheadFolderRef TFolderAhead::Take(const std::string& Key, const TAheadFolderRef& Parent, const std::string& Name,
                                   const std::string& Path, bool Walks)
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
        if (!F) F = Make(Key, Parent, Name, Path, Walks);
        Refill();
    }
    while (!FPool.RunOrWait(*F->FList, std::chrono::milliseconds(50))) {
    }
    if (F->FRetry) {
        // Listed again here, now that the walk holds fewer descriptors.
        F = Make(Key, Parent, Name, Path, Walks);
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
    FFolder->FText = TFolderText(FFolder->FPath);
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
                               const std::string& Path, plat::TWin32FindData& Data)
{
    FFolder = FAhead.Take(Key, Parent, Name, Path, true);
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
