// The trash, moved on the path's bytes.
#include "platform/Shell.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include <unistd.h>

#include "common/MountNamespace.h"
#include "common/TempTree.h"

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
    std::vector<std::pair<const char*, std::optional<std::string>>> FSaved;
    char FCwd[4096];
};

// Files and folders land in the home trash under their own bytes; a name the
// trash holds already gets a number, nothing is overwritten.
TEST_F(TrashTest, LandsInTheHomeTrashUnderItsOwnBytes) {
    Tree.File("work/a.txt", {.Content = "first"});
    Tree.File("work/folder/b.txt", {.Content = "b"});
    Tree.File("work/b\xff c.txt", {.Content = "latin-1 name"});
    std::string Error;
    for (const char* Name : {"work/a.txt", "work/folder", "work/b\xff c.txt"}) {
        EXPECT_TRUE(MoveToTrash(Tree.Path(Name), &Error)) << Name << ": " << Error;
        EXPECT_FALSE(Tree.Exists(Name));
    }
    Tree.File("work/a.txt", {.Content = "second"});
    EXPECT_TRUE(MoveToTrash(Tree.Path("work/a.txt"), &Error)) << Error;
    EXPECT_EQ(Trashed("a.txt") + Trashed("a.2.txt") + Trashed("folder/b.txt"), "firstsecondb");
    EXPECT_EQ(Trashed("b\xff c.txt"), "latin-1 name");
    const std::string Info = Tree.Read("home/.local/share/Trash/info/b\xff c.txt.trashinfo");
    EXPECT_EQ(Info.rfind("[Trash Info]\nPath=" + Tree.Path("work/b%FF%20c.txt") + "\nDeletionDate=", 0), 0u) << Info;
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

// A file on another file system goes to the trash at the top of that file
// system, its path there relative; it never crosses to the home trash.
TEST_F(TrashTest, OtherFileSystemUsesItsOwnTopTrash) {
    Tree.Dir("mnt");
    const int R = corvane_test::InPrivateMounts([&] {
        corvane_test::TmpfsOrSkip(Tree.Path("mnt"));
        Tree.File("mnt/sub/f.txt", {.Content = "on tmpfs"});
        const std::string Top = "mnt/.Trash-" + std::to_string(getuid());
        std::string Error;
        return MoveToTrash(Tree.Path("mnt/sub/f.txt"), &Error) && Tree.Read(Top + "/files/f.txt") == "on tmpfs" &&
               Tree.Read(Top + "/info/f.txt.trashinfo").rfind("[Trash Info]\nPath=sub/f.txt\n", 0) == 0 &&
               !Tree.Exists("home/.local/share/Trash/files/f.txt");
    });
    if (R == corvane_test::NoPrivateMounts) GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(R, 0);
}

} // namespace
