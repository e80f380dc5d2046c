// The shredder: overwrite passes, deletion, protected places and the run.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "finder/core/FileWipe.h"
#include "tests/common/TempTree.h"

using corvane_test::TempTree;
using finder::TEraseStatus;

namespace {

// Keeps a second name of a file outside the erased place, so its bytes can
// be read after the listed name is gone.
std::string HardLink(const std::string& From, const std::string& To) {
    if (::link(From.c_str(), To.c_str()) != 0) throw std::runtime_error("link " + To);
    return To;
}

bool AllBytes(const std::string& S, char C) { return S.find_first_not_of(C) == std::string::npos; }

// True when Content is the random pattern read cyclically from some start
// offset other than 0.
bool IsRandomPattern(const std::string& Content, const std::vector<uint8_t>& R) {
    for (size_t Off = 1; Off < finder::WipeBufferSize; ++Off) {
        bool Ok = true;
        for (size_t I = 0; I < Content.size() && Ok; ++I) Ok = uint8_t(Content[I]) == R[(Off + I) % R.size()];
        if (Ok) return true;
    }
    return false;
}

struct EraseRun {
    finder::TEraseContext Ctx;
    finder::TEraseSummary Summary;
    uint8_t RunState = 1;
    std::vector<finder::TEraseItem> Items;

    explicit EraseRun(const std::string& ProgramFolder) {
        Ctx.ProgramFolder = ProgramFolder + "/";
        Ctx.ProgramPath = ProgramFolder + "/corvane";
    }
    void Add(const std::string& Path, const char* Type, bool Ticked = true) { Items.push_back({Path, Type, Ticked}); }
    void Go() { finder::EraseItems(Items, RunState, Ctx, Summary); }
    TEraseStatus Status(size_t I) const { return Summary.Items.at(I).Status; }
};

} // namespace

TEST(FileWipe, PassesWriteZerosThenOnesThenRandomAndKeepTheLength) {
    TempTree T;
    const std::string F = T.File("doc.bin", {.Content = "secret!", .Size = 100000});
    const std::string Keep = HardLink(F, T.Path("keep"));
    std::vector<std::string> AfterPass;
    finder::TPaintPump Pump = [&] { AfterPass.push_back(T.Read("keep")); };

    finder::SetRandomSeed(77);
    std::vector<uint8_t> R(finder::WipeBufferSize);
    finder::FillRandom(R.data());
    finder::SetRandomSeed(77);  // WipeFile draws its buffer from the same point
    ASSERT_TRUE(finder::WipeFile(F, 3, Pump));

    ASSERT_EQ(AfterPass.size(), 3u);  // one paint pass after each flush, none throttled on a small file
    for (const std::string& S : AfterPass) ASSERT_EQ(S.size(), 100000u);
    EXPECT_TRUE(AllBytes(AfterPass[0], '\0'));
    EXPECT_TRUE(AllBytes(AfterPass[1], '\xFF'));
    EXPECT_TRUE(IsRandomPattern(AfterPass[2], R));
    EXPECT_TRUE(T.Exists("doc.bin"));  // wiping alone neither renames nor deletes
}

class WipePassCount : public ::testing::TestWithParam<std::pair<int, size_t>> {};

TEST_P(WipePassCount, IsClampedAndEmptyFilesStillGetAFlushPerPass) {
    TempTree T;
    for (const uint64_t Size : {uint64_t(0), uint64_t(70000)}) {
        const std::string F = T.File("f" + std::to_string(Size), {.Content = "x", .Size = Size});
        size_t Calls = 0;
        ASSERT_TRUE(finder::WipeFile(F, GetParam().first, [&] { ++Calls; }));
        EXPECT_EQ(Calls, GetParam().second);
        EXPECT_EQ(T.Read("f" + std::to_string(Size)).size(), Size);
    }
}
INSTANTIATE_TEST_SUITE_P(Passes, WipePassCount,
                         ::testing::Values(std::pair{0, size_t(1)}, std::pair{3, size_t(3)},
                                           std::pair{5, size_t(5)}, std::pair{25, size_t(10)}));

TEST(FileWipe, RefusesWhatIsNoRegularFile) {
    TempTree T;
    const std::string Target = T.File("target", {.Content = "keep me"});
    EXPECT_FALSE(finder::WipeFile(T.Link("link", Target), 3, {}));
    EXPECT_FALSE(finder::WipeFile(T.Fifo("pipe"), 3, {}));
    EXPECT_FALSE(finder::WipeFile(T.Path("missing"), 3, {}));
    EXPECT_FALSE(finder::WipeFile(T.Dir("dir"), 3, {}));
    EXPECT_EQ(T.Read("target"), "keep me");
}

TEST(FileWipe, ReadOnlyFileGetsOwnerWriteOnly) {
    TempTree T;
    const std::string F = T.File("ro", {.Content = "abc", .Mode = 0440});
    ASSERT_TRUE(finder::WipeFile(F, 3, {}));
    struct stat St {};
    ASSERT_EQ(::stat(F.c_str(), &St), 0);
    EXPECT_EQ(St.st_mode & 07777, 0640u);
}

TEST(EraseItems, SingleFileIsOverwrittenThenRemovedUnderTheNeutralName) {
    TempTree T;
    const std::string F = T.File("data/letter.txt", {.Content = "dear friend", .Size = 5000});
    const std::string Keep = HardLink(F, T.Path("keep"));
    EraseRun R(T.Path("prog"));
    R.Add(F, "File");
    R.Go();
    ASSERT_EQ(R.Summary.Items.size(), 1u);
    EXPECT_EQ(R.Status(0), TEraseStatus::Succeeded);
    EXPECT_FALSE(T.Exists("data/letter.txt"));
    EXPECT_FALSE(T.Exists("data/$000000.tmp"));
    const std::string After = T.Read("keep");
    EXPECT_EQ(After.size(), 5000u);
    EXPECT_EQ(After.find("dear"), std::string::npos);
}

TEST(EraseItems, AFileAlreadyBearingTheNeutralNameSurvives) {
    TempTree T;
    const std::string Other = T.File("d/$000000.tmp", {.Content = "unrelated"});
    const std::string F = T.File("d/victim", {.Content = "old"});
    EraseRun R(T.Path("prog"));
    R.Add(F, "File");
    R.Go();
    EXPECT_EQ(R.Status(0), TEraseStatus::Succeeded);
    EXPECT_FALSE(T.Exists("d/victim"));
    EXPECT_EQ(T.Read("d/$000000.tmp"), "unrelated");
}

TEST(EraseItems, FolderIsWipedAndRemovedWithoutFollowingLinks) {
    TempTree T;
    const std::string Outside = T.File("outside/target.txt", {.Content = "must survive"});
    T.Dir("outside/dir");
    T.File("outside/dir/inner", {.Content = "also survives"});
    const std::string A = T.File("victim/a.txt", {.Content = "alpha", .Size = 70000});
    T.File("victim/sub/deeper/b.txt", {.Content = "beta"});
    T.File("victim/.hidden", {.Content = "gamma", .Mode = 0400});
    T.Dir("victim/empty");
    T.Link("victim/sub/to-file", Outside);
    T.Link("victim/to-dir", T.Path("outside/dir"));
    T.Link("victim/dangling", T.Path("nowhere"));
    HardLink(A, T.Path("keep-a"));

    EraseRun R(T.Path("prog"));
    R.Add(T.Path("victim"), "Folder");
    R.Go();
    EXPECT_EQ(R.Status(0), TEraseStatus::Succeeded);
    EXPECT_FALSE(T.Exists("victim"));
    EXPECT_EQ(T.Read("outside/target.txt"), "must survive");
    EXPECT_EQ(T.Read("outside/dir/inner"), "also survives");
    const std::string After = T.Read("keep-a");
    EXPECT_EQ(After.size(), 70000u);
    EXPECT_EQ(After.find("alpha"), std::string::npos);
}

TEST(EraseItems, ListedLinkGoesAsALink) {
    TempTree T;
    const std::string Target = T.File("real/file", {.Content = "target"});
    T.File("real/dir/x", {.Content = "x"});
    EraseRun R(T.Path("prog"));
    R.Add(T.Link("flink", Target), "File");
    R.Add(T.Link("dlink", T.Path("real/dir")), "Folder");
    R.Go();
    EXPECT_EQ(R.Status(0), TEraseStatus::Succeeded);
    EXPECT_EQ(R.Status(1), TEraseStatus::Succeeded);
    EXPECT_FALSE(T.Exists("flink"));
    EXPECT_FALSE(T.Exists("dlink"));
    EXPECT_EQ(T.Read("real/file"), "target");
    EXPECT_EQ(T.Read("real/dir/x"), "x");
}

TEST(EraseItems, ProtectedPlacesInsideAFolderAreLeftAndTheFolderFails) {
    TempTree T;
    T.File("home/prog/corvane", {.Content = "program"});
    T.File("home/notes.txt", {.Content = "notes"});
    EraseRun R(T.Path("home/prog"));
    R.Add(T.Path("home"), "Folder");
    R.Go();
    EXPECT_EQ(R.Status(0), TEraseStatus::Failed);  // the folder is still there
    EXPECT_EQ(T.Read("home/prog/corvane"), "program");
    EXPECT_FALSE(T.Exists("home/notes.txt"));
}

TEST(EraseItems, OutcomesAndCounts) {
    TempTree T;
    T.File("prog/corvaneUpdate", {.Content = "u"});
    T.File("prog/sub/x", {.Content = "x"});
    const std::string Ok = T.File("ok", {.Content = "fine"});
    const std::string Skipped = T.File("unticked", {.Content = "stays"});
    EraseRun R(T.Path("prog"));
    R.Add(Ok, "File");
    R.Add(T.Path("gone.txt"), "File");
    R.Add(T.Path("gone-dir"), "Folder");
    R.Ctx.ProgramFolder = T.Path("PROG") + "/";  // compared without regard to case
    R.Add(T.Path("prog/corvaneUpdate"), "File");
    R.Add(T.Path("prog"), "Folder");
    R.Add(T.Path("prog/sub"), "Folder");
    R.Add(Skipped, "File", false);
    R.Add(T.Fifo("pipe"), "File");
    R.Go();
    const std::vector<TEraseStatus> Want{TEraseStatus::Succeeded, TEraseStatus::NotExist, TEraseStatus::Failed,
                                         TEraseStatus::Protected, TEraseStatus::Protected, TEraseStatus::Protected,
                                         TEraseStatus::Failed};
    ASSERT_EQ(R.Summary.Items.size(), Want.size());
    for (size_t I = 0; I < Want.size(); ++I) EXPECT_EQ(R.Status(I), Want[I]) << R.Summary.Items[I].Caption;
    EXPECT_EQ(T.Read("unticked"), "stays");
    EXPECT_EQ(T.Read("prog/corvaneUpdate"), "u");
    EXPECT_TRUE(T.Exists("pipe"));
    EXPECT_EQ(R.Summary.DelStatus1, "8 items have been found. 7 items were selected for erasion.");
    EXPECT_EQ(R.Summary.DelStatus2, "1 items have been erased successfully.");
    EXPECT_EQ(R.Summary.DelStatus3, "Fail to erase 6 items.");
    EXPECT_TRUE(R.Summary.Red);
}

TEST(EraseItems, StopTakesEffectBeforeTheItemAfterNext) {
    TempTree T;
    EraseRun R(T.Path("prog"));
    for (const char* N : {"one", "two", "three"}) R.Add(T.File(N, {.Content = N}), "File");
    int Pumps = 0;
    R.Ctx.ProcessMessages = [&] {
        if (++Pumps == 2) R.RunState = 2;  // Stop pressed while the first file was wiped
    };
    R.Go();
    EXPECT_EQ(R.Summary.Items.size(), 2u);
    EXPECT_EQ(R.Summary.Selected, 2);
    EXPECT_FALSE(T.Exists("two"));
    EXPECT_EQ(T.Read("three"), "three");
}

// A file system mounted inside an erased folder is neither entered nor
// emptied. The mount lives in a private namespace of a child process, so
// nothing of it is seen outside; without the rights for it the case is
// skipped.
TEST(EraseItems, NeverEntersAnotherFileSystem) {
    TempTree T;
    T.File("victim/own.txt", {.Content = "own"});
    const std::string Mnt = T.Dir("victim/mnt");
    const pid_t Pid = ::fork();
    ASSERT_GE(Pid, 0);
    if (Pid == 0) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", Mnt.c_str(), "tmpfs", 0, nullptr) != 0)
            ::_exit(77);
        const std::string Inner = Mnt + "/inner.txt";
        if (FILE* F = std::fopen(Inner.c_str(), "w")) {
            std::fputs("other fs", F);
            std::fclose(F);
        }
        finder::TEraseContext Ctx;
        Ctx.ProgramFolder = T.Path("prog") + "/";
        finder::TEraseSummary Summary;
        const uint8_t State = 1;
        finder::EraseItems({{T.Path("victim"), "Folder", true}}, State, Ctx, Summary);
        std::string Left;
        if (FILE* F = std::fopen(Inner.c_str(), "r")) {
            char Buf[16] = {};
            Left = std::fgets(Buf, sizeof Buf, F) ? Buf : "";
            std::fclose(F);
        }
        const bool Ok = Summary.Items.size() == 1 && Summary.Items[0].Status == TEraseStatus::Failed &&
                        Left == "other fs" && ::access(T.Path("victim/own.txt").c_str(), F_OK) != 0;
        ::umount(Mnt.c_str());
        ::_exit(Ok ? 0 : 1);
    }
    int Status = 0;
    ASSERT_EQ(::waitpid(Pid, &Status, 0), Pid);
    ASSERT_TRUE(WIFEXITED(Status));
    if (WEXITSTATUS(Status) == 77) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(WEXITSTATUS(Status), 0);
}

struct ProtectCase {
    const char* Path;
    bool Folder;
    bool Protected;
};

class ProtectedPlaces : public ::testing::TestWithParam<ProtectCase> {};

TEST_P(ProtectedPlaces, Decide) {
    finder::TEraseContext Ctx;
    Ctx.ProgramFolder = "/opt/Corvane/";
    Ctx.ProgramPath = "/opt/Corvane/corvane";
    const ProtectCase& C = GetParam();
    EXPECT_EQ(C.Folder ? finder::IsProtectedFolder(C.Path, Ctx) : finder::IsProtectedFile(C.Path, Ctx), C.Protected)
        << C.Path;
}
INSTANTIATE_TEST_SUITE_P(
    Table, ProtectedPlaces,
    ::testing::Values(ProtectCase{"/ETC/fstab", false, true}, ProtectCase{"/etc//passwd", false, true},
                      ProtectCase{"/etc/../etc/passwd", false, true}, ProtectCase{"/boot/vmlinuz", false, true},
                      ProtectCase{"/swapfile", false, true}, ProtectCase{"/data/swapfile", false, false},
                      ProtectCase{"/opt/corvane/Corvane", false, true},
                      ProtectCase{"/opt/Corvane/unins000.dat", false, true},
                      ProtectCase{"/opt/Corvane/readme", false, false}, ProtectCase{"/", true, true},
                      ProtectCase{"//", true, true}, ProtectCase{"/usr", true, true},
                      ProtectCase{"/usr/share/doc", true, true}, ProtectCase{"/usr.old", true, true},
                      ProtectCase{"/opt/corvane", true, true}, ProtectCase{"/opt/Corvane/", true, true},
                      ProtectCase{"/opt/Corvane/skins", true, true}, ProtectCase{"/opt", true, false},
                      ProtectCase{"/home/someone/music", true, false}));
