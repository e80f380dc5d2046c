// The places tree without its widget: the attribute rule, the drives offered
// from the mount table, display names and the listing of sub-folders.
#include <algorithm>

#include <gtest/gtest.h>

#include "finder/core/PlacesTree.h"
#include "tests/common/TempTree.h"
#include "tests/common/FakeMountTable.h"

using namespace corvane_test;
using plat::TMountKind;

namespace {

std::vector<std::string> Names(const TDirectoryList& List) {
    std::vector<std::string> Out;
    for (const auto& I : List) Out.push_back(I->DisplayName);
    std::sort(Out.begin(), Out.end());
    return Out;
}

} // namespace

// ---- attribute rule ----

struct AttrCase {
    uint32_t Attr;
    bool Listed;
};

class FolderAttrTest : public ::testing::TestWithParam<AttrCase> {};

TEST_P(FolderAttrTest, OnlyTheListedWordsAreFolders) {
    EXPECT_EQ(places::IsListedFolderAttr(GetParam().Attr), GetParam().Listed) << GetParam().Attr;
}

INSTANTIATE_TEST_SUITE_P(Words, FolderAttrTest,
                         ::testing::Values(AttrCase{16, true}, AttrCase{17, true}, AttrCase{18, true},
                                           AttrCase{19, true}, AttrCase{48, true}, AttrCase{50, true},
                                           AttrCase{51, true}, AttrCase{49, false},  // read-only + archive
                                           AttrCase{20, false},                      // system
                                           AttrCase{22, false},                      // hidden + system
                                           AttrCase{16 + 8192, false},               // not content-indexed
                                           AttrCase{32, false},                      // a file
                                           AttrCase{0, false}));

// ---- drives from the mount table ----

TEST(PlacesDrives, OffersFixedAndReadyRemovableOnly) {
    const std::vector<plat::TMountEntry> Mounts = {
        Mount("/", TMountKind::Fixed),
        Mount("/boot", TMountKind::Fixed, "BOOT"),
        Mount("/media/full", TMountKind::Removable, "FULL", true, 0),
        Mount("/media/nomedia", TMountKind::Removable, "", false, 0),
        Mount("/media/notready", TMountKind::Removable, "", false, 4096),
        Mount("/media/stick", TMountKind::Removable, "STICK", true, 4096),
        Mount("/mnt/share", TMountKind::Hidden, "", true, 1 << 30, "nfs"),
        Mount("/proc", TMountKind::Hidden, "", true, 0, "proc"),
        Mount("/run", TMountKind::Hidden, "", true, 1 << 20, "tmpfs"),
    };
    const std::vector<TDirectoryInfo> Drives = places::ListDrives(Mounts);
    ASSERT_EQ(Drives.size(), 3u);
    EXPECT_EQ(Drives[0].Path, "/");
    EXPECT_EQ(Drives[0].DisplayName, "/");
    EXPECT_EQ(Drives[1].Path, "/boot/");
    EXPECT_EQ(Drives[1].DisplayName, "BOOT");
    EXPECT_EQ(Drives[2].Path, "/media/stick/");
    EXPECT_EQ(Drives[2].DisplayName, "STICK");
}

TEST(PlacesDrives, AMountOnTopOfAnotherHidesIt) {
    // A tmpfs mounted over a disk's folder makes that place a RAM disk.
    const std::vector<plat::TMountEntry> Mounts = {
        Mount("/", TMountKind::Fixed),
        Mount("/data", TMountKind::Fixed, "DATA"),
        Mount("/data", TMountKind::Hidden, "", true, 1 << 20, "tmpfs"),
        Mount("/srv", TMountKind::Hidden, "", true, 1 << 20, "tmpfs"),
        Mount("/srv", TMountKind::Fixed, "SRV"),
    };
    const std::vector<TDirectoryInfo> Drives = places::ListDrives(Mounts);
    ASSERT_EQ(Drives.size(), 2u);
    EXPECT_EQ(Drives[0].Path, "/");
    EXPECT_EQ(Drives[1].Path, "/srv/");
    EXPECT_EQ(Drives[1].DisplayName, "SRV");
}

TEST(PlacesDrives, UsesTheMountTableInUse) {
    ScopedMountTable Fake({Mount("/", TMountKind::Fixed, "System"), Mount("/x", TMountKind::Removable, "X", true, 0)});
    const std::vector<TDirectoryInfo> Drives = places::ListDrives();
    ASSERT_EQ(Drives.size(), 1u);
    EXPECT_EQ(Drives[0].DisplayName, "System");
}

// ---- display names ----

TEST(PlacesNames, MountPointsShowTheirLabelFoldersTheirName) {
    ScopedMountTable Fake({Mount("/", TMountKind::Fixed), Mount("/media/stick", TMountKind::Removable, "STICK"),
                           Mount("/home", TMountKind::Fixed)});
    std::string Name = "stale";
    const std::pair<std::string, std::string> Cases[] = {
        {"/", "/"},
        {"/media/stick/", "STICK"},
        {"/media/stick", "STICK"},
        {"/home/", "/home"},
        {"/home/anna/", "anna"},
        {"/home/anna/Music", "Music"},
        {"", ""},
    };
    for (const auto& [Path, Want] : Cases) {
        places::ShellDisplayName(Path, Name);
        EXPECT_EQ(Name, Want) << Path;
    }
}

// ---- listing sub-folders ----

TEST_F(TempTreeTest, AddSubFoldersListsHiddenAndReadOnlyFoldersOnly) {
    Tree.Dir("plain");
    Tree.Dir(".hidden");
    Tree.Dir("readonly", {.Mode = 0555});
    Tree.Dir(".hidden-readonly", {.Mode = 0555});
    Tree.Dir("plain/deeper");
    Tree.Dir("Readme");
    Tree.File("file.txt", {.Content = "x"});
    Tree.File(".hidden-file", {.Content = "x"});
    Tree.Link("link-to-plain", "plain");
    Tree.Link("link-to-root", "/");
    Tree.Fifo("pipe");

    TDirectoryList List;
    EXPECT_TRUE(places::AddSubFolders(Tree.Root() + "/", List));
    // In name order, letters without regard to case.
    std::vector<std::string> Listed;
    for (const auto& I : List) Listed.push_back(I->DisplayName);
    EXPECT_EQ(Listed, (std::vector<std::string>{".hidden", ".hidden-readonly", "plain", "Readme", "readonly"}));
    for (const auto& I : List) EXPECT_EQ(I->Path, Tree.Root() + "/" + I->DisplayName + "/");
}

TEST_F(TempTreeTest, AddSubFoldersAppendsAndTakesAPathWithoutSlash) {
    Tree.Dir("a");
    TDirectoryList List;
    List.push_back(std::make_unique<TDirectoryInfo>(TDirectoryInfo{"kept", "/kept/"}));
    EXPECT_TRUE(places::AddSubFolders(Tree.Root(), List));
    ASSERT_EQ(List.size(), 2u);
    EXPECT_EQ(List[0]->DisplayName, "kept");
    EXPECT_EQ(List[1]->Path, Tree.Root() + "/a/");
}

TEST_F(TempTreeTest, AddSubFoldersOfAnEmptyOrMissingFolderIsFalse) {
    Tree.Dir("empty");
    Tree.File("empty-but-files/x.txt", {.Content = "x"});
    for (const std::string Rel : {"empty", "empty-but-files", "missing", "empty-but-files/x.txt"}) {
        TDirectoryList List;
        EXPECT_FALSE(places::AddSubFolders(Tree.Path(Rel) + "/", List)) << Rel;
        EXPECT_TRUE(List.empty()) << Rel;
    }
}

TEST(PlacesListing, PseudoFileSystemsAreNeverListed) {
    // The real root: /proc and /sys are mount points of pseudo file systems.
    TDirectoryList List;
    places::AddSubFolders("/", List);
    const std::vector<std::string> Listed = Names(List);
    for (const char* Pseudo : {"proc", "sys"})
        EXPECT_EQ(std::count(Listed.begin(), Listed.end(), Pseudo), 0) << Pseudo;
    // The ordinary folders of the root are there.
    EXPECT_EQ(std::count(Listed.begin(), Listed.end(), "usr"), 1);
}

TEST_F(TempTreeTest, AddSubFoldersOfALargeFolderKeepsEveryEntry) {
    for (int I = 0; I < 400; ++I) Tree.Dir("d" + std::to_string(I));
    TDirectoryList List;
    EXPECT_TRUE(places::AddSubFolders(Tree.Root() + "/", List));
    EXPECT_EQ(List.size(), 400u);
}
