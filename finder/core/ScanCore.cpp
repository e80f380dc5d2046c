#include "finder/core/ScanCore.h"

#include <exception>

#include <sys/resource.h>

#include "platform/DirectoryReader.h"

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
    rlimit Files{};
    if (getrlimit(RLIMIT_NOFILE, &Files) == 0 && Files.rlim_cur < Files.rlim_max) {
        Files.rlim_cur = Files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &Files);
    }
    try {
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

void TScanRun::ScanFolder(std::string Path, bool FilesOnly)
{
    Path = NormaliseFolder(std::move(Path));
    // The folder itself must be a real folder (no link) seen for the first
    // time in this run: overlapping places and bind mounts are walked once.
    plat::TWin32FindData Self;
    const std::string Bare = Path.size() > 1 ? Path.substr(0, Path.size() - 1) : Path;
    if (!plat::StatEntry(Bare, Self) || !Self.IsDirectory()) return;
    const auto Id = std::make_pair(Self.Device, Self.Inode);
    if (FWalked.count(Id)) return;
    const bool ListFiles = FListed.insert(Id).second;
    if (!FilesOnly) FWalked.insert(Id);
    if (!ListFiles && FilesOnly) return;

    plat::TDirectoryReader Reader;
    // A same-name scan reads a file's size and dates only when a second file
    // of its name turns up, unless the filter looks at sizes.
    Reader.DeferFileStat(FOptions.Match.Kind == TScanKind::FileName && !FilterReadsSize(FOptions.Match.Filter));
    plat::TWin32FindData Data;
    if (!Reader.FindFirst(Path, Data)) return;
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
                ScanFolder(Path + Name, false);
        }
        if (Data.IsDirectory() || Dots) continue;  // folders join and open no group
        if (!ListFiles) continue;
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
