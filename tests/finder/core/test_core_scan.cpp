// The walk: places in order, hidden and read-only folders, symbolic links,
// folders and files met twice, the protected folder, stops and errors.
#include <gtest/gtest.h>

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

    void SetUp() override {
        Options.PumpIntervalMs = 0;
        Options.Match.Kind = TScanKind::FileBye;
    }
    TScanOutcome Run(std::function<void()> Pump = {}, TMatchHooks Hooks = {}) {
        Groups.clear();
        return Scan(Options, Groups, RunState, std::move(Pump), std::move(Hooks));
    }
    void Place(const std::string& Rel, bool FilesOnly = false) { Options.Places.push_back({Tree.Path(Rel), FilesOnly}); }
    // Groups of two or more, paths below the tree.
    std::string Duplicates() const { return Shape(Groups, Tree.Root(), 2); }
};

} // namespace

// Places go in the order given; hidden and read-only folders are entered;
// a place inside another, or given twice, is walked once; links (to a file,
// a folder, or as a place) are never followed.
TEST_F(ScanTest, PlacesInOrderEachFolderOnceNoLinkFollowed) {
    for (const char* F : {"b/z.txt", "a/x.txt", "a/.hidden/y.txt", "a/ro/deep/v.txt", "d/u.txt"})
        Tree.File(F, {.Content = "same"});
    Tree.Dir("a/ro", {.Mode = 0555});
    Tree.Link("a/link.txt", "x.txt");
    Tree.Link("a/linkdir", "../d");
    Tree.Link("c", "a");
    for (const char* P : {"b", "a/ro", "a", "a//ro/", "c"}) Place(P);
    EXPECT_FALSE(Run().Failed);
    EXPECT_EQ(RunState, rsFinished);
    EXPECT_EQ(Duplicates(), "[/b/z.txt /a/ro/deep/v.txt /a/.hidden/y.txt /a/x.txt]");
}

// A file reached under a second path (another name of it, a bind mount of
// it or of its folder) is one file: only the first path met takes part, so
// a file is never its own duplicate. Mounts are made in a private namespace.
struct TwoPathsCase {
    const char* Label;
    TScanKind Kind;
    bool Mount;            // bind mount From over To, else a hard link To of From
    const char *From, *To;
};

class TwoPathsTest : public ScanTest, public ::testing::WithParamInterface<TwoPathsCase> {};

TEST_P(TwoPathsTest, OnlyTheFirstPathTakesPart) {
    const TwoPathsCase& C = GetParam();
    Options.Match.Kind = C.Kind;
    Tree.File("a/x.txt", {.Content = "same"});
    Tree.File("b/x.txt", {.Content = "same"});  // a real copy
    Tree.File("c/y.txt", {.Content = "other"});
    Tree.File("c/x.txt", {.Content = "else"});
    Tree.Dir("c/m");
    for (const char* P : {"a", "b", "c"}) Place(P);
    const std::string Want = C.Kind == TScanKind::FileName ? "[/a/ /b/]" : "[/a/x.txt /b/x.txt]";
    if (!C.Mount) {
        ::unlink(Tree.Path(C.To).c_str());
        ASSERT_EQ(::link(Tree.Path(C.From).c_str(), Tree.Path(C.To).c_str()), 0);
        Run();
        EXPECT_EQ(Duplicates(), Want);
        return;
    }
    const int R = corvane_test::InPrivateMounts([&] {
        corvane_test::BindOrSkip(Tree.Path(C.From), Tree.Path(C.To));
        Run();
        return Duplicates() == Want;
    });
    if (R == corvane_test::NoPrivateMounts) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(R, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, TwoPathsTest,
    ::testing::Values(TwoPathsCase{"HardLinkOtherName", TScanKind::FileBye, false, "a/x.txt", "c/z.txt"},
                      TwoPathsCase{"HardLinkSameName", TScanKind::FileName, false, "a/x.txt", "c/x.txt"},
                      TwoPathsCase{"FileMountedOverAnother", TScanKind::FileBye, true, "a/x.txt", "c/y.txt"},
                      TwoPathsCase{"FileMountedOverAnotherSameName", TScanKind::FileName, true, "a/x.txt", "c/x.txt"},
                      TwoPathsCase{"FolderMountedInsideAPlace", TScanKind::FileBye, true, "a", "c/m"}),
    [](const auto& Info) { return std::string(Info.param.Label); });

TEST_F(ScanTest, FilesOnlyPlacesListTheirOwnFilesOnceAndAWholeWalkStillEntersThem) {
    Tree.File("a/x.txt", {.Content = "same"});
    Tree.File("a/sub/y.txt", {.Content = "same"});
    Tree.File("top/z.txt", {.Content = "same"});
    Place("a", true);  // an expanded node: its own files only
    Place("a/sub", true);
    Run();
    EXPECT_EQ(Duplicates(), "[/a/x.txt /a/sub/y.txt]");
    Options.Places.clear();
    Place("a", true);
    Place("", false);  // an unexpanded ancestor: the whole tree, a/ listed once
    Run();
    EXPECT_EQ(Duplicates(), "[/a/x.txt /a/sub/y.txt /top/z.txt]");
}

// The system folder (compared without letter case) is not entered, also
// when it is a place itself; the walk through it is held against a plain
// reference in test_review_core.cpp.
TEST_F(ScanTest, ProtectedSystemFolderIsNotEntered) {
    Tree.File("sys/a.txt", {.Content = "same"});
    Tree.File("sys/b.txt", {.Content = "same"});
    Options.WindowsDir = Tree.Path("SYS");
    for (unsigned Threads : {1u, 4u}) {
        Options.Threads = Threads;
        Options.ProtectSystemFolders = true;
        Options.Places = {{Tree.Path("sys"), false}, {Tree.Path("sys/"), false}};
        Run();
        EXPECT_TRUE(Groups.empty()) << Threads;
        Options.ProtectSystemFolders = false;
        Run();
        EXPECT_EQ(Duplicates(), "[/sys/a.txt /sys/b.txt]") << Threads;
    }
}

// A RAM file system mounted inside a place is a system folder that neither
// road enters, whatever the kind of scan; a place of its own is walked.
TEST_F(ScanTest, MountedRamFileSystemIsNotEntered) {
    Tree.File("a/x.txt", {.Content = "same"});
    Tree.Dir("a/m");
    const int R = corvane_test::InPrivateMounts([&] {
        corvane_test::TmpfsOrSkip(Tree.Path("a/m"));
        Tree.File("a/m/x.txt", {.Content = "same"});
        bool Ok = true;
        for (TScanKind Kind : {TScanKind::FileBye, TScanKind::FileName})
            for (unsigned Threads : {1u, 4u}) {
                Options.Match.Kind = Kind;
                Options.Threads = Threads;
                Options.Places.clear();
                Place("a");
                Run();
                std::string Got = Duplicates() + ";";
                Place("a/m");
                Run();
                Got += Duplicates();
                const bool Same = Got == (Kind == TScanKind::FileName ? ";[/a/ /a/m/]" : ";[/a/x.txt /a/m/x.txt]");
                if (!Same) std::fprintf(stderr, "%u threads: %s\n", Threads, Got.c_str());
                Ok &= Same;
            }
        return Ok;
    });
    if (R == corvane_test::NoPrivateMounts) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(R, 0);
}

// Where the folder listing does not tell an entry's kind, both roads look
// it up: its files and folders are scanned all the same.
TEST_F(ScanTest, EntriesOfUnknownKindAreScanned) {
    for (const char* F : {"a/x.txt", "a/sub/x.txt", "b/y.txt"}) Tree.File(F, {.Content = "same"});
    Place("");
    struct TUnknown {
        TUnknown() { plat::ListKindsAsUnknown(true); }
        ~TUnknown() { plat::ListKindsAsUnknown(false); }
    } Unknown;
    for (TScanKind Kind : {TScanKind::FileBye, TScanKind::FileName})
        for (unsigned Threads : {1u, 4u}) {
            Options.Match.Kind = Kind;
            Options.Threads = Threads;
            Run();
            EXPECT_EQ(Duplicates(), Kind == TScanKind::FileName ? "[/a/sub/ /a/]" : "[/a/sub/x.txt /a/x.txt /b/y.txt]")
                << Threads;
        }
}

TEST_F(ScanTest, StopDuringTheWalkKeepsWhatWasFound) {
    for (int I = 0; I < 50; ++I) Tree.File("d" + std::to_string(I) + "/f.txt", {.Content = "same"});
    Place("");
    int Calls = 0;
    EXPECT_FALSE(Run([&] { if (++Calls == 40) RunState = rsStopRequested; }).Failed);
    EXPECT_EQ(RunState, rsStopRequested);
    ASSERT_EQ(Groups.size(), 1u);
    EXPECT_GT(Groups[0]->Count, 1);
    EXPECT_LT(Groups[0]->Count, 50);
    EXPECT_LE(Calls, 41);  // every loop left at its next test
}

TEST_F(ScanTest, AnErrorEndsTheRunCleanlyAndKeepsTheGroups) {
    Options.Match.Kind = TScanKind::Title;
    Options.Match.Mode = Options.Match.Filter.Mode = 3;
    for (const char* F : {"m1/a.mp3", "m2/b.mp3", "m3/bad.ogg", "m4/c.mp3"}) {
        Tree.File(F);
        Place(std::string(F, 2));  // each song a place of its own
    }
    TMatchHooks Hooks;
    Hooks.ReadMusicTags = [&](const std::string& P, std::vector<std::string>& L) {
        if (P.find("bad") != std::string::npos) throw std::runtime_error("cannot open bad.ogg");
        L = {"Song", "", "", ""};
        return 4;
    };
    const TScanOutcome O = Run({}, Hooks);
    EXPECT_EQ(O.Failed ? O.Error : "no error", "cannot open bad.ogg");
    EXPECT_EQ(RunState, rsStopRequested);
    EXPECT_EQ(Duplicates(), "[/m1/a.mp3 /m2/b.mp3]");  // c.mp3 was never reached
}

// With the tag readers themselves: a song that cannot be read has no tags,
// and the scan goes on to the songs after it.
TEST_F(ScanTest, UnreadableSongsHaveNoTagsAndTheScanGoesOn) {
    Options.Match.Kind = TScanKind::Title;
    Options.Match.Mode = Options.Match.Filter.Mode = 3;
    Options.Match.Filter.MusicAll = false;  // the five ticked types, ".rm" and ".flac" among them
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
    EXPECT_EQ(Shape(Groups, Tree.Root()), "[/1/a.rm /3/b.rm]");
}
