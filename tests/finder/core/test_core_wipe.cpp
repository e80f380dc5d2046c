// The shredder: overwrite passes, what is erased and what never is (links'
// targets, protected places, other mounts, other names of a file, what
// changes meanwhile), the run, and the list's order.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "finder/core/EraseList.h"
#include "finder/core/FileWipe.h"
#include "tests/common/MountNamespace.h"
#include "tests/common/TempTree.h"

using corvane_test::TempTree;
using finder::TEraseStatus;

namespace {

// A file kept open, so that its bytes can be read after its name is gone.
struct Held {
    const int Fd;
    explicit Held(const std::string& Path) : Fd(::open(Path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~Held() { ::close(Fd); }
    std::string Bytes(uint64_t At = 0, size_t Max = 1 << 20) const {  // one read is all of a small file
        std::string Out(Max, '\0');
        Out.resize(size_t(std::max<ssize_t>(::pread(Fd, Out.data(), Max, off_t(At)), 0)));
        return Out;
    }
};

bool AllBytes(const std::string& S, char C) { return S.find_first_not_of(C) == std::string::npos; }

struct EraseRun {
    finder::TEraseContext Ctx;
    finder::TEraseSummary Summary;
    uint8_t RunState = 1;
    std::vector<finder::TEraseItem> Items;

    explicit EraseRun(const std::string& Prog) { Ctx.ProgramFolder = Prog + "/", Ctx.ProgramPath = Prog + "/corvane"; }
    void Add(const std::string& Path, const char* Type, bool Ticked = true) {
        Items.push_back(finder::RecordEraseItem(Path, Type));
        Items.back().Ticked = Ticked;
    }
    void Go() { finder::EraseItems(Items, RunState, Ctx, Summary); }
    TEraseStatus Status(size_t I) const { return Summary.Items.at(I).Status; }
};

} // namespace

// A read-only file gets write permission for its owner only; an empty file
// is flushed once per pass too; passes are at most ten.
TEST(FileWipe, PassesWriteZerosThenOnesThenRandomAndKeepTheLength) {
    TempTree T;
    const std::string F = T.File("doc.bin", {.Content = "secret!", .Size = 100000, .Mode = 0440});
    const Held Keep(F);
    std::vector<std::string> AfterPass;
    ASSERT_TRUE(finder::WipeFile(F, 3, [&] { AfterPass.push_back(Keep.Bytes()); }));
    ASSERT_EQ(AfterPass.size(), 3u);  // one paint pass after each flush, none throttled on a small file
    for (const std::string& S : AfterPass) ASSERT_EQ(S.size(), 100000u);
    EXPECT_TRUE(AllBytes(AfterPass[0], '\0'));
    EXPECT_TRUE(AllBytes(AfterPass[1], '\xFF'));
    EXPECT_GT(std::set<char>(AfterPass[2].begin(), AfterPass[2].end()).size(), 250u);  // random bytes
    struct stat St {};
    ASSERT_EQ(::stat(F.c_str(), &St), 0);  // wiping alone neither renames nor deletes
    EXPECT_EQ(St.st_mode & 07777, 0640u);
    int Calls = 0;
    ASSERT_TRUE(finder::WipeFile(T.File("empty"), 25, [&] { ++Calls; }));
    EXPECT_EQ(Calls, 10);
}

// A file is overwritten, then removed under a neutral name (never replacing
// a file that bears it); a folder goes with its files, and links, listed or
// inside, go as links: their targets stay. Only the parts of a sparse file
// that hold data are overwritten, so that it cannot fill its file system.
TEST(EraseItems, FilesFoldersLinksAndSparseFiles) {
    TempTree T;
    const std::string Letter = T.File("data/letter.txt", {.Content = "dear friend", .Size = 5000});
    T.File("d/$000000.tmp", {.Content = "unrelated"});
    T.File("d/victim", {.Content = "old"});
    const std::string Outside = T.File("outside/target.txt", {.Content = "must survive"});
    T.File("outside/dir/inner", {.Content = "also survives"});
    const std::string A = T.File("victim/a.txt", {.Content = "alpha", .Size = 70000});
    T.File("victim/sub/deeper/b.txt", {.Content = "beta"});
    T.File("victim/.hidden", {.Content = "gamma", .Mode = 0400});
    T.Dir("victim/empty");
    T.Link("victim/sub/to-file", Outside);
    T.Link("victim/to-dir", T.Path("outside/dir"));
    T.Link("victim/dangling", T.Path("nowhere"));
    const std::string Sparse = T.File("sparse.img", {.Size = 64ull << 20});
    for (const uint64_t At : {uint64_t(0), uint64_t(32) << 20})
        std::fstream(Sparse, std::ios::in | std::ios::out | std::ios::binary).seekp(std::streamoff(At)) << "secret";
    const Held KeepLetter(Letter), KeepA(A), KeepSparse(Sparse);
    auto Stat = [&] {
        struct stat St {};
        ::fstat(KeepSparse.Fd, &St);
        return St;
    };
    const auto Before = Stat().st_blocks;
    ASSERT_LT(Before * 512, 1 << 20);

    EraseRun R(T.Path("prog"));
    R.Add(Letter, "File");
    R.Add(T.Path("d/victim"), "File");
    R.Add(T.Path("victim"), "Folder");
    R.Add(T.Link("flink", Outside), "File");
    R.Add(T.Link("dlink", T.Path("outside/dir")), "Folder");
    R.Add(Sparse, "File");
    R.Go();
    for (size_t I = 0; I < R.Items.size(); ++I) EXPECT_EQ(R.Status(I), TEraseStatus::Succeeded) << R.Items[I].Caption;
    for (const char* Gone : {"data/letter.txt", "data/$000000.tmp", "d/victim", "victim", "flink", "dlink", "sparse.img"})
        EXPECT_FALSE(T.Exists(Gone)) << Gone;
    EXPECT_EQ(T.Read("d/$000000.tmp") + T.Read("outside/target.txt") + T.Read("outside/dir/inner"),
              "unrelatedmust survivealso survives");
    const std::string After = KeepLetter.Bytes() + "|" + KeepA.Bytes() + "|" + KeepSparse.Bytes(0, 6) + "|" +
                              KeepSparse.Bytes(32 << 20, 6);  // overwritten, lengths kept
    EXPECT_EQ(After.size(), 75015u);
    for (const char* Old : {"dear", "alpha", "secret"}) EXPECT_EQ(After.find(Old), std::string::npos) << Old;
    EXPECT_LE(Stat().st_blocks, Before);
    EXPECT_EQ(Stat().st_size, 64 << 20);
}

// Protected files and folders, the program's among them, are left alone,
// also inside an erased folder, which then fails; "Not exist" is said first.
TEST(EraseItems, OutcomesAndCounts) {
    TempTree T;
    T.File("home/prog/corvaneUpdate", {.Content = "u"});
    T.File("home/prog/sub/x", {.Content = "x"});
    T.File("home/etc/passwd", {.Content = "users"});
    T.File("home/etc/shadow", {.Content = "keys"});  // protected, and its only name
    T.File("home/notes.txt", {.Content = "notes"});
    // A file with more names keeps its data under the others, a protected one among them.
    T.File("backup/photo.jpg", {.Content = "picture"});
    for (const char* Name : {"home/photo.jpg", "alias"}) ::link(T.Path("backup/photo.jpg").c_str(), T.Path(Name).c_str());
    ::link(T.Path("home/etc/passwd").c_str(), T.Path("users-alias").c_str());
    EraseRun R(T.Path("home/PROG"));  // compared without regard to case
    R.Ctx.ProtectedFiles = {T.Path("etc/fstab"), T.Path("home/etc/passwd"), T.Path("home/etc/shadow")};
    const std::tuple<std::string, const char*, TEraseStatus> Want[] = {
        {T.File("ok", {.Content = "fine"}), "File", TEraseStatus::Succeeded},
        {T.Path("gone.txt"), "File", TEraseStatus::NotExist},
        {T.Path("gone-dir"), "Folder", TEraseStatus::Failed},
        {T.Path("home/prog/corvaneUpdate"), "File", TEraseStatus::Protected},
        {T.Path("home/prog"), "Folder", TEraseStatus::Protected},
        {T.Path("home/prog/sub"), "Folder", TEraseStatus::Protected},
        {T.Path("home/etc/passwd"), "File", TEraseStatus::Protected},
        {T.Path("alias"), "File", TEraseStatus::Failed},
        {T.Path("users-alias"), "File", TEraseStatus::Failed},
        {T.Fifo("pipe"), "File", TEraseStatus::Failed},
        {T.Path("etc/fstab"), "File", TEraseStatus::NotExist},
        {T.Path("home"), "Folder", TEraseStatus::Failed}};
    for (const auto& [Path, Type, Status] : Want) R.Add(Path, Type);
    R.Add(T.File("unticked", {.Content = "stays"}), "File", false);
    R.Go();
    ASSERT_EQ(R.Summary.Items.size(), std::size(Want));
    for (size_t I = 0; I < std::size(Want); ++I) EXPECT_EQ(R.Status(I), std::get<2>(Want[I])) << std::get<0>(Want[I]);
    for (const char* Kept : {"unticked", "home/prog/corvaneUpdate", "home/prog/sub/x", "pipe", "home/photo.jpg"})
        EXPECT_TRUE(T.Exists(Kept)) << Kept;
    EXPECT_EQ(T.Read("home/etc/shadow") + T.Read("home/etc/passwd") + T.Read("users-alias") + T.Read("alias") +
                  T.Read("backup/photo.jpg"),
              "keysusersuserspicturepicture");
    EXPECT_FALSE(T.Exists("home/notes.txt"));
    EXPECT_EQ(R.Summary.DelStatus1, "13 items have been found. 12 items were selected for erasion.");
    EXPECT_EQ(R.Summary.DelStatus3, "Fail to erase 11 items.");
    EXPECT_TRUE(R.Summary.Red);
}

// Stop, pressed while a folder is wiped, waits in the queue until the pump
// between two items delivers it: the folder finishes, and no item after it
// is started or counted.
TEST(EraseItems, StopLetsTheItemUnderWayFinishAndStartsNoOther) {
    TempTree T;
    T.File("big/a", {.Content = "a", .Size = 70000});
    T.File("big/sub/b", {.Content = "b"});
    EraseRun R(T.Path("prog"));
    R.Add(T.Path("big"), "Folder");
    R.Add(T.File("next", {.Content = "next"}), "File");
    bool Pressed = false;
    R.Ctx.PaintPump = [&] { Pressed = true; };
    R.Ctx.ProcessMessages = [&] { if (Pressed) R.RunState = 2; };
    R.Go();
    ASSERT_EQ(R.Summary.Items.size(), 1u);
    EXPECT_EQ(R.Status(0), TEraseStatus::Succeeded);
    EXPECT_FALSE(T.Exists("big"));
    EXPECT_EQ(T.Read("next"), "next");
    EXPECT_EQ(R.Summary.Selected, 1);
}

// Another file system, or another mount of the same one (a bind mount of a
// folder elsewhere), inside an erased folder is neither entered nor
// emptied; a chosen folder that is such a mount is refused whole. The
// mounts live in a private namespace of a child process.
class MountInside : public ::testing::TestWithParam<std::tuple<bool, bool>> {};

TEST_P(MountInside, IsNeverEntered) {
    const auto [OtherFs, Chosen] = GetParam();
    TempTree T;
    T.File("victim/own.txt", {.Content = "own"});
    T.File("home/doc.txt", {.Content = "other fs"});
    const std::string Rel = Chosen ? "victim" : "victim/chroot/home", Mnt = T.Dir(Rel);
    const int Result = corvane_test::InPrivateMounts([&] {
        if (OtherFs) {
            corvane_test::TmpfsOrSkip(Mnt);
            std::ofstream(Mnt + "/doc.txt") << "other fs";
        } else {
            corvane_test::BindOrSkip(T.Path("home"), Mnt);
        }
        EraseRun R(T.Path("prog"));
        R.Add(T.Path("victim"), "Folder");
        R.Go();
        return R.Status(0) == TEraseStatus::Failed && T.Read(Rel + "/doc.txt") == "other fs" &&
               (Chosen || !T.Exists("victim/own.txt"));
    });
    if (Result == corvane_test::NoPrivateMounts) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(Result, 0);
    EXPECT_EQ(T.Read("home/doc.txt"), "other fs");
}
INSTANTIATE_TEST_SUITE_P(Mounts, MountInside, ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const auto& I) {
                             return std::string(std::get<0>(I.param) ? "OtherFileSystem" : "BindMountOfTheSame") +
                                    (std::get<1>(I.param) ? "Chosen" : "");
                         });

// What changes after an item was added, before its turn or while it is
// overwritten (between two passes), is never followed, and nothing outside
// the item is touched: a changed item is "Failed" and left alone. A file
// left in place keeps its mode, though it got write permission for a wipe.
struct RaceCase {
    const char* Label;
    const char* Item;
    const char* Type;
    std::function<void(TempTree&)> Change;
    TEraseStatus Want;
    const char* Left;  // what must still be there afterwards, or nullptr
    int At = 1;        // -1: before the run; 0: at the item's turn; N: at the Nth paint pump after it
};

class ChangedWhileWiping : public ::testing::TestWithParam<RaceCase> {};

TEST_P(ChangedWhileWiping, NeverReachesOutside) {
    const RaceCase& C = GetParam();
    TempTree T;
    const Held A(T.File("victim/a.txt", {.Content = "alpha", .Size = 5000, .Mode = 0400}));
    T.File("victim/sub/b.txt", {.Content = "beta"});
    T.File("outside/a.txt", {.Content = "keep"});
    T.File("outside/b.txt", {.Content = "keep"});
    EraseRun R(T.Path("prog"));
    int Calls = -1;
    R.Ctx.PaintPump = [&] {
        if (++Calls == C.At) C.Change(T);
    };
    R.Ctx.ShowItem = [&](const std::string&) { R.Ctx.PaintPump(); };
    R.Add(T.Path(C.Item), C.Type);
    if (C.At < 0) C.Change(T);
    R.Go();
    EXPECT_EQ(R.Status(0), C.Want);
    EXPECT_EQ(T.Read("outside/a.txt"), "keep");
    EXPECT_EQ(T.Read("outside/b.txt"), "keep");
    if (C.Left) {
        EXPECT_TRUE(T.Exists(C.Left));
    }
    struct stat St {};
    ASSERT_EQ(::fstat(A.Fd, &St), 0);
    if (St.st_nlink > 0) {
        EXPECT_EQ(St.st_mode & 07777, 0400u);
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
                 [](TempTree& T) { std::ofstream(T.Path("victim/a.txt"), std::ios::app) << "appended"; },
                 TEraseStatus::Failed, "victim/a.txt"},
        RaceCase{"FileReplacedBetweenPasses", "victim/a.txt", "File",
                 [](TempTree& T) {
                     T.File("victim/new", {.Content = "new"});
                     ::rename(T.Path("victim/new").c_str(), T.Path("victim/a.txt").c_str());
                 },
                 TEraseStatus::Failed, "victim/a.txt"},
        RaceCase{"ParentOfAFileSwappedAfterItWasAdded", "victim/a.txt", "File",
                 [](TempTree& T) { SwapForLink(T, "victim", "outside"); }, TEraseStatus::Failed,
                 "victim-old/a.txt", -1},
        RaceCase{"ChosenFolderSwappedAfterItWasAdded", "victim", "Folder",
                 [](TempTree& T) { SwapForLink(T, "victim", "outside"); }, TEraseStatus::Failed,
                 "victim-old/a.txt", -1},
        RaceCase{"ParentOfAFileSwappedBeforeItsTurn", "victim/a.txt", "File",
                 [](TempTree& T) { SwapForLink(T, "victim", "outside"); }, TEraseStatus::Failed,
                 "victim-old/a.txt", 0},
        RaceCase{"ChosenFolderSwappedBeforeItsTurn", "victim", "Folder",
                 [](TempTree& T) { SwapForLink(T, "victim", "outside"); }, TEraseStatus::Failed, "victim", 0},
        RaceCase{"FileReplacedBeforeItsTurn", "victim/a.txt", "File",
                 [](TempTree& T) { ::rename(T.Path("victim/sub/b.txt").c_str(), T.Path("victim/a.txt").c_str()); },
                 TEraseStatus::Failed, "victim/a.txt", 0},
        // a.txt was overwritten (three passes), b.txt is being overwritten.
        RaceCase{"FileInsideGrowsBeforeItsRemoval", "victim", "Folder",
                 [](TempTree& T) { std::ofstream(T.Path("victim/a.txt"), std::ios::app) << "appended"; },
                 TEraseStatus::Failed, "victim/a.txt", 4}),
    [](const auto& I) { return std::string(I.param.Label); });

// Protected places in a temporary tree: the injected system files and
// folder, the program's own files and folders, without letter case, on the
// path as given and through a link to its folder; the root always.
TEST(EraseItems, ProtectedPlaces) {
    TempTree T;
    T.Dir("etc");
    T.Link("alias", "etc");
    const std::string R = T.Root();
    finder::TEraseContext Ctx;
    Ctx.WindowsDir = R + "/usr";
    Ctx.ProtectedFiles = {R + "/etc/fstab", R + "/etc/passwd"};
    Ctx.ProgramFolder = R + "/opt/Corvane/";
    Ctx.ProgramPath = R + "/opt/Corvane/corvane";
    const std::tuple<const char*, bool, bool> Cases[] = {
        {"/ETC/fstab", false, true}, {"/etc/../etc/passwd", false, true}, {"/alias/passwd", false, true},
        {"/data/swapfile", false, false}, {"/opt/corvane/Corvane", false, true},
        {"/opt/Corvane/unins000.dat", false, true}, {"/opt/Corvane/readme", false, false},
        {"/usr/share/doc", true, true}, {"/opt/corvane", true, true}, {"/opt/Corvane/skins", true, true},
        {"/opt", true, false}, {"/home/someone/music", true, false}};
    for (const auto& [Rel, Folder, Protected] : Cases) {
        const std::string Path = R + Rel;
        EXPECT_EQ(Folder ? finder::IsProtectedFolder(Path, Ctx) : finder::IsProtectedFile(Path, Ctx), Protected)
            << Rel;
    }
    EXPECT_TRUE(finder::IsProtectedFolder("//", Ctx));
}

// Paths compare as upper-case ASCII ("_" sorts after the letters), equal
// ones keep their order; "Add Files" and "Add Folder" take each item not yet
// listed with its type once.
TEST(EraseList, OrderAndItemsToAdd) {
    auto Make = [](const std::vector<std::pair<const char*, const char*>>& List) {
        std::vector<finder::TEraseItem> Out(List.size());
        for (size_t I = 0; I < List.size(); ++I) Out[I].Caption = List[I].first, Out[I].Type = List[I].second;
        return Out;
    };
    const auto Items = Make({{"/z", "Folder"}, {"/b", "File"}, {"/a", "Folder"}, {"/A", "File"}, {"/_x", "File"}});
    for (const auto& [Column, Want] : {std::pair{0, "/a /A /b /z /_x "}, {1, "/b /A /_x /z /a "}}) {
        std::string S;
        for (size_t I : finder::SortEraseItems(Items, Column)) S += Items[I].Caption + " ";
        EXPECT_EQ(S, Want);
    }
    EXPECT_NE(finder::CompareText("\xC3\xA9", "\xC3\x89"), 0);  // only ASCII letters fold
    std::string Added;
    const auto Chosen =
        Make({{"/a", "File"}, {"/B", "File"}, {"/b", "File"}, {"/B", "File"}, {"/a", "Folder"}, {"/y", "Folder"}});
    for (const auto& It : finder::ItemsToAdd(Items, Chosen))
        Added += It.Caption + " " + It.Type + ";";
    EXPECT_EQ(Added, "/a File;/B File;/y Folder;");
}
