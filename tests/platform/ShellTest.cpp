// The trash, moved on the path's bytes.
#include "platform/Shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

#include "common/MountNamespace.h"
#include "common/TempTree.h"
#include "platform/PathAt.h"

namespace {

using plat::MoveToTrash;

class TrashTest : public corvane_test::TempTreeTest {
protected:
    void SetUp() override {
        for (const char* Name : {"HOME", "XDG_DATA_HOME"})
            FSaved.emplace_back(Name, std::getenv(Name) ? std::optional<std::string>(std::getenv(Name)) : std::nullopt);
        // No data folder yet: the case that once sent files to ./files of the current folder.
        setenv("HOME", Tree.Path("home").c_str(), 1);
        unsetenv("XDG_DATA_HOME");
        ASSERT_TRUE(getcwd(FCwd, sizeof FCwd) && chdir(Tree.Dir("cwd").c_str()) == 0);
    }
    void TearDown() override {
        EXPECT_EQ(chdir(FCwd), 0);
        for (const auto& [Name, Value] : FSaved) Value ? setenv(Name, Value->c_str(), 1) : unsetenv(Name);
        EXPECT_FALSE(Tree.Exists("cwd/files"));
    }
    std::string Trashed(const std::string& Name) { return Tree.Read("home/.local/share/Trash/files/" + Name); }
    std::string InfoOf(const std::string& Name) { return Tree.Read("home/.local/share/Trash/info/" + Name + ".trashinfo"); }
    std::vector<std::pair<const char*, std::optional<std::string>>> FSaved;
    char FCwd[4096];
};

// Files and folders land in the home trash under their own bytes; a name the
// trash holds already gets a number, nothing is overwritten, and each keeps
// its own information. Under the elevated copy what the trash gains belongs
// to the owner of the home folder, so the user's desktop can restore it.
TEST_F(TrashTest, LandsInTheHomeTrashUnderItsOwnBytes) {
    Tree.File("work/a.txt", {.Content = "first"});
    Tree.File("work/folder/b.txt", {.Content = "b"});
    Tree.File("work/b\xff c.txt", {.Content = "latin-1 name"});
    const uid_t Owner = geteuid() == 0 ? 4321 : geteuid();
    ASSERT_EQ(chown(Tree.Dir("home").c_str(), Owner, gid_t(-1)), 0);
    std::string Error;
    for (const char* Name : {"work/a.txt", "work/folder", "work/b\xff c.txt"}) {
        EXPECT_TRUE(MoveToTrash(Tree.Path(Name), &Error)) << Name << ": " << Error;
        EXPECT_FALSE(Tree.Exists(Name));
    }
    Tree.File("work/a.txt", {.Content = "second"});
    EXPECT_TRUE(MoveToTrash(Tree.Path("work/a.txt"), &Error)) << Error;
    EXPECT_EQ(Trashed("a.txt") + Trashed("a.2.txt") + Trashed("folder/b.txt"), "firstsecondb");
    EXPECT_EQ(Trashed("b\xff c.txt"), "latin-1 name");
    const std::string Info = InfoOf("b\xff c.txt");
    EXPECT_EQ(Info.rfind("[Trash Info]\nPath=" + Tree.Path("work/b%FF%20c.txt") + "\nDeletionDate=", 0), 0u) << Info;
    for (const char* Rel : {"", "/Trash/files", "/Trash/info/a.txt.trashinfo", "/Trash/info/a.2.txt.trashinfo"}) {
        struct stat St;
        ASSERT_EQ(lstat(Tree.Path(std::string("home/.local/share") + Rel).c_str(), &St), 0) << Rel;
        EXPECT_EQ(St.st_uid, Owner) << Rel;
    }
}

// A missing file or a trash that cannot be made is a failure that moves
// nothing; a link goes to the trash as a link and its target stays.
TEST_F(TrashTest, RefusalsAreFailuresAndLinksStayLinks) {
    Tree.Link("work/link", "target.txt");
    Tree.File("work/target.txt", {.Content = "t"});
    Tree.File("home", {.Content = "a file where the home folder should be"});
    std::string Error;
    EXPECT_FALSE(MoveToTrash(Tree.Path("work/link"), &Error));
    EXPECT_FALSE(Error.empty());
    ASSERT_EQ(unlink(Tree.Path("home").c_str()), 0);
    EXPECT_FALSE(MoveToTrash(Tree.Path("work/missing.txt"), &Error) || MoveToTrash("", &Error));
    EXPECT_TRUE(MoveToTrash(Tree.Path("work/link"), &Error)) << Error;
    EXPECT_FALSE(Tree.Exists("work/link"));
    EXPECT_EQ(Tree.Read("work/target.txt"), "t");
}

// However many items of one name the trash holds, one more finds a free
// name of its own.
TEST_F(TrashTest, AnyNumberOfItemsShareAName) {
    const plat::TFd Infos(open(Tree.Dir("home/.local/share/Trash/info").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (int N = 1; N <= 10000; ++N) {
        const std::string Name = N == 1 ? "cover.jpg" : "cover." + std::to_string(N) + ".jpg";
        ASSERT_TRUE(plat::TFd(openat(Infos.Get(), (Name + ".trashinfo").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600)).Valid());
    }
    std::string Error, Contents;
    for (const char* Copy : {"1", "2", "3", "4", "5", "6"}) {
        Tree.File("work/cover.jpg", {.Content = Copy});
        EXPECT_TRUE(MoveToTrash(Tree.Path("work/cover.jpg"), &Error)) << Error;
    }
    for (const auto& E : std::filesystem::directory_iterator(Tree.Path("home/.local/share/Trash/files"))) {
        Contents += Tree.Read(E.path().string().substr(Tree.Root().size() + 1));
        EXPECT_NE(InfoOf(E.path().filename()).find("\nPath=" + Tree.Path("work/cover.jpg") + "\n"), std::string::npos);
    }
    std::sort(Contents.begin(), Contents.end());
    EXPECT_EQ(Contents, "123456");
}

// Names too long to sit beside ".trashinfo" are shortened in the trash,
// never inside a character, however they are set apart from others of their
// name, and paths longer than PATH_MAX go too; the information keeps the
// true path.
TEST_F(TrashTest, LongNamesAndDeepPathsAreTrashed) {
    std::string Long, Deep = Tree.Dir("work/deep");
    for (int I = 0; I < 125; ++I) Long += "\xc3\xa9";
    Tree.File("work/" + Long + ".txt", {.Content = "long name"});
    const std::string Part(200, 'd');
    plat::TFd Fd(open(Deep.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (; Deep.size() <= PATH_MAX; Deep += "/" + Part) {
        ASSERT_EQ(mkdirat(Fd.Get(), Part.c_str(), 0700), 0);
        Fd.Reset(openat(Fd.Get(), Part.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    ASSERT_TRUE(plat::TFd(openat(Fd.Get(), "f.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0600)).Valid());
    std::string Error;
    EXPECT_TRUE(MoveToTrash(Tree.Path("work/" + Long + ".txt"), &Error)) << Error;
    EXPECT_TRUE(MoveToTrash(Deep + "/f.txt", &Error)) << Error;
    const std::string Short = Long.substr(0, 240) + ".txt";
    EXPECT_EQ(Trashed(Short) + Trashed("f.txt"), "long name");
    for (const auto& [Info, Path] : {std::pair{Short, Tree.Path("work/" + Long + ".txt")}, {"f.txt", Deep + "/f.txt"}})
        EXPECT_NE(InfoOf(Info).find("Path=" + plat::PercentEncoded(Path) + "\n"), std::string::npos) << Info;
    for (int Copy = 0; Copy < 3; ++Copy) {
        Tree.File("work/" + Long + ".txt", {.Content = "long name"});
        EXPECT_TRUE(MoveToTrash(Tree.Path("work/" + Long + ".txt"), &Error)) << Error;
    }
    int Copies = 0;
    for (const auto& E : std::filesystem::directory_iterator(Tree.Path("home/.local/share/Trash/files"))) {
        std::string Name = E.path().filename();
        EXPECT_LE(Name.size() + sizeof ".trashinfo" - 1, size_t(NAME_MAX)) << Name;
        Copies += Name != "f.txt" && InfoOf(Name).find(plat::PercentEncoded(Long)) != std::string::npos;
        for (size_t At; (At = Name.find("\xc3\xa9")) != std::string::npos;) Name.erase(At, 2);
        EXPECT_EQ(Name.find_first_of("\xc3\xa9"), std::string::npos) << "a character cut in " << E.path();
    }
    EXPECT_EQ(Copies, 4);
}

// By descriptor: the entry is named in the trash as at the place it is
// restored to; another file that took the checked one's name before the move
// is put back, and nothing is trashed.
TEST_F(TrashTest, ByDescriptorMovesOnlyTheCheckedFile) {
    Tree.File("work/.card-1", {.Content = "card"});
    Tree.File("work/checked.txt", {.Content = "checked"});
    const plat::TFd Dir(open(Tree.Path("work").c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct statx Checked;
    ASSERT_TRUE(plat::StatAt(Dir.Get(), "checked.txt", Checked));
    std::string Error;
    EXPECT_TRUE(plat::MoveToTrashAt(Dir.Get(), ".card-1", Tree.Path("work/card.vcf"), &Error)) << Error;
    EXPECT_EQ(Trashed("card.vcf"), "card");
    EXPECT_NE(InfoOf("card.vcf").find("Path=" + Tree.Path("work/card.vcf") + "\n"), std::string::npos);
    Tree.File("work/a.txt", {.Content = "renamed over the checked file"});
    EXPECT_FALSE(plat::MoveToTrashAt(Dir.Get(), "a.txt", Tree.Path("work/a.txt"), &Error, &Checked));
    EXPECT_EQ(Tree.Read("work/a.txt"), "renamed over the checked file");
    EXPECT_FALSE(Tree.Exists("home/.local/share/Trash/files/a.txt") ||
                 Tree.Exists("home/.local/share/Trash/info/a.txt.trashinfo"));
}

void GiveTo(const std::string& Path, uid_t Owner) {
    if (chown(Path.c_str(), Owner, gid_t(-1)) != 0) throw std::runtime_error("chown " + Path);
}

// A file on another file system goes to the trash at the top of that file
// system, its path there relative; it never crosses to the home trash. A
// shared .Trash serves only as a real sticky folder holding a folder of the
// user's own; a trash folder of another user's is never used. The elevated
// copy (root with a user's home) uses and makes the trash of the home's
// owner. A link where a trash folder should be, at the top or in the data
// folder, is never followed.
struct TopTrashCase {
    const char* Label;
    std::function<void(corvane_test::TempTree&, const std::string& Uid)> Before;
    const char* Lands;  // the trash folder below the top, "" when it must fail
    bool Elevated = false;
};

class TopTrashTest : public TrashTest, public ::testing::WithParamInterface<TopTrashCase> {};

TEST_P(TopTrashTest, Lands) {
    Tree.Dir("mnt");
    const uid_t User = GetParam().Elevated ? getuid() + 1234 : getuid();
    if (GetParam().Elevated && geteuid() != 0) GTEST_SKIP() << "the elevated copy runs as root";
    if (GetParam().Elevated) GiveTo(Tree.Dir("home"), User);
    const std::string Uid = std::to_string(User);
    const int R = corvane_test::InPrivateMounts([&] {
        corvane_test::TmpfsOrSkip(Tree.Path("mnt"));
        Tree.File("mnt/sub/f.txt", {.Content = "on tmpfs"});
        GetParam().Before(Tree, Uid);
        const std::string Top = std::string("mnt/") + GetParam().Lands + Uid;
        const bool Moved = MoveToTrash(Tree.Path("mnt/sub/f.txt"));
        if (Tree.Exists("mnt/decoy"))
            for (const auto& E : std::filesystem::recursive_directory_iterator(Tree.Path("mnt/decoy")))
                if (!E.is_directory()) return false;
        if (!*GetParam().Lands) return !Moved && Tree.Read("mnt/sub/f.txt") == "on tmpfs";
        for (const std::string Rel : {"", "/files", "/info", "/info/f.txt.trashinfo"}) {
            struct stat St;
            if (lstat(Tree.Path(Top + Rel).c_str(), &St) != 0 || St.st_uid != User || (St.st_mode & 077)) return false;
        }
        return Moved && Tree.Read(Top + "/files/f.txt") == "on tmpfs" &&
               Tree.Read(Top + "/info/f.txt.trashinfo").rfind("[Trash Info]\nPath=sub/f.txt\n", 0) == 0 &&
               !Tree.Exists("home/.local/share/Trash/files/f.txt");
    });
    if (R == corvane_test::NoPrivateMounts) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(R, 0);
}

// A shared .Trash of the given mode, holding the user's folder with the given owner and mode.
void Shared(corvane_test::TempTree& T, mode_t Mode, const std::string& Uid, uid_t Owner, mode_t OwnMode) {
    GiveTo(T.Dir("mnt/.Trash/" + Uid, {.Mode = OwnMode}), Owner);
    T.SetMode("mnt/.Trash", Mode);
}
// A trash at mnt/decoy that would take the file (sticky, the user's own,
// with files, info and a folder of the user's holding them too), and a link
// at Link to the part of it named Target.
void LinkToDecoy(corvane_test::TempTree& T, const std::string& Uid, const std::string& Link, const std::string& Target) {
    for (const std::string& Sub : {std::string(), "/" + Uid})
        for (const char* Part : {"/files", "/info"}) T.Dir("mnt/decoy" + Sub + Part, {.Mode = 0700});
    T.SetMode("mnt/decoy/" + Uid, 0700);
    T.SetMode("mnt/decoy", 01700);
    T.Link(Link, T.Path("mnt/decoy" + Target));
}
// The data folder on the file system of the file: the home trash takes it.
void DataOnTheMount(corvane_test::TempTree& T) { setenv("XDG_DATA_HOME", T.Dir("mnt/data").c_str(), 1); }

INSTANTIATE_TEST_SUITE_P(
    Shell, TopTrashTest,
    ::testing::Values(
        TopTrashCase{"NothingThereYet", [](auto&, auto&) {}, ".Trash-"},
        TopTrashCase{"OwnFolderInAStickyTrash",
                     [](auto& T, auto& Uid) { Shared(T, 01777, Uid, getuid(), 0700); }, ".Trash/"},
        TopTrashCase{"OtherUsersOpenFolderInAStickyTrash",
                     [](auto& T, auto& Uid) { Shared(T, 01777, Uid, getuid() + 4321, 0777); }, ".Trash-"},
        TopTrashCase{"OwnFolderInATrashNotSticky",
                     [](auto& T, auto& Uid) { Shared(T, 0777, Uid, getuid(), 0700); }, ".Trash-"},
        TopTrashCase{"OtherUsersTrashUid",
                     [](auto& T, auto& Uid) { GiveTo(T.Dir("mnt/.Trash-" + Uid), getuid() + 4321); }, ""},
        TopTrashCase{"ElevatedNothingThereYet", [](auto&, auto&) {}, ".Trash-", true},
        TopTrashCase{"ElevatedStickyTrashWithoutTheUsersFolder",
                     [](auto& T, auto&) { T.Dir("mnt/.Trash", {.Mode = 01777}); }, ".Trash/", true},
        TopTrashCase{"HomeTrashIsALink",
                     [](auto& T, auto& Uid) { DataOnTheMount(T), LinkToDecoy(T, Uid, "mnt/data/Trash", ""); }, ""},
        TopTrashCase{"HomeTrashFilesIsALink",
                     [](auto& T, auto& Uid) {
                         DataOnTheMount(T), T.Dir("mnt/data/Trash/info"), LinkToDecoy(T, Uid, "mnt/data/Trash/files", "/files");
                     }, ""},
        TopTrashCase{"HomeTrashInfoIsALink",
                     [](auto& T, auto& Uid) {
                         DataOnTheMount(T), T.Dir("mnt/data/Trash/files"), LinkToDecoy(T, Uid, "mnt/data/Trash/info", "/info");
                     }, ""},
        TopTrashCase{"SharedTrashIsALink",
                     [](auto& T, auto& Uid) { LinkToDecoy(T, Uid, "mnt/.Trash", ""); }, ".Trash-"},
        TopTrashCase{"OwnFolderInAStickyTrashIsALink",
                     [](auto& T, auto& Uid) {
                         T.Dir("mnt/.Trash", {.Mode = 01777}), LinkToDecoy(T, Uid, "mnt/.Trash/" + Uid, "/" + Uid);
                     }, ".Trash-"},
        TopTrashCase{"TrashUidIsALink",
                     [](auto& T, auto& Uid) { LinkToDecoy(T, Uid, "mnt/.Trash-" + Uid, "/" + Uid); }, ""},
        TopTrashCase{"TrashUidFilesIsALink",
                     [](auto& T, auto& Uid) {
                         T.Dir("mnt/.Trash-" + Uid + "/info", {.Mode = 0700});
                         T.SetMode("mnt/.Trash-" + Uid, 0700);
                         LinkToDecoy(T, Uid, "mnt/.Trash-" + Uid + "/files", "/files");
                     }, ""},
        TopTrashCase{"TrashUidInfoIsALink",
                     [](auto& T, auto& Uid) {
                         T.Dir("mnt/.Trash-" + Uid + "/files", {.Mode = 0700});
                         T.SetMode("mnt/.Trash-" + Uid, 0700);
                         LinkToDecoy(T, Uid, "mnt/.Trash-" + Uid + "/info", "/info");
                     }, ""}),
    [](const auto& Info) { return std::string(Info.param.Label); });

} // namespace
