#pragma once
// The places tree without its widget: the data of a drive or folder node,
// the drives offered from the mount table, and the listing of a folder's
// sub-folders under the attribute rule.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/MountTable.h"

// The data of one drive or folder node; owned by its node.
struct TDirectoryInfo {
    std::string DisplayName;  // also the node's text
    std::string Path;         // full path, always ending in "/"
};

using TDirectoryList = std::vector<std::unique_ptr<TDirectoryInfo>>;

namespace places {

// Tick states of a node (its state picture).
constexpr int StateUnticked = 1;
constexpr int StateTicked = 2;

// Node pictures of the tree.
constexpr int ImageRoot = 0;
constexpr int ImageDrive = 1;
constexpr int ImageFolder = 2;

// The root node's text.
inline constexpr const char* RootText = "My Computer";

// A listed entry is offered as a sub-folder only with one of these attribute
// words: a directory, alone or with read-only, hidden and archive. Anything
// else (system, other flags, every file) is left out.
bool IsListedFolderAttr(uint32_t Attr);

// Whether a mount is offered as a drive: fixed file systems always, removable
// ones only when ready with free space, nothing else.
bool IsOfferedDrive(const plat::TMountEntry& Entry);

// The drives to show under the root, in mount-path order, from the mount
// table in use. A mount path that appears twice is offered once, as the mount
// that was made last (it hides the earlier one).
std::vector<TDirectoryInfo> ListDrives();
std::vector<TDirectoryInfo> ListDrives(const std::vector<plat::TMountEntry>& Mounts);

// The display name of a place: for a mount point its volume label or mount
// path, for any other folder its own name.
void ShellDisplayName(const std::string& Path, std::string& Name);

// Appends one record per listed sub-folder of Path (which ends in "/"), in
// the order the file system returns them; true when List is not empty
// afterwards. A folder that cannot be listed adds nothing.
bool AddSubFolders(const std::string& Path, TDirectoryList& List);

// A folder's path with exactly one trailing "/".
std::string WithSlash(const std::string& Path);

} // namespace places
