#pragma once
// Deleting the ticked members of the results: to the trash or for good, one
// outcome per row, and the three summary lines.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "finder/core/ResultRows.h"

namespace finder {

struct TDeleteOutcome {
    std::string Caption;  // the file's path
    bool Succeeded = false;
};

struct TDeleteSummary {
    int32_t Found = 0, Selected = 0, Succeeded = 0, Failed = 0;
    std::vector<TDeleteOutcome> Items;
    std::string DelStatus1, DelStatus2, DelStatus3;
    bool Red = false;  // DelStatus3 shown in red
};

struct TDeleteHooks {
    std::function<bool(const std::string&)> Delete;  // unlinkat on the checked folder unless replaced
    std::function<void()> AfterCheck;                 // between a file's check and its removal
};

// The confirmation question of the Delete button for the file modes.
std::string DeleteConfirmationText(bool ToRecycleBin);
inline constexpr const char* DeleteConfirmationCaption = "Corvane - Delete Confirmation";
inline constexpr const char* NothingSelectedText = "Please select the items you want to remove first!";

// Runs the deletion over the rows in list order; returns Succeeded + Failed.
// A ticked file is removed only while it is the very file the scan saw
// (device, inode, size, modification and status-change time, reached
// through no symbolic link) and, when its group has unticked members, while
// at least one of them is too; otherwise it is left alone and "Failed".
int32_t DeleteSelected(const TRowList& Rows, TScanKind Kind, bool ToRecycleBin, TDeleteSummary& Summary,
                       const std::function<void()>& ProcessMessages = {}, TDeleteHooks Hooks = {});

} // namespace finder
