// The places tree without its widget: the drives offered from the mount
// table, display names and the listing of sub-folders.
#include <gtest/gtest.h>

#include "finder/core/PlacesTree.h"
#include "platform/DirectoryReader.h"
#include "tests/common/FakeMountTable.h"
#include "tests/common/TempTree.h"

using namespace corvane_test;
using plat::TMountKind;

namespace {

std::string Drives(const std::vector<TDirectoryInfo>& List) {
    std::string S;
    for (const auto& D : List) S += D.Path + "=" + D.DisplayName + " ";
    return S;
}

} // namespace

// Fixed disks and ready removable media with room; a later mount on a path
// hides the earlier one (a RAM disk over a disk's folder is no drive).
TEST(PlacesDrives, OfferedFromTheMountTable) {
    const std::vector<plat::TMountEntry> Mounts = {
        Mount("/", TMountKind::Fixed), Mount("/boot", TMountKind::Fixed, "BOOT"),
        Mount("/media/full", TMountKind::Removable, "FULL", true, 0),
        Mount("/media/notready", TMountKind::Removable, "", false, 4096),
        Mount("/media/stick", TMountKind::Removable, "STICK", true, 4096),
        Mount("/mnt/share", TMountKind::Hidden, "", true, 1 << 30, "nfs"), Mount("/data", TMountKind::Fixed, "DATA"),
        Mount("/data", TMountKind::Hidden, "", true, 1 << 20, "tmpfs"),
        Mount("/srv", TMountKind::Hidden, "", true, 1 << 20, "tmpfs"), Mount("/srv", TMountKind::Fixed, "SRV")};
    EXPECT_EQ(Drives(places::ListDrives(Mounts)), "/=/ /boot/=BOOT /media/stick/=STICK /srv/=SRV ");
    ScopedMountTable Fake({Mount("/", TMountKind::Fixed, "System"), Mount("/media/stick", TMountKind::Removable, "STICK"),
                           Mount("/home", TMountKind::Fixed)});
    EXPECT_EQ(Drives(places::ListDrives()), "/=System /media/stick/=STICK /home/=/home ");
    // A mount point shows its label, any other folder its own name.
    std::string Name = "stale";
    const std::pair<const char*, const char*> Names[] = {{"/media/stick", "STICK"}, {"/home/anna/", "anna"},
                                                          {"/home/anna/Music", "Music"}, {"", ""}};
    for (const auto& [Path, Want] : Names) {
        places::ShellDisplayName(Path, Name);
        EXPECT_EQ(Name, Want) << Path;
    }
}

// Folders only, hidden and read-only ones too, in name order without letter
// case; no links, files or pipes; appended to what the list holds.
TEST_F(TempTreeTest, AddSubFoldersListsFoldersOnly) {
    for (const char* D : {"plain/deeper", ".hidden", "Readme"}) Tree.Dir(D);
    Tree.Dir("readonly", {.Mode = 0555});
    Tree.File("file.txt");
    Tree.Link("link-to-plain", "plain");
    Tree.Fifo("pipe");
    TDirectoryList List;
    List.push_back(std::make_unique<TDirectoryInfo>(TDirectoryInfo{"kept", "/kept/"}));
    EXPECT_TRUE(places::AddSubFolders(Tree.Root(), List));
    std::string Listed;
    for (const auto& I : List) Listed += I->DisplayName + " ";
    EXPECT_EQ(Listed, "kept .hidden plain Readme readonly ");
    EXPECT_EQ(List[4]->Path, Tree.Root() + "/readonly/");
    for (const std::string Rel : {"plain/deeper", "file.txt", "missing"}) {
        TDirectoryList None;
        EXPECT_FALSE(places::AddSubFolders(Tree.Path(Rel) + "/", None)) << Rel;
    }
    // A system folder (a pseudo file system's mount point) is no place.
    EXPECT_FALSE(places::IsListedFolderAttr(plat::FILE_ATTRIBUTE_DIRECTORY | plat::FILE_ATTRIBUTE_SYSTEM));
}
