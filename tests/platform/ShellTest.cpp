#include "platform/Shell.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <unistd.h>

#include "common/TempTree.h"

namespace {

using namespace plat;

class EnvGuard {
public:
    EnvGuard(const char* Name, const std::string& Value) : FName(Name) {
        const char* Old = std::getenv(Name);
        FHad = Old != nullptr;
        if (Old) FOld = Old;
        setenv(Name, Value.c_str(), 1);
    }
    ~EnvGuard() {
        if (FHad)
            setenv(FName, FOld.c_str(), 1);
        else
            unsetenv(FName);
    }

private:
    const char* FName;
    bool FHad = false;
    std::string FOld;
};

class TrashTest : public corvane_test::TempTreeTest {
protected:
    void SetUp() override {
        ASSERT_NE(getcwd(FOldCwd, sizeof FOldCwd), nullptr);
        Tree.Dir("cwd");
        ASSERT_EQ(chdir(Tree.Path("cwd").c_str()), 0);
    }
    void TearDown() override { EXPECT_EQ(chdir(FOldCwd), 0); }
    char FOldCwd[4096];
    // The data folder does not exist yet: the case that sent files to ./files.
    EnvGuard Home{"HOME", Tree.Path("home")};
    EnvGuard Data{"XDG_DATA_HOME", Tree.Path("home/.local/share")};
};

TEST_F(TrashTest, FileAndFolderLandInTheTrash) {
    Tree.Dir("home");
    Tree.File("work/a.txt", {.Content = "keep me"});
    Tree.File("work/folder/b.txt", {.Content = "b"});
    std::string Error;
    EXPECT_TRUE(MoveToTrash(Tree.Path("work/a.txt"), &Error)) << Error;
    EXPECT_FALSE(Tree.Exists("work/a.txt"));
    EXPECT_EQ(Tree.Read("home/.local/share/Trash/files/a.txt"), "keep me");
    EXPECT_TRUE(Tree.Exists("home/.local/share/Trash/info/a.txt.trashinfo"));
    EXPECT_FALSE(Tree.Exists("cwd/files"));

    EXPECT_TRUE(MoveToTrash(Tree.Path("work/folder"), &Error)) << Error;
    EXPECT_EQ(Tree.Read("home/.local/share/Trash/files/folder/b.txt"), "b");

    // The same name again gets a name of its own; nothing is overwritten.
    Tree.File("work/a.txt", {.Content = "second"});
    EXPECT_TRUE(MoveToTrash(Tree.Path("work/a.txt"), &Error)) << Error;
    EXPECT_EQ(Tree.Read("home/.local/share/Trash/files/a.txt"), "keep me");
    EXPECT_EQ(Tree.Read("home/.local/share/Trash/files/a.2.txt"), "second");
}

TEST_F(TrashTest, NameThatIsNotUtf8KeepsItsBytes) {
    Tree.File("work/b\xff c.txt", {.Content = "latin-1 name"});
    std::string Error;
    ASSERT_TRUE(MoveToTrash(Tree.Path("work/b\xff c.txt"), &Error)) << Error;
    EXPECT_FALSE(Tree.Exists("work/b\xff c.txt"));
    EXPECT_EQ(Tree.Read("home/.local/share/Trash/files/b\xff c.txt"), "latin-1 name");
    const std::string Info = Tree.Read("home/.local/share/Trash/info/b\xff c.txt.trashinfo");
    EXPECT_EQ(Info.rfind("[Trash Info]\nPath=" + Tree.Path("work/b%FF%20c.txt") + "\nDeletionDate=", 0), 0u) << Info;
}

TEST_F(TrashTest, RefusalsAreFailures) {
    Tree.Dir("home");
    std::string Error;
    EXPECT_FALSE(MoveToTrash(Tree.Path("work/missing.txt"), &Error));
    EXPECT_FALSE(Error.empty());
    EXPECT_FALSE(MoveToTrash("", &Error));
    // A link is refused? No: it is trashed as a link, its target stays.
    Tree.File("work/target.txt", {.Content = "t"});
    Tree.Link("work/link", "target.txt");
    EXPECT_TRUE(MoveToTrash(Tree.Path("work/link"), &Error)) << Error;
    EXPECT_EQ(Tree.Read("work/target.txt"), "t");
}

TEST_F(TrashTest, DataFolderThatCannotBeMadeIsAFailure) {
    Tree.File("home", {.Content = "a file where the home folder should be"});
    Tree.File("work/a.txt", {.Content = "x"});
    std::string Error;
    EXPECT_FALSE(MoveToTrash(Tree.Path("work/a.txt"), &Error));
    EXPECT_EQ(Tree.Read("work/a.txt"), "x");
    EXPECT_FALSE(Tree.Exists("cwd/files"));
}

// A program is run, not opened as a document: the updater must really start.
TEST(ShellRunTest, StartsTheProgramDetached) {
    corvane_test::TempTree Tree;
    const std::string Marker = Tree.Path("started");
    const std::string Program =
        Tree.File("updater", {.Content = "#!/bin/sh\necho \"$#\" > '" + Marker + "'\n", .Mode = 0755});
    ASSERT_TRUE(ShellRun(Program));
    for (int I = 0; I < 500 && !(Tree.Exists("started") && !Tree.Read("started").empty()); ++I) usleep(10000);
    ASSERT_TRUE(Tree.Exists("started"));
    EXPECT_EQ(Tree.Read("started"), "0\n");  // no arguments
    EXPECT_FALSE(ShellRun(Tree.Path("missing")));
    EXPECT_FALSE(ShellRun(""));
}

TEST(ShellHooks, TestsReplaceEachService) {
    std::vector<std::string> Calls;
    TShellHooks H;
    H.Open = [&](const std::string& T) { Calls.push_back("open " + T); };
    H.Properties = [&](const std::string& T) { Calls.push_back("props " + T); };
    H.Trash = [&](const std::string& T, std::string* E) {
        Calls.push_back("trash " + T);
        if (E) *E = "refused";
        return false;
    };
    H.Run = [&](const std::string& T) {
        Calls.push_back("run " + T);
        return true;
    };
    SetShellHooks(H);
    EXPECT_TRUE(ShellRun("/c"));
    ShellOpen("https://corvane.example");
    ShowProperties("/a");
    std::string Error;
    EXPECT_FALSE(MoveToTrash("/b", &Error));
    SetShellHooks({});
    EXPECT_EQ(Calls, (std::vector<std::string>{"run /c", "open https://corvane.example", "props /a", "trash /b"}));
    EXPECT_EQ(Error, "refused");
}

} // namespace
