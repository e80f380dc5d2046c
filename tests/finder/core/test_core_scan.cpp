// The walk: places in order, symbolic links, folders seen twice, protected
// folders, stops and errors.
#include <gtest/gtest.h>

#include <algorithm>

#include "finder/core/ScanCore.h"
#include "tests/common/FileModes.h"
#include "tests/common/MountNamespace.h"
#include "tests/finder/core/CoreTestSupport.h"

using namespace finder;
using namespace core_test;
using corvane_test::TempTreeTest;

namespace {

class ScanTest : public TempTreeTest {
protected:
    TScanOptions Options;
    TGroupList Groups;
    uint8_t RunState = rsIdle;

    void SetUp() override
    {
        Options.PumpIntervalMs = 0;
        Options.Match.Kind = TScanKind::FileBye;
    }
    TScanOutcome Run(std::function<void()> Pump = {}, TMatchHooks Hooks = {})
    {
        return Scan(Options, Groups, RunState, std::move(Pump), std::move(Hooks));
    }
    void Place(const std::string& Rel, bool FilesOnly = false) { Options.Places.push_back({Tree.Path(Rel), FilesOnly}); }
    // Every member path of every group with two or more members, sorted.
    std::vector<std::vector<std::string>> Duplicates() const
    {
        std::vector<std::vector<std::string>> Out;
        for (const auto& G : Groups) {
            if (G->Count < 2) continue;
            std::vector<std::string> P;
            if (G->Kind() == TGroupKind::SameName) {
                for (const auto& F : static_cast<const TSearchStat&>(*G).Files)
                    P.push_back(F.Folder + static_cast<const TSearchStat&>(*G).Name);
            } else {
                P = MemberPaths<TSearchStatBye>(*G);
            }
            std::sort(P.begin(), P.end());
            Out.push_back(P);
        }
        return Out;
    }
};

} // namespace

TEST_F(ScanTest, FindsDuplicatesInSubFoldersAndFinishes)
{
    Tree.File("a/x.txt", {.Content = "one"});
    Tree.File("a/deep/er/y.txt", {.Content = "one"});
    Tree.File("a/z.txt", {.Content = "two"});
    Place("a");
    const TScanOutcome O = Run();
    EXPECT_FALSE(O.Failed);
    EXPECT_EQ(RunState, rsFinished);
    EXPECT_EQ(Duplicates(), (std::vector<std::vector<std::string>>{
                                {Tree.Path("a/deep/er/y.txt"), Tree.Path("a/x.txt")}}));
}

TEST_F(ScanTest, PlacesAreScannedInTheOrderGiven)
{
    Tree.File("p1/a.txt", {.Content = "1"});
    Tree.File("p2/a.txt", {.Content = "22"});
    Options.Match.Kind = TScanKind::FileName;
    Place("p2");
    Place("p1");
    Run();
    ASSERT_EQ(Groups.size(), 1u);
    const auto& G = static_cast<const TSearchStat&>(*Groups[0]);
    EXPECT_EQ(G.Files[0].Folder.str(), Tree.Path("p2/"));
    EXPECT_EQ(G.Files[1].Folder.str(), Tree.Path("p1/"));
}

TEST_F(ScanTest, SymbolicLinksAreNeverFollowed)
{
    Tree.File("a/x.txt", {.Content = "same"});
    Tree.File("b/y.txt", {.Content = "other"});
    Tree.Link("a/link.txt", "x.txt");
    Tree.Link("a/linkdir", "../b");
    Tree.Link("c", "a");
    Place("a");
    Place("c");
    Run();
    EXPECT_TRUE(Duplicates().empty());
    ASSERT_EQ(Groups.size(), 1u);
}

TEST_F(ScanTest, OverlappingPlacesCannotMakeAFileItsOwnDuplicate)
{
    Tree.File("a/x.txt", {.Content = "same"});
    Tree.File("a/sub/y.txt", {.Content = "same"});
    Place("a/sub");
    Place("a");
    Place("a//sub/");
    Run();
    EXPECT_EQ(Duplicates(), (std::vector<std::vector<std::string>>{{Tree.Path("a/sub/y.txt"), Tree.Path("a/x.txt")}}));
}

// A file reached under a second path (another name of it, a bind mount of
// it or of its folder) is one file: only the first path met takes part, so
// a file is never its own duplicate. Mounts are made in a private namespace.
struct TwoPathsCase {
    const char* Label;
    TScanKind Kind;
    bool Mounts;
    std::function<void(corvane_test::TempTree&)> SecondPath;
};

class TwoPathsTest : public ScanTest, public ::testing::WithParamInterface<TwoPathsCase> {};

TEST_P(TwoPathsTest, OnlyTheFirstPathTakesPart)
{
    const TwoPathsCase& C = GetParam();
    Options.Match.Kind = C.Kind;
    Tree.File("a/x.txt", {.Content = "same"});
    Tree.File("b/x.txt", {.Content = "same"});  // a real copy
    Tree.File("c/y.txt", {.Content = "other"});
    Tree.File("c/x.txt", {.Content = "else"});
    Tree.Dir("c/m");
    Place("a");
    Place("b");
    Place("c");
    const std::vector<std::vector<std::string>> Want{{Tree.Path("a/x.txt"), Tree.Path("b/x.txt")}};
    if (!C.Mounts) {
        C.SecondPath(Tree);
        Run();
        EXPECT_EQ(Duplicates(), Want);
        return;
    }
    const int R = corvane_test::InPrivateMounts([&] {
        C.SecondPath(Tree);
        Run();
        return Duplicates() == Want;
    });
    if (R == corvane_test::NoPrivateMounts) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(R, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, TwoPathsTest,
    ::testing::Values(
        TwoPathsCase{"HardLinkOtherName", TScanKind::FileBye, false,
                     [](auto& T) { ::link(T.Path("a/x.txt").c_str(), T.Path("c/z.txt").c_str()); }},
        TwoPathsCase{"HardLinkSameName", TScanKind::FileName, false,
                     [](auto& T) {
                         ::unlink(T.Path("c/x.txt").c_str());
                         ::link(T.Path("a/x.txt").c_str(), T.Path("c/x.txt").c_str());
                     }},
        TwoPathsCase{"FileMountedOverAnother", TScanKind::FileBye, true,
                     [](auto& T) { corvane_test::BindOrSkip(T.Path("a/x.txt"), T.Path("c/y.txt")); }},
        TwoPathsCase{"FileMountedOverAnotherSameName", TScanKind::FileName, true,
                     [](auto& T) { corvane_test::BindOrSkip(T.Path("a/x.txt"), T.Path("c/x.txt")); }},
        TwoPathsCase{"FolderMountedInsideAPlace", TScanKind::FileBye, true,
                     [](auto& T) { corvane_test::BindOrSkip(T.Path("a"), T.Path("c/m")); }}),
    [](const auto& Info) { return std::string(Info.param.Label); });

TEST_F(ScanTest, FilesOnlyPlaceThenWholeWalkStillEntersItsSubFolders)
{
    Tree.File("a/x.txt", {.Content = "same"});
    Tree.File("a/sub/y.txt", {.Content = "same"});
    Tree.File("top/z.txt", {.Content = "same"});
    Place("a", true);   // an expanded node: its own files only
    Place("a/sub", true);
    Run();
    EXPECT_EQ(Duplicates().size(), 1u);
    EXPECT_EQ(Duplicates()[0].size(), 2u);
    Groups.clear();
    Options.Places.clear();
    Place("a", true);
    Place("", false);   // an unexpanded ancestor: the whole tree, a/ listed once
    Run();
    ASSERT_EQ(Duplicates().size(), 1u);
    EXPECT_EQ(Duplicates()[0].size(), 3u);
}

TEST_F(ScanTest, ProtectedSystemFolderIsNotEntered)
{
    Tree.File("sys/a.txt", {.Content = "same"});
    Tree.File("data/b.txt", {.Content = "same"});
    Options.WindowsDir = Tree.Path("SYS");  // compared without letter case
    Place("");
    Run();
    EXPECT_TRUE(Duplicates().empty());
    Groups.clear();
    Options.ProtectSystemFolders = false;
    Run();
    EXPECT_EQ(Duplicates().size(), 1u);
    Groups.clear();
    Options.ProtectSystemFolders = true;
    Options.Places.clear();
    Place("sys");       // the protected folder itself as a place
    Place("sys/");
    Run();
    EXPECT_TRUE(Groups.empty());
}

TEST_F(ScanTest, NormalisesDoubledSlashes)
{
    EXPECT_EQ(NormaliseFolder("/a//b"), "/a/b/");
    EXPECT_EQ(NormaliseFolder("/a///b/"), "/a/b/");
    EXPECT_EQ(NormaliseFolder("/"), "/");
}

TEST_F(ScanTest, StopDuringTheWalkKeepsWhatWasFound)
{
    for (int I = 0; I < 50; ++I) Tree.File("d" + std::to_string(I) + "/f.txt", {.Content = "same"});
    Place("");
    int Calls = 0;
    std::vector<std::string> Messages;
    const TScanOutcome O = Run([&] {
        if (++Calls == 40) RunState = rsStopRequested;
    });
    EXPECT_FALSE(O.Failed);
    EXPECT_EQ(RunState, rsStopRequested);
    int Members = 0;
    for (const auto& G : Groups) Members += G->Count;
    EXPECT_GT(Members, 0);
    EXPECT_LT(Members, 50);
    EXPECT_LE(Calls, 41);  // every loop left at its next test
}

TEST_F(ScanTest, StopBeforeTheFirstPlaceScansNothing)
{
    Tree.File("a/x.txt");
    Place("a");
    RunState = rsStopRequested;
    TScanRun R(Options, RunState, Groups);
    R.Run();
    EXPECT_TRUE(Groups.empty());
    EXPECT_EQ(RunState, rsStopRequested);
}

TEST_F(ScanTest, AnErrorEndsTheRunCleanlyAndKeepsTheGroups)
{
    Options.Match.Kind = TScanKind::Title;
    Options.Match.Mode = Options.Match.Filter.Mode = 3;
    Tree.File("m1/a.mp3", {.Content = "1"});
    Tree.File("m2/b.mp3", {.Content = "2"});
    Tree.File("m3/bad.ogg", {.Content = "3"});
    Tree.File("m4/c.mp3", {.Content = "4"});
    Place("m1");
    Place("m2");
    Place("m3");
    Place("m4");
    TMatchHooks Hooks;
    int Reads = 0;
    Hooks.ReadMusicTags = [&](const std::string& P, std::vector<std::string>& L) {
        ++Reads;
        if (P.find("bad") != std::string::npos) throw std::runtime_error("cannot open bad.ogg");
        L = {"Song", "", "", ""};
        return 4;
    };
    const TScanOutcome O = Run({}, Hooks);
    EXPECT_TRUE(O.Failed);
    EXPECT_EQ(O.Error, "cannot open bad.ogg");
    EXPECT_EQ(RunState, rsStopRequested);
    ASSERT_EQ(Groups.size(), 1u);
    EXPECT_EQ(Groups[0]->Count, 2);  // c.mp3 was never reached
}

// With the tag readers themselves: a song that cannot be read has no tags,
// and the scan goes on to the songs after it.
TEST_F(ScanTest, UnreadableSongsHaveNoTagsAndTheScanGoesOn)
{
    Options.Match.Kind = TScanKind::Title;
    Options.Match.Mode = Options.Match.Filter.Mode = 3;
    Options.Match.Filter.MusicAll = false; // the five ticked types, ".rm" and ".flac" among them
    // A RealMedia file that holds only a content chunk titled "Song".
    const std::string Song = std::string("CONT\0\0\0\x16\0\0\0\x04Song", 16) + std::string(6, '\0');
    Tree.File("1/a.rm", {.Content = Song});
    for (const char* Name : {"2/x.ogg", "2/y.flac", "2/z.rm"}) Tree.File(Name, {.Content = Song, .Mode = 0});
    Tree.File("3/b.rm", {.Content = Song});
    Place("");
    corvane_test::TFileModesApply Modes;
    ASSERT_TRUE(Modes.Ok());
    const TScanOutcome O = Run();
    EXPECT_FALSE(O.Failed) << O.Error;
    ASSERT_EQ(Groups.size(), 1u);
    EXPECT_EQ(Groups[0]->Count, 2); // a.rm and b.rm
}

TEST_F(ScanTest, CountersFollowTheGroups)
{
    Tree.File("1/a.txt", {.Content = "x"});
    Tree.File("2/a.txt", {.Content = "x"});
    Tree.File("3/a.txt", {.Content = "x"});
    Tree.File("3/b.txt", {.Content = "yy"});
    Place("1");
    Place("2");
    Place("3");
    RunState = rsRunning;
    TScanRun R(Options, RunState, Groups);
    R.Run();
    EXPECT_EQ(R.DuplicateGroups(), 1);
    EXPECT_EQ(R.DuplicateFiles(), 3);
}

TEST_F(ScanTest, ScanMessageShowsEachFolderEnteredAndEndsEmpty)
{
    Tree.File("a/sub/x.txt");
    Tree.Dir("a/.hidden");
    Place("a");
    std::vector<std::string> Messages;
    RunState = rsRunning;
    TScanRun R(Options, RunState, Groups, {{}, [&](const std::string& M) { Messages.push_back(M); }});
    R.Run();
    ASSERT_FALSE(Messages.empty());
    EXPECT_EQ(Messages.back(), "");
    EXPECT_NE(std::find(Messages.begin(), Messages.end(), Tree.Path("a/sub")), Messages.end());
    EXPECT_NE(std::find(Messages.begin(), Messages.end(), Tree.Path("a/.hidden")), Messages.end());
}
