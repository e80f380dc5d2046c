#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include <fstream>
#include <sstream>

#include <dirent.h>
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

    std::vector<std::string> StoreFiles() {
        std::vector<std::string> Names;
        if (DIR* D = opendir(Tree.Path("store").c_str())) {
            while (dirent* E = readdir(D))
                if (E->d_name[0] != '.') Names.push_back(E->d_name);
            closedir(D);
        }
        std::sort(Names.begin(), Names.end());
        return Names;
    }
};

TEST_F(RegistryTest, MissingKeyOpensOnlyWithCreate) {
    TRegistry Reg(TRootKey::HKEY_CURRENT_USER);
    EXPECT_FALSE(Reg.OpenKey("Software\\Corvane", false));
    EXPECT_FALSE(Tree.Exists("store/user.ini"));  // a refused open writes nothing
    EXPECT_TRUE(Reg.OpenKey("Software\\Corvane", true));
    EXPECT_TRUE(Reg.OpenKey("Software\\Corvane", false));
    EXPECT_TRUE(Reg.OpenKey("Software", false));  // a parent exists with its child
    EXPECT_FALSE(Reg.OpenKey("Software\\Other", false));
}

TEST_F(RegistryTest, MissingValues) {
    TRegistry Reg;
    ASSERT_TRUE(Reg.OpenKey("Software\\Corvane", true));
    EXPECT_FALSE(Reg.ValueExists("vista"));
    EXPECT_EQ(Reg.ReadString("vista"), "");
    EXPECT_THROW(Reg.ReadInteger("CheckUpdate"), ERegistryException);
    EXPECT_THROW(Reg.ReadBool("CheckUpdate"), ERegistryException);
    EXPECT_FALSE(Reg.DeleteValue("vista"));
}

TEST_F(RegistryTest, WrongValueTypeRaises) {
    TRegistry Reg(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(Reg.OpenKey("\\Software\\Corvane", true));
    Reg.WriteString("HomePage", "https://corvane.example");
    Reg.WriteBool("CheckUpdate", true);
    EXPECT_THROW(Reg.ReadInteger("HomePage"), ERegistryException);
    EXPECT_THROW(Reg.ReadBool("HomePage"), ERegistryException);
    EXPECT_THROW(Reg.ReadString("CheckUpdate"), ERegistryException);
    EXPECT_TRUE(Reg.ReadBool("CheckUpdate"));
    // Writing another type replaces the value and its type.
    Reg.WriteInteger("HomePage", 7);
    EXPECT_EQ(Reg.ReadInteger("HomePage"), 7);
}

TEST_F(RegistryTest, KeyAndValueNamesIgnoreCase) {
    {
        TRegistry Reg;
        ASSERT_TRUE(Reg.OpenKey("Software\\Corvane", true));
        Reg.WriteString("vista", "1");
    }
    TRegistry Reg;
    ASSERT_TRUE(Reg.OpenKey("SOFTWARE/corvane/", false));
    EXPECT_EQ(Reg.ReadString("VISTA"), "1");
    Reg.WriteString("Vista", "");
    EXPECT_EQ(Reg.ReadString("vista"), "");
    EXPECT_TRUE(Reg.DeleteValue("ViStA"));
    EXPECT_FALSE(Reg.ValueExists("vista"));
    EXPECT_EQ(Tree.Read("store/user.ini").find("[SOFTWARE"), std::string::npos);  // one key, first spelling
}

TEST_F(RegistryTest, RootsAreSeparateFiles) {
    TRegistry User(TRootKey::HKEY_CURRENT_USER), Machine(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(User.OpenKey("Software\\Corvane", true));
    ASSERT_TRUE(Machine.OpenKey("Software\\Corvane", true));
    User.WriteString("x", "user");
    Machine.WriteString("x", "machine");
    EXPECT_EQ(User.ReadString("x"), "user");
    EXPECT_EQ(Machine.ReadString("x"), "machine");
}

class RegistryRoundTrip : public RegistryTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(RegistryRoundTrip, TextSurvivesTheFile) {
    {
        TRegistry Reg;
        ASSERT_TRUE(Reg.OpenKey("Software\\Corvane", true));
        Reg.WriteString("Value", GetParam());
        Reg.WriteString("After", "next");
    }
    TRegistry Reg;
    ASSERT_TRUE(Reg.OpenKey("Software\\Corvane", false));
    EXPECT_EQ(Reg.ReadString("Value"), GetParam());
    EXPECT_EQ(Reg.ReadString("After"), "next");
}
INSTANTIATE_TEST_SUITE_P(Texts, RegistryRoundTrip,
                         ::testing::Values("", "plain", "a=b=c", "line\nbreak", "cr\r\nlf", "back\\slash\\n",
                                           "[Section]", "sz:dword:1", " spaced ", "caf\xc3\xa9"));

TEST_F(RegistryTest, IntegersKeepTheirRange) {
    TRegistry Reg;
    ASSERT_TRUE(Reg.OpenKey("Software\\Corvane", true));
    for (int32_t V : {0, 1, -1, INT32_MAX, INT32_MIN}) {
        Reg.WriteInteger("n", V);
        EXPECT_EQ(Reg.ReadInteger("n"), V);
    }
}

TEST_F(RegistryTest, WriteIsAtomicAndLeavesNoTemporaryFile) {
    TRegistry Reg;
    ASSERT_TRUE(Reg.OpenKey("Software\\Corvane", true));
    for (int I = 0; I < 20; ++I) Reg.WriteInteger("n" + std::to_string(I), I);
    EXPECT_EQ(StoreFiles(), std::vector<std::string>{"user.ini"});
    // A folder that cannot take the new file: the write fails loudly, the old store stays whole.
    const std::string Before = Tree.Read("store/user.ini");
    Tree.SetMode("store", 0500);
    if (geteuid() != 0) {
        EXPECT_THROW(Reg.WriteString("late", "x"), ERegistryException);
        EXPECT_EQ(Tree.Read("store/user.ini"), Before);
    }
    Tree.SetMode("store", 0700);
    EXPECT_EQ(StoreFiles(), std::vector<std::string>{"user.ini"});
}

// A line that holds no setting costs that line only, and survives a rewrite.
TEST_F(RegistryTest, MalformedLineIsSkippedAndKept) {
    Tree.File("store/machine.ini", {.Content = "stray\n[Software\\Corvane]\nHomePage=binary:00ff\n"
                                               "; a note\nCheckUpdate=dword:1\nBad=sz:\\q\n"});
    TRegistry Reg(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(Reg.OpenKey("Software\\Corvane", false));
    EXPECT_TRUE(Reg.ReadBool("CheckUpdate"));
    EXPECT_FALSE(Reg.ValueExists("HomePage"));
    EXPECT_FALSE(Reg.ValueExists("Bad"));
    Reg.WriteString("HomePage", "x");
    EXPECT_TRUE(Reg.DeleteValue("CheckUpdate"));
    EXPECT_EQ(Reg.ReadString("HomePage"), "x");
    const std::string Text = Tree.Read("store/machine.ini");
    for (const char* Kept : {"stray\n", "HomePage=binary:00ff\n", "; a note\n", "Bad=sz:\\q\n"})
        EXPECT_NE(Text.find(Kept), std::string::npos) << Kept;
}

// A link in place of a store file is written through only while its target
// stays inside the settings folder; it is never replaced by a file.
TEST_F(RegistryTest, LinkedStoreStaysInsideTheFolder) {
    struct TCase {
        const char* Target;
        bool Written;
    };
    for (const TCase& C : {TCase{"profiles/user.ini", true}, TCase{"../outside.ini", false}}) {
        SCOPED_TRACE(C.Target);
        Tree.File("store/profiles/user.ini", {.Content = "[Software\\Corvane]\n"});
        Tree.File("outside.ini", {.Content = "[Software\\Corvane]\n"});
        unlink(Tree.Path("store/user.ini").c_str());
        Tree.Link("store/user.ini", C.Target);
        TRegistry Reg;
        EXPECT_EQ(Reg.OpenKey("Software\\Corvane", false), C.Written);
        EXPECT_EQ(Reg.OpenKey("Software\\Other", true), C.Written);
        struct stat St;
        ASSERT_EQ(lstat(Tree.Path("store/user.ini").c_str(), &St), 0);
        EXPECT_TRUE(S_ISLNK(St.st_mode));
        EXPECT_EQ(Tree.Read("store/profiles/user.ini").find("Other") != std::string::npos, C.Written);
        EXPECT_EQ(Tree.Read("outside.ini"), "[Software\\Corvane]\n");
    }
}

// Whether the process waits for an flock (a "->" line of /proc/locks).
bool WaitsForLock(pid_t Pid) {
    std::ifstream Locks("/proc/locks");
    std::string Line;
    while (std::getline(Locks, Line)) {
        std::istringstream Fields(Line);
        std::string Number, Arrow, Kind, Mode, Access, Owner;
        if (Fields >> Number >> Arrow >> Kind >> Mode >> Access >> Owner && Arrow == "->" && Owner == std::to_string(Pid))
            return true;
    }
    return false;
}

// Two programs writing at once: the second meets the first between its read
// and its write, and must wait for it instead of writing back an old store.
TEST_F(RegistryTest, ConcurrentWriterWaitsAndKeepsBothChanges) {
    TRegistry Reg;
    ASSERT_TRUE(Reg.OpenKey("Software\\Corvane", true));
    const pid_t Parent = getpid();
    pid_t Child = -1;
    int Status = -1;
    TRegistry::SetWriteHook([&] {
        if (getpid() != Parent || Child != -1) return;
        Child = fork();
        if (Child == 0) {
            execl("/proc/self/exe", "platform_tests", "--write-setting", Tree.Path("store").c_str(), "second", "2",
                  static_cast<char*>(nullptr));
            _exit(99);
        }
        // Go on once the other writer has finished or waits for the lock.
        while (waitpid(Child, &Status, WNOHANG) == 0 && !WaitsForLock(Child)) sched_yield();
    });
    Reg.WriteString("first", "1");
    TRegistry::SetWriteHook(nullptr);
    ASSERT_GT(Child, 0);
    if (Status == -1) {
        ASSERT_EQ(waitpid(Child, &Status, 0), Child);
    }
    ASSERT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0);
    EXPECT_EQ(Reg.ReadString("first"), "1");
    EXPECT_EQ(Reg.ReadString("second"), "2");
}

TEST_F(RegistryTest, OversizedOrOddStoreIsNotRead) {
    Tree.File("store/machine.ini", {.Content = "[Software\\Corvane]\n", .Size = 2u << 20});
    TRegistry Reg(TRootKey::HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(Reg.OpenKey("Software\\Corvane", true));
    Tree.Dir("store/user.ini");  // a folder where the file should be
    TRegistry User(TRootKey::HKEY_CURRENT_USER);
    EXPECT_FALSE(User.OpenKey("Software\\Corvane", true));
}

TEST_F(RegistryTest, NamesThatWouldBreakTheFileAreRefused) {
    TRegistry Reg;
    ASSERT_TRUE(Reg.OpenKey("Software\\Corvane", true));
    for (const char* Name : {"", "a=b", "new\nline", "[x]"})
        EXPECT_THROW(Reg.WriteString(Name, "v"), ERegistryException) << Name;
}

TEST_F(RegistryTest, StoreFolderFollowsXdgConfigHome) {
    TRegistry::SetStoreFolder("");
    const char* OldHome = std::getenv("HOME");
    const std::string SavedHome = OldHome ? OldHome : "";
    setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
    EXPECT_EQ(TRegistry::StoreFolder(), "/somewhere/config/corvane");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(TRegistry::StoreFolder(), "/home/someone/.config/corvane");
    if (OldHome) setenv("HOME", SavedHome.c_str(), 1);
}

} // namespace

namespace {

// The elevated copy runs as root on the user's store: the files it rewrites
// stay the user's, or the next ordinary start could not read its settings.
TEST_F(RegistryTest, RewrittenFilesKeepTheirOwner) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to hand files to another user";
    const uid_t User = 4242;
    const gid_t Group = 4343;
    TRegistry Reg(TRootKey::HKEY_CURRENT_USER);
    ASSERT_TRUE(Reg.OpenKey("Software\\Corvane", true));
    Reg.WriteString("vista", "1");
    ASSERT_EQ(chown(Tree.Path("store/user.ini").c_str(), User, Group), 0);
    ASSERT_EQ(chown(Tree.Path("store").c_str(), User, Group), 0);
    Reg.WriteString("vista", "");
    struct stat St;
    ASSERT_EQ(stat(Tree.Path("store/user.ini").c_str(), &St), 0);
    EXPECT_EQ(St.st_uid, User);
    EXPECT_EQ(St.st_gid, Group);
    EXPECT_EQ(St.st_mode & 07777, 0600u);
    // A file the store makes anew belongs to the owner of its folder.
    TRegistry Machine(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(Machine.OpenKey("Software\\Corvane", true));
    ASSERT_EQ(stat(Tree.Path("store/machine.ini").c_str(), &St), 0);
    EXPECT_EQ(St.st_uid, User);
    EXPECT_EQ(St.st_gid, Group);
}

} // namespace
