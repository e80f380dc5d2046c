#pragma once
// The shredder: overwriting files in three passes (zeros, 0xFF, a
// pseudo-random pattern), then deleting them, and the erase run over the
// list of files and folders. Plain C++ over POSIX calls; the window supplies
// its message pumps.
//
// Safety: a symbolic link is never followed (it is removed as a link, its
// target untouched); every chosen item and its folder are recorded when the
// item is added to the list and reached again at the item's turn without
// following a link, and an item that differs then is left alone; a file
// that is not removed keeps the mode it had; a chosen mount is refused
// whole; a folder is walked and emptied through descriptors, every entry
// checked against what was collected before it is overwritten or removed,
// and a file written to after its wipe is not removed; the walk never
// crosses a mount point and never enters a protected place or a folder it
// has seen; only regular files with a single name are written, and only
// their allocated parts.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace finder {

inline constexpr size_t WipeBufferSize = 65536;

// Lets only paint work through while a file is overwritten or deleted.
using TPaintPump = std::function<void()>;

// The pseudo-random numbers of the wipe pattern: a linear congruential
// generator whose seed starts at 0, so every program run draws the same
// sequence. Random(N) lies in 0 .. N - 1.
uint32_t Random(uint32_t N);
void SetRandomSeed(uint32_t Seed);  // tests start from a known point
// Each of the WipeBufferSize bytes := the low byte of Random(1024).
void FillRandom(uint8_t* Buffer);

// Calls Pump when 3000 ms or more have passed since Last (or the clock went
// back) and sets Last to now.
void PaintThrottle(uint64_t& Last, const TPaintPump& Pump);

// Overwrites the open file Fd in Passes passes (clamped to 1..10): zeros,
// then 0xFF, then RandomBuffer for every further pass, each pass from
// another start offset in its pattern, flushed to the disk after each pass.
// Only the parts that hold data are written (a sparse file's holes stay
// holes); the length is kept. False when a write or flush failed or the
// file's size changed while it was being overwritten.
bool WipeStream(int Fd, const uint8_t* RandomBuffer, int Passes, const TPaintPump& Pump);

// Overwrites one regular file (never through a link). The owner gets write
// permission first; when the file cannot be opened or wiped its mode is put
// back.
// False when it does not exist, is no regular file, has more than one name
// (its data lives on under the others) or could not be wiped.
bool WipeFile(const std::string& FileName, int Passes, const TPaintPump& Pump);

enum class TEraseStatus { Succeeded, Failed, Protected, NotExist };
const char* EraseStatusText(TEraseStatus Status);

// An entry as it was seen: device, inode and file type (the S_IFMT bits of
// its mode); Type 0 when nothing was there.
struct TEntryId {
    uint64_t Device = 0, Inode = 0;
    uint32_t Type = 0;
};

struct TEraseItem {
    std::string Caption;  // the real path (bytes) when it was added
    std::string Type;     // "File" or "Folder"
    bool Ticked = true;
    TEntryId FolderId, ItemId;  // the item's folder and the item then
};

// A chosen path (its bytes as chosen) as the list keeps it: its folder's
// links resolved now, the entry itself not followed, and what the folder and
// the entry are now. The run erases this very item or nothing.
TEraseItem RecordEraseItem(const std::string& Path, const std::string& Type);

struct TEraseOutcome {
    std::string Caption;
    TEraseStatus Status = TEraseStatus::Failed;
};

struct TEraseSummary {
    int32_t Found = 0, Selected = 0, Succeeded = 0, Failed = 0;
    std::vector<TEraseOutcome> Items;
    std::string DelStatus1, DelStatus2, DelStatus3;
    bool Red = false;  // DelStatus3 shown in red
};

// The system's own files that are never erased.
const std::vector<std::string>& SystemProtectedFiles();

struct TEraseContext {
    std::string WindowsDir = "/usr";  // without a trailing "/"
    std::vector<std::string> ProtectedFiles = SystemProtectedFiles();
    std::string ProgramPath;          // the running program file
    std::string ProgramFolder;        // its folder, ending in "/"
    std::function<void()> ProcessMessages;               // all pending messages, between items
    TPaintPump PaintPump;                                // paint only, while wiping
    std::function<void(const std::string&)> ShowItem;    // the item being erased
    // Called when an outcome is known, so the window can show it at once.
    std::function<void(const TEraseOutcome&)> ItemDone;
};

// Protected places, compared case-insensitively (ASCII) on the path as
// given and on its resolved form.
bool IsProtectedFile(const std::string& Path, const TEraseContext& Ctx);
bool IsProtectedFolder(const std::string& Path, const TEraseContext& Ctx);

// The erase run over Items in list order. Once RunState is 2 (stop
// requested, also by a click that ProcessMessages delivers) no further item
// is started; the one under way finishes. Fills Summary; changes nothing
// else. An item, or the folder holding it, that is no longer what was
// recorded when it was added is "Failed" and untouched.
void EraseItems(const std::vector<TEraseItem>& Items, const uint8_t& RunState, const TEraseContext& Ctx,
                TEraseSummary& Summary);

} // namespace finder
