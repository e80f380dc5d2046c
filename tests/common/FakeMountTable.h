#pragma once
// A mount table that tests fill by hand.
#include <memory>
#include <vector>

#include "platform/MountTable.h"

namespace corvane_test {

class FakeMountTable : public plat::IMountTable {
public:
    std::vector<plat::TMountEntry> Entries;
    std::vector<plat::TMountEntry> Mounts() override { return Entries; }
};

inline plat::TMountEntry Mount(const std::string& Path, plat::TMountKind Kind, const std::string& Label = "",
                               bool Ready = true, uint64_t Free = 1 << 20, const std::string& FsType = "ext4") {
    return {Path, FsType, "/dev/fake", Label, Kind, Ready, Free};
}

// Installs a fake table for the life of the object and restores the real one.
class ScopedMountTable {
public:
    explicit ScopedMountTable(std::vector<plat::TMountEntry> Entries) : FTable(std::make_shared<FakeMountTable>()) {
        FTable->Entries = std::move(Entries);
        plat::SetMountTable(FTable);
    }
    ~ScopedMountTable() { plat::SetMountTable(nullptr); }
    FakeMountTable& Table() { return *FTable; }

private:
    std::shared_ptr<FakeMountTable> FTable;
};

} // namespace corvane_test
