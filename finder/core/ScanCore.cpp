#include "finder/core/ScanCore.h"

#include <exception>

#include "platform/DirectoryReader.h"
#include "platform/MountTable.h"
#include "platform/PathAt.h"

namespace finder {

namespace {

std::string Lower(std::string S)
{
    for (char& C : S)
        if (C >= 'A' && C <= 'Z') C = char(C - 'A' + 'a');
    return S;
}

bool EntersAttribute(uint32_t A)
{
    switch (A) {
    case 16: case 17: case 18: case 19: case 32: case 48: case 50: case 51: case 128: case 256: return true;
    default: return false;
    }
}

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

TScanOutcome TScanRun::Run()
{
    TScanOutcome Outcome;
    // The walk keeps open every folder it is inside of, and a comparison two
    // files more: a deep tree must not run out of descriptors half-way.
    plat::RaiseOpenFileLimit();
    try {
        for (const auto& Id : plat::FileMountIdentities()) FFileMounts.insert(Id);
        ScanCheckedPlaces();
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

void TScanRun::ScanCheckedPlaces()
{
    const std::string Protected = FWindowsLower + "/";
    for (const TScanPlace& Place : FOptions.Places) {
        if (FControl.StopRequested()) return;
        FControl.ProcessMessages();
        if (Place.Path.empty()) continue;
        const std::string Path = NormaliseFolder(Place.Path);
        if (FOptions.ProtectSystemFolders && Lower(Path) == Protected) continue;
        ScanFolder(Path, Place.FilesOnly);
    }
}

bool TScanRun::TIdentitySet::Insert(uint64_t Device, uint64_t Inode)
{
    size_t Dev = 0;
    while (Dev < FDevices.size() && FDevices[Dev] != Device) ++Dev;
    if (Dev == FDevices.size() && Dev < 0xFFFE) FDevices.push_back(Device);
    if (Dev >= 0xFFFE || Inode >> 48) return FOthers.insert({Device, Inode}).second;
    const uint64_t Key = (uint64_t(Dev + 1) << 48) | Inode;
    if ((FCount + 1) * 10 > FSlots.size() * 7) {
        std::vector<uint64_t> Old(FSlots.empty() ? 4096 : FSlots.size() * 2, 0);
        Old.swap(FSlots);
        const size_t Mask = FSlots.size() - 1;
        for (const uint64_t K : Old) {
            if (!K) continue;
            size_t I = size_t((K * 0x9E3779B97F4A7C15ull) >> 20) & Mask;
            while (FSlots[I]) I = (I + 1) & Mask;
            FSlots[I] = K;
        }
    }
    const size_t Mask = FSlots.size() - 1;
    for (size_t I = size_t((Key * 0x9E3779B97F4A7C15ull) >> 20) & Mask;; I = (I + 1) & Mask) {
        if (FSlots[I] == Key) return false;
        if (!FSlots[I]) {
            FSlots[I] = Key;
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

void TScanRun::ScanFolder(std::string Path, bool FilesOnly, int ParentFd, const std::string& SubName)
{
    Path = NormaliseFolder(std::move(Path));
    // The folder itself must be a real folder (no link on the way) seen for
    // the first time in this run: overlapping places and bind mounts are
    // walked once.
    plat::TDirectoryReader Reader;
    // A same-name scan reads a file's size and dates only when a second file
    // of its name turns up, unless the filter looks at sizes. A file listed
    // by name alone is known by the folder's device and the listed inode,
    // which a file mounted over a name does not share: where there is one,
    // every file is read in full.
    Reader.DeferFileStat(FOptions.Match.Kind == TScanKind::FileName && !FilterReadsSize(FOptions.Match.Filter) &&
                         FFileMounts.empty());
    plat::TWin32FindData Data;
    if (!(ParentFd >= 0 ? Reader.FindFirstAt(ParentFd, SubName, Path, Data) : Reader.FindFirst(Path, Data))) return;
    const auto Id = std::make_pair(Data.Device, Data.Inode);
    if (FWalked.count(Id)) return;
    const bool ListFiles = FListed.insert(Id).second;
    if (!FilesOnly) FWalked.insert(Id);
    if (!ListFiles && FilesOnly) return;

    const TFolderText Folder(Path);
    do {
        if (FControl.StopRequested()) break;
        FControl.ProcessMessages();
        const std::string& Name = Data.cFileName;
        const bool Dots = Name == "." || Name == "..";
        if (!FilesOnly && EntersAttribute(Data.dwFileAttributes)) {
            if (FCallbacks.ScanMessage) FCallbacks.ScanMessage(Path + Name);
            // A hidden or read-only folder is entered; a system one (a
            // pseudo or network file system's mount point) is not.
            if (!Dots && Data.IsDirectory() &&
                (!FOptions.ProtectSystemFolders || Lower(Path + Name) != FWindowsLower))
                ScanFolder(Path + Name, false, Reader.Fd(), Name);
        }
        if (Data.IsDirectory() || Dots) continue;  // folders join and open no group
        if (!ListFiles) continue;
        if (!FirstMeeting(Data)) continue;
        ++FFilesSeen;
        bool Unmatched = true;
        FMatcher.MatchIntoGroup(Unmatched, Folder, Name, Data, &Reader);
        if (Unmatched && Name.find('.') != std::string::npos &&
            PassesFileFilter(FOptions.Match.Filter, Name, int64_t(Data.Size())))
            FMatcher.NewGroup(Folder, Name, Data, &Reader);
    } while (Reader.FindNext(Data));
    Reader.Close();
}

} // namespace finder
