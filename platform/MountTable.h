#pragma once
// The kernel's mount table, classified for the places tree and the walk.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace plat {

enum class TMountKind {
    Fixed,      // local block-device file system (and the root, even as an overlay)
    Removable,  // block device whose sysfs "removable" flag is 1
    Hidden      // network, optical, RAM and pseudo file systems: never offered, never entered
};

struct TMountEntry {
    std::string MountPath;   // "/" or "/media/usb" (no trailing slash except the root)
    std::string FsType;
    std::string Device;
    std::string Label;       // volume label, "" when none
    TMountKind Kind = TMountKind::Hidden;
    bool Ready = true;
    uint64_t FreeBytes = 0;  // what the user may write
};

class IMountTable {
public:
    virtual ~IMountTable() = default;
    // Sorted by mount path.
    virtual std::vector<TMountEntry> Mounts() = 0;
};

// The table in use: the real one unless a test installed another.
IMountTable& CurrentMountTable();
void SetMountTable(std::shared_ptr<IMountTable> Table);  // nullptr: the real one

// Classifies a file system type as the places tree and the walk see it.
TMountKind ClassifyFsType(const std::string& FsType, bool Removable);

// The display name of a mount: its label when it has one, else its path.
std::string MountDisplayName(const TMountEntry& Entry);

// What the table asks the system about a mount; tests answer from tables.
struct TMountProbe {
    std::function<bool(unsigned Major, unsigned Minor)> Removable;      // sysfs "removable" is 1
    std::function<std::string(const std::string& Device)> Label;        // "" when none
    std::function<bool(const std::string& Path, uint64_t& Free)> Space; // false: not ready
};
TMountProbe SystemMountProbe();

// The table from the text of /proc/self/mountinfo: one entry per mount path
// (the topmost mount wins), sorted by path; malformed lines are skipped.
std::vector<TMountEntry> ParseMountInfo(const std::string& Text, const TMountProbe& Probe);

// Device and inode (DeviceId form) of every file mounted over a name (a
// bind mount of a single file), from the kernel's own table: such a file
// is reached under two paths. Network mounts are not asked.
std::vector<std::pair<uint64_t, uint64_t>> FileMountIdentities();

// The mount of the table whose path is exactly Path, nullptr when none.
const TMountEntry* FindMount(const std::vector<TMountEntry>& Mounts, const std::string& Path);

} // namespace plat
