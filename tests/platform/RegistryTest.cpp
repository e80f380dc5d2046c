// The settings store: names in any letter case, texts that survive the file,
// damaged lines kept, links, two writers at once and the owner of the files.
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <regex>

#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/TempTree.h"

namespace {

using plat::ERegistryException;
using plat::TRegistry;
using plat::TRootKey;

class RegistryTest : public corvane_test::TempTreeTest {
protected:
    void SetUp() override { TRegistry::SetStoreFolder(Tree.Path("store")); }
    void TearDown() override { TRegistry::SetStoreFolder(""); }
};

TEST_F(RegistryTest, KeyAndValueNamesIgnoreLetterCase) {
    TRegistry Reg;
    EXPECT_FALSE(Reg.OpenKey("Software\\Corvane", false));
    EXPECT_FALSE(Tree.Exists("store/user.ini"));  // a refused open writes nothing
    ASSERT_TRUE(Reg.OpenKey("Software\\Corvane", true));
    Reg.WriteString("vista", "1");
    EXPECT_TRUE(Reg.OpenKey("SOFTWARE", false));  // a parent exists with its child
    EXPECT_FALSE(Reg.OpenKey("Software\\Other", false));
    ASSERT_TRUE(Reg.OpenKey("\\SOFTWARE/corvane/", false));
    EXPECT_EQ(Reg.ReadString("VISTA"), "1");
    Reg.WriteString("Vista", "2");
    EXPECT_EQ(Reg.ReadString("vista"), "2");
    EXPECT_TRUE(Reg.DeleteValue("ViStA"));
    EXPECT_FALSE(Reg.ValueExists("vista") || Reg.DeleteValue("vista"));
    EXPECT_EQ(Tree.Read("store/user.ini").find("SOFTWARE"), std::string::npos);  // one key, first spelling
}

// Every value is read back from the file as written: any text, the whole
// integer range, and a type that raises where another one is read.
TEST_F(RegistryTest, ValuesSurviveTheFile) {
    TRegistry User, Machine(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(User.OpenKey("Software\\Corvane", true));
    ASSERT_TRUE(Machine.OpenKey("Software\\Corvane", true));
    for (const std::string Text : {"", "a=b=c", "line\nbreak", "cr\r\nlf", "back\\slash\\n", "[Section]", "sz:dword:1",
                                   " spaced ", "caf\xc3\xa9"}) {
        User.WriteString("Value", Text);
        User.WriteString("After", "next");
        EXPECT_EQ(User.ReadString("Value"), Text);
        EXPECT_EQ(User.ReadString("After"), "next") << Text;
    }
    for (int32_t V : {INT32_MIN, -1, INT32_MAX}) {
        User.WriteInteger("Value", V);
        EXPECT_EQ(User.ReadInteger("Value"), V);
    }
    Machine.WriteBool("Value", true);  // each root a file of its own
    EXPECT_EQ(User.ReadInteger("Value"), INT32_MAX);
    EXPECT_THROW(Machine.ReadString("Value"), ERegistryException);
    EXPECT_THROW(User.ReadBool("Missing"), ERegistryException);
    EXPECT_EQ(User.ReadString("Missing"), "");
    for (const char* Name : {"", "a=b", "new\nline", "[x]"})
        EXPECT_THROW(User.WriteString(Name, "v"), ERegistryException) << Name;
}

// A line that holds no setting costs that line only and survives a rewrite;
// a store too large to be ours is not read at all.
TEST_F(RegistryTest, DamagedLinesAreSkippedAndKept) {
    Tree.File("store/machine.ini", {.Content = "stray\n[Software\\Corvane]\nHomePage=binary:00ff\n"
                                               "; a note\nCheckUpdate=dword:1\nBad=sz:\\q\n"});
    TRegistry Reg(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(Reg.OpenKey("Software\\Corvane", false));
    EXPECT_TRUE(Reg.ReadBool("CheckUpdate"));
    EXPECT_FALSE(Reg.ValueExists("HomePage") || Reg.ValueExists("Bad"));
    Reg.WriteString("HomePage", "x");
    EXPECT_TRUE(Reg.DeleteValue("CheckUpdate"));
    EXPECT_EQ(Reg.ReadString("HomePage"), "x");
    const std::string Text = Tree.Read("store/machine.ini");
    for (const char* Kept : {"stray\n", "HomePage=binary:00ff\n", "; a note\n", "Bad=sz:\\q\n"})
        EXPECT_NE(Text.find(Kept), std::string::npos) << Kept;
    Tree.File("store/user.ini", {.Content = "[Software\\Corvane]\n", .Size = 2u << 20});
    EXPECT_FALSE(TRegistry().OpenKey("Software\\Corvane", true));
}

// A link in place of a store file is written through only while its target
// stays inside the settings folder; it is never replaced by a file.
TEST_F(RegistryTest, LinkedStoreStaysInsideTheFolder) {
    for (const auto& [Target, Written] : {std::pair{"profiles/user.ini", true}, std::pair{"../outside.ini", false}}) {
        SCOPED_TRACE(Target);
        Tree.File("store/profiles/user.ini", {.Content = "[Software\\Corvane]\n"});
        Tree.File("outside.ini", {.Content = "[Software\\Corvane]\n"});
        unlink(Tree.Path("store/user.ini").c_str());
        Tree.Link("store/user.ini", Target);
        TRegistry Reg;
        EXPECT_EQ(Reg.OpenKey("Software\\Corvane", false), Written);
        EXPECT_EQ(Reg.OpenKey("Software\\Other", true), Written);
        struct stat St;
        EXPECT_TRUE(lstat(Tree.Path("store/user.ini").c_str(), &St) == 0 && S_ISLNK(St.st_mode));
        EXPECT_EQ(Tree.Read("store/profiles/user.ini").find("Other") != std::string::npos, Written);
        EXPECT_EQ(Tree.Read("outside.ini"), "[Software\\Corvane]\n");
    }
}

// Whether the process waits for an flock (a "->" line of /proc/locks).
bool WaitsForLock(pid_t Pid) {
    std::ifstream Locks("/proc/locks");
    const std::regex Waiting("-> FLOCK +ADVISORY +WRITE +" + std::to_string(Pid) + " ");
    for (std::string Line; std::getline(Locks, Line);)
        if (std::regex_search(Line, Waiting)) return true;
    return false;
}

// Two programs writing at once: the second meets the first between its read
// and its write, and must wait for it instead of writing back an old store.
TEST_F(RegistryTest, ConcurrentWriterWaitsAndKeepsBothChanges) {
    TRegistry Reg;
    ASSERT_TRUE(Reg.OpenKey("Software\\Corvane", true));
    pid_t Child = -1;
    int Status = -1;
    TRegistry::SetWriteHook([&] {
        if (Child != -1) return;  // once, and not in the child
        if ((Child = fork()) == 0) {
            closefrom(3);  // the lock taken above is the parent's alone
            TRegistry Other;
            Other.OpenKey("Software\\Corvane", false);
            Other.WriteString("second", "2");
            _exit(0);
        }
        // Go on once the other writer has finished or waits for the lock.
        while (waitpid(Child, &Status, WNOHANG) == 0 && !WaitsForLock(Child)) sched_yield();
    });
    Reg.WriteString("first", "1");
    TRegistry::SetWriteHook(nullptr);
    if (Status == -1) waitpid(Child, &Status, 0);
    ASSERT_TRUE(Child > 0 && WIFEXITED(Status) && WEXITSTATUS(Status) == 0);
    EXPECT_EQ(Reg.ReadString("first"), "1");
    EXPECT_EQ(Reg.ReadString("second"), "2");
}

// The elevated copy runs as root on the user's store: the files it rewrites
// or makes stay the user's, or the next ordinary start could not read them.
TEST_F(RegistryTest, RewrittenFilesKeepTheirOwner) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to hand files to another user";
    TRegistry Reg;
    ASSERT_TRUE(Reg.OpenKey("Software\\Corvane", true));
    ASSERT_EQ(chown(Tree.Path("store/user.ini").c_str(), 4242, 4343), 0);
    ASSERT_EQ(chown(Tree.Path("store").c_str(), 4242, 4343), 0);
    Reg.WriteString("vista", "");
    ASSERT_TRUE(TRegistry(TRootKey::HKEY_LOCAL_MACHINE).OpenKey("Software\\Corvane", true));
    for (const char* File : {"store/user.ini", "store/machine.ini"}) {
        struct stat St;
        ASSERT_EQ(stat(Tree.Path(File).c_str(), &St), 0);
        EXPECT_EQ(std::vector<unsigned>({St.st_uid, St.st_gid, St.st_mode & 07777}),
                  std::vector<unsigned>({4242, 4343, 0600})) << File;
    }
}

} // namespace
