// The shredder: overwrite passes, deletion, protected places and the run.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <utility>

#include <string>
#include <vector>

#include "finder/core/FileWipe.h"
#include "tests/common/MountNamespace.h"
#include "tests/common/TempTree.h"

using corvane_test::TempTree;
using finder::TEraseStatus;

namespace {

// Keeps a file open, so that its bytes can be read after its name is gone.
class Held {
public:
    explicit Held(const std::string& Path) : FFd(::open(Path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (FFd < 0) throw std::runtime_error("open " + Path);
    }
    ~Held() { ::close(FFd); }
    std::string Bytes(uint64_t At = 0, size_t Max = SIZE_MAX) const {
        std::string Out;
        char Buf[65536];
        for (ssize_t N; Out.size() < Max && (N = ::pread(FFd, Buf, std::min(sizeof Buf, Max - Out.size()),
                                                         off_t(At + Out.size()))) > 0;)
            Out.append(Buf, size_t(N));
        return Out;
    }
    uint64_t Allocated() const {
        struct stat St {};
        ::fstat(FFd, &St);
        return uint64_t(St.st_blocks) * 512;
    }

private:
    int FFd;
};

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
    const Held Keep(F);
    std::vector<std::string> AfterPass;
    finder::TPaintPump Pump = [&] { AfterPass.push_back(Keep.Bytes()); };

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
    const Held Keep(F);
    EraseRun R(T.Path("prog"));
    R.Add(F, "File");
    R.Go();
    ASSERT_EQ(R.Summary.Items.size(), 1u);
    EXPECT_EQ(R.Status(0), TEraseStatus::Succeeded);
    EXPECT_FALSE(T.Exists("data/letter.txt"));
    EXPECT_FALSE(T.Exists("data/$000000.tmp"));
    const std::string After = Keep.Bytes();
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
    const Held KeepA(A);

    EraseRun R(T.Path("prog"));
    R.Add(T.Path("victim"), "Folder");
    R.Go();
    EXPECT_EQ(R.Status(0), TEraseStatus::Succeeded);
    EXPECT_FALSE(T.Exists("victim"));
    EXPECT_EQ(T.Read("outside/target.txt"), "must survive");
    EXPECT_EQ(T.Read("outside/dir/inner"), "also survives");
    const std::string After = KeepA.Bytes();
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
    T.File("home/etc/fstab", {.Content = "mounts"});
    T.File("home/notes.txt", {.Content = "notes"});
    EraseRun R(T.Path("home/prog"));
    R.Ctx.ProtectedFiles = {T.Path("home/etc/fstab")};
    R.Add(T.Path("home"), "Folder");
    R.Go();
    EXPECT_EQ(R.Status(0), TEraseStatus::Failed);  // the folder is still there
    EXPECT_EQ(T.Read("home/prog/corvane"), "program");
    EXPECT_EQ(T.Read("home/etc/fstab"), "mounts");  // neither removed nor overwritten
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
    R.Ctx.ProtectedFiles = {T.Path("etc/fstab")};
    R.Add(T.Path("etc/fstab"), "File");  // protected, but missing: that is said first
    R.Go();
    const std::vector<TEraseStatus> Want{TEraseStatus::Succeeded, TEraseStatus::NotExist, TEraseStatus::Failed,
                                         TEraseStatus::Protected, TEraseStatus::Protected, TEraseStatus::Protected,
                                         TEraseStatus::Failed,    TEraseStatus::NotExist};
    ASSERT_EQ(R.Summary.Items.size(), Want.size());
    for (size_t I = 0; I < Want.size(); ++I) EXPECT_EQ(R.Status(I), Want[I]) << R.Summary.Items[I].Caption;
    EXPECT_EQ(T.Read("unticked"), "stays");
    EXPECT_EQ(T.Read("prog/corvaneUpdate"), "u");
    EXPECT_TRUE(T.Exists("pipe"));
    EXPECT_EQ(R.Summary.DelStatus1, "9 items have been found. 8 items were selected for erasion.");
    EXPECT_EQ(R.Summary.DelStatus2, "1 items have been erased successfully.");
    EXPECT_EQ(R.Summary.DelStatus3, "Fail to erase 7 items.");
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

// Another file system, or another mount of the same one (a bind mount of a
// folder elsewhere), inside an erased folder is neither entered nor
// emptied. The mounts live in a private namespace of a child process.
class MountInside : public ::testing::TestWithParam<bool> {};

TEST_P(MountInside, IsNeverEntered) {
    TempTree T;
    T.File("victim/own.txt", {.Content = "own"});
    T.File("home/doc.txt", {.Content = "other fs"});
    const std::string Mnt = T.Dir("victim/chroot/home");
    const int Result = corvane_test::InPrivateMounts([&] {
        if (GetParam()) {
            corvane_test::TmpfsOrSkip(Mnt);
            if (FILE* F = std::fopen((Mnt + "/doc.txt").c_str(), "w")) {
                std::fputs("other fs", F);
                std::fclose(F);
            }
        } else {
            corvane_test::BindOrSkip(T.Path("home"), Mnt);
        }
        EraseRun R(T.Path("prog"));
        R.Add(T.Path("victim"), "Folder");
        R.Go();
        return R.Status(0) == TEraseStatus::Failed && T.Read("victim/chroot/home/doc.txt") == "other fs" &&
               !T.Exists("victim/own.txt");
    });
    if (Result == corvane_test::NoPrivateMounts) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(Result, 0);
    EXPECT_EQ(T.Read("home/doc.txt"), "other fs");
}
INSTANTIATE_TEST_SUITE_P(Mounts, MountInside, ::testing::Bool(),
                         [](const auto& I) { return std::string(I.param ? "OtherFileSystem" : "BindMountOfTheSame"); });

// What changes while an item is overwritten (made to happen between the
// first two passes) is never followed, and nothing outside the item is
// touched: a changed item is "Failed" and left alone.
struct RaceCase {
    const char* Label;
    const char* Item;
    const char* Type;
    std::function<void(TempTree&)> Change;
    TEraseStatus Want;
    const char* Left;  // what must still be there afterwards, or nullptr
};

class ChangedWhileWiping : public ::testing::TestWithParam<RaceCase> {};

TEST_P(ChangedWhileWiping, NeverReachesOutside) {
    const RaceCase& C = GetParam();
    TempTree T;
    T.File("victim/a.txt", {.Content = "alpha", .Size = 5000});
    T.File("victim/sub/b.txt", {.Content = "beta"});
    T.File("outside/a.txt", {.Content = "keep"});
    T.File("outside/b.txt", {.Content = "keep"});
    EraseRun R(T.Path("prog"));
    bool Done = false;
    R.Ctx.PaintPump = [&] {
        if (!std::exchange(Done, true)) C.Change(T);
    };
    R.Add(T.Path(C.Item), C.Type);
    R.Go();
    EXPECT_EQ(R.Status(0), C.Want);
    EXPECT_EQ(T.Read("outside/a.txt"), "keep");
    EXPECT_EQ(T.Read("outside/b.txt"), "keep");
    if (C.Left) {
        EXPECT_TRUE(T.Exists(C.Left));
    }
}

void SwapForLink(TempTree& T, const std::string& Rel, const std::string& To) {
    ::rename(T.Path(Rel).c_str(), T.Path(Rel + "-old").c_str());
    T.Link(Rel, T.Path(To));
}

INSTANTIATE_TEST_SUITE_P(
    Races, ChangedWhileWiping,
    ::testing::Values(
        RaceCase{"FolderInsideSwappedForALink", "victim", "Folder",
                 [](TempTree& T) { SwapForLink(T, "victim/sub", "outside"); }, TEraseStatus::Failed,
                 "victim/sub-old/b.txt"},
        // The chosen file itself is still the one overwritten: it goes from
        // the folder it was found in.
        RaceCase{"ParentOfAFileSwappedForALink", "victim/a.txt", "File",
                 [](TempTree& T) { SwapForLink(T, "victim", "outside"); }, TEraseStatus::Succeeded, nullptr},
        RaceCase{"FileGrowsBetweenPasses", "victim/a.txt", "File",
                 [](TempTree& T) {
                     if (FILE* F = std::fopen(T.Path("victim/a.txt").c_str(), "a")) {
                         std::fputs("appended", F);
                         std::fclose(F);
                     }
                 },
                 TEraseStatus::Failed, "victim/a.txt"},
        RaceCase{"FileReplacedBetweenPasses", "victim/a.txt", "File",
                 [](TempTree& T) {
                     T.File("victim/new", {.Content = "new"});
                     ::rename(T.Path("victim/new").c_str(), T.Path("victim/a.txt").c_str());
                 },
                 TEraseStatus::Failed, "victim/a.txt"}),
    [](const auto& I) { return std::string(I.param.Label); });

// A file with more than one name keeps its data under the others: it is
// neither overwritten nor removed, also when the other name is protected.
TEST(EraseItems, AFileWithOtherNamesIsLeftWhole) {
    TempTree T;
    T.File("etc/fstab", {.Content = "mounts"});
    T.Dir("victim");
    ::link(T.Path("etc/fstab").c_str(), T.Path("victim/alias").c_str());
    T.File("folder/own.txt", {.Content = "own"});
    T.File("backup/photo.jpg", {.Content = "picture"});
    ::link(T.Path("backup/photo.jpg").c_str(), T.Path("folder/photo.jpg").c_str());
    EraseRun R(T.Path("prog"));
    R.Ctx.ProtectedFiles = {T.Path("etc/fstab")};
    R.Add(T.Path("victim/alias"), "File");
    R.Add(T.Path("folder"), "Folder");
    R.Go();
    EXPECT_EQ(R.Status(0), TEraseStatus::Failed);
    EXPECT_EQ(R.Status(1), TEraseStatus::Failed);
    EXPECT_EQ(T.Read("victim/alias"), "mounts");
    EXPECT_EQ(T.Read("etc/fstab"), "mounts");
    EXPECT_EQ(T.Read("folder/photo.jpg"), "picture");
    EXPECT_EQ(T.Read("backup/photo.jpg"), "picture");
    EXPECT_FALSE(T.Exists("folder/own.txt"));
}

// Only the parts of a sparse file that hold data are overwritten: its holes
// stay holes, so a large sparse file cannot fill its file system.
TEST(EraseItems, ASparseFileIsOverwrittenWhereItHoldsData) {
    TempTree T;
    const std::string F = T.File("sparse.img", {.Size = 64ull << 20});
    {
        const int Fd = ::open(F.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(Fd, 0);
        ASSERT_EQ(::pwrite(Fd, "secret", 6, 0), 6);
        ASSERT_EQ(::pwrite(Fd, "secret", 6, 32 << 20), 6);
        ::close(Fd);
    }
    const Held Keep(F);
    const uint64_t Before = Keep.Allocated();
    ASSERT_LT(Before, 1u << 20);
    EraseRun R(T.Path("prog"));
    R.Add(F, "File");
    R.Go();
    EXPECT_EQ(R.Status(0), TEraseStatus::Succeeded);
    EXPECT_LE(Keep.Allocated(), Before);
    EXPECT_EQ(Keep.Bytes(0, 6).find("secret"), std::string::npos);
    EXPECT_EQ(Keep.Bytes(32 << 20, 6).find("secret"), std::string::npos);
    EXPECT_EQ(Keep.Bytes(0, SIZE_MAX).size(), 64u << 20);
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
