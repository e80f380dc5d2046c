#pragma once
// One scan run without the window: the walk over the ticked places, every
// entry handed to the matching engine. The window maps its controls to
// TScanOptions, owns the run state (its Stop button sets 2) and the group
// list, and passes its message pump.
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "finder/core/MatchingUnit.h"

namespace finder {

struct TFolderAheadOptions;

struct TScanPlace {
    std::string Path;       // a ticked folder node's path
    bool FilesOnly = false; // the node has child nodes: its own files only
};

struct TScanOptions {
    TMatchOptions Match;
    std::vector<TScanPlace> Places;   // ticked nodes of level 1 or deeper, in tree order
    bool ProtectSystemFolders = true; // cbSystemPath
    std::string WindowsDir = "/usr";  // GetWindowsDir, without a trailing "/"
    int PumpIntervalMs = 5;           // pending messages at most this often (0: every pass)
    // Worker threads that read ahead: 0 one per core, 1 none (the walk, every
    // read and the matching all on the calling thread). The results are the
    // same either way.
    unsigned Threads = 0;
    // A seam for tests: whether a same-name scan with workers takes the next
    // folder listed by the pool or lists it itself, in place of the time
    // listings take.
    std::function<bool()> ListAhead;
};

struct TScanCallbacks {
    std::function<void()> ProcessMessages;                 // the message pump
    std::function<void(const std::string&)> ScanMessage;  // the folder being entered
};

struct TScanOutcome {
    bool Failed = false;  // an error ended the run; the groups found so far are kept
    std::string Error;
};

// Runs the walk. RunState is 1 on entry; a stop request (2) ends every loop
// at its next test. Afterwards it is 3 unless a stop was requested; an error
// ends the run as a stop would (2) and is reported in the outcome.
class TScanRun {
public:
    TScanRun(const TScanOptions& Options, uint8_t& RunState, TGroupList& Groups, TScanCallbacks Callbacks = {},
             TMatchHooks Hooks = {});
    TScanOutcome Run();

    int64_t DuplicateGroups() const { return FMatcher.DuplicateGroups(); }
    int64_t DuplicateFiles() const { return FMatcher.DuplicateFiles(); }
    int64_t FilesSeen() const { return FFilesSeen; }
    TRunControl& Control() { return FControl; }

private:
    TScanOptions FOptions;
    TScanCallbacks FCallbacks;
    TRunControl FControl;
    TMatcher FMatcher;
    int64_t FFilesSeen = 0;
    std::string FWindowsLower;
    bool FDeferStat = false;  // regular files listed by name alone
    // Folders seen in this run: device and inode, and whether their
    // sub-folders were walked too.
    std::set<std::pair<uint64_t, uint64_t>> FListed, FWalked;
    // Files that may be met under a second path (more than one name, or
    // mounted over another name): only the first path met takes part.
    class TIdentitySet {
    public:
        bool Insert(uint64_t Device, uint64_t Inode);  // false when already there
    private:
        // A slot per run of 64 inode numbers, as files made together have
        // neighbouring numbers: the key (the device's number in FDevices
        // above 42 bits of the run, 0 for a free slot) and a bit per inode;
        // the rare rest kept aside.
        struct TRun {
            uint64_t Key = 0, Bits = 0;
        };
        std::vector<TRun> FSlots;
        size_t FCount = 0;
        std::vector<uint64_t> FDevices;
        std::set<std::pair<uint64_t, uint64_t>> FOthers;
    } FFilesMet;
    std::set<std::pair<uint64_t, uint64_t>> FFileMounts;

    class THere;
    class TAheadListing;
    class TPlainRoad;
    class TAheadRoad;
    class TListedRoad;
    template <class TRoad>
    void ScanCheckedPlaces(TRoad& Road);
    // A place by its path (Parent null), or the sub-folder Name of the folder
    // Parent is listing; Key is its place in the walk.
    template <class TRoad>
    void ScanFolder(TRoad& Road, std::string Path, bool FilesOnly, typename TRoad::TCursor* Parent,
                    const std::string& Name, const std::string& Key);
    bool FirstMeeting(const plat::TWin32FindData& Data);
    void MatchFile(const TFolderText& Folder, const std::string& Name, const plat::TWin32FindData& Data,
                   int FolderFd);
    TFolderAheadOptions AheadOptions() const;
    void RunAhead(unsigned Threads);
    void RunListedAhead(unsigned Threads);
};

// "//" collapses to "/" throughout and a trailing "/" is added.
std::string NormaliseFolder(std::string Path);

} // namespace finder
