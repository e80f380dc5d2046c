#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include <dirent.h>
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

TEST_F(RegistryTest, UnreadableStoreIsNeitherOpenedNorOverwritten) {
    const std::string Garbage = "[Software\\Corvane]\nHomePage=binary:00ff\n";
    Tree.File("store/machine.ini", {.Content = Garbage});
    TRegistry Reg(TRootKey::HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(Reg.OpenKey("Software\\Corvane", true));
    EXPECT_THROW(Reg.WriteString("HomePage", "x"), ERegistryException);  // no key open
    EXPECT_EQ(Tree.Read("store/machine.ini"), Garbage);
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
