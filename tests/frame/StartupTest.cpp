#include "frame/StartupUnit.h"

#include <gtest/gtest.h>

#include <optional>

#include "common/TempTree.h"
#include "platform/InstanceLock.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"

namespace {

using plat::TRegistry;
using plat::TRootKey;

const char* const PolicyKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

TEST(Version, ReadBackFromThisProgram) {
    std::string Version = "stale";
    GetFileVersionString(plat::ProgramPath(), Version);
    EXPECT_EQ(Version, CORVANE_FILE_VERSION);  // the project version this build stamped
    GetFileVersionString("/nonexistent/program", Version);
    EXPECT_EQ(Version, "");  // emptied first, not left as it was
}

// One row of the restart table: what the stores hold before, what start-up decides.
struct TRestartCase {
    const char* What;
    int Major;
    std::optional<std::string> Setup;  // per-user "setup"
    int Lua;                           // -1 no policy key, -2 key without value, -3 value of text type, else EnableLUA
    std::optional<std::string> Vista;  // per-user "vista"
    bool Restart;
    std::optional<std::string> VistaAfter;
    bool SetupGone;
};

class RestartDecision : public corvane_test::TempTreeTest, public ::testing::WithParamInterface<TRestartCase> {
protected:
    void SetUp() override { TRegistry::SetStoreFolder(Tree.Path("store")); }
    void TearDown() override { TRegistry::SetStoreFolder(""); }
};

TEST_P(RestartDecision, Table) {
    const auto& C = GetParam();
    {
        TRegistry User(TRootKey::HKEY_CURRENT_USER);
        ASSERT_TRUE(User.OpenKey("Software\\Corvane", true));
        if (C.Setup) User.WriteString("setup", *C.Setup);
        if (C.Vista) User.WriteString("vista", *C.Vista);
        TRegistry Machine(TRootKey::HKEY_LOCAL_MACHINE);
        if (C.Lua != -1) {
            ASSERT_TRUE(Machine.OpenKey(PolicyKey, true));
            if (C.Lua == -3) Machine.WriteString("EnableLUA", "1");
            if (C.Lua >= 0) Machine.WriteInteger("EnableLUA", C.Lua);
        }
    }
    EXPECT_EQ(NeedsElevatedRestart(C.Major), C.Restart) << C.What;

    TRegistry User(TRootKey::HKEY_CURRENT_USER);
    ASSERT_TRUE(User.OpenKey("Software\\Corvane", false));
    if (C.VistaAfter) {
        EXPECT_EQ(User.ReadString("vista"), *C.VistaAfter) << C.What;
    } else {
        EXPECT_FALSE(User.ValueExists("vista")) << C.What;
    }
    EXPECT_EQ(!User.ValueExists("setup"), C.SetupGone || !C.Setup) << C.What;
}

const std::string One = "1", Empty = "", Zero = "0";
INSTANTIATE_TEST_SUITE_P(
    Flags, RestartDecision,
    ::testing::Values(
        TRestartCase{"UAC on, first start: restart", 10, {}, 1, {}, true, One, true},
        TRestartCase{"restarted copy: clears vista, runs", 10, {}, 1, One, false, Empty, true},
        TRestartCase{"vista empty: restart", 10, {}, 1, Empty, true, One, true},
        TRestartCase{"setup 1: runs, setup gone", 10, One, 1, {}, false, {}, true},
        TRestartCase{"setup 0: deleted, restart", 10, Zero, 1, {}, true, One, true},
        TRestartCase{"setup 1 keeps a stale vista", 10, One, 1, One, false, One, true},
        TRestartCase{"UAC off", 10, {}, 0, {}, false, {}, true},
        TRestartCase{"no policy key", 10, {}, -1, {}, false, {}, true},
        TRestartCase{"policy without EnableLUA", 10, {}, -2, {}, false, {}, true},
        TRestartCase{"EnableLUA of text type", 10, {}, -3, {}, false, {}, true},
        TRestartCase{"EnableLUA 2 counts as on", 10, {}, 2, {}, true, One, true},
        TRestartCase{"Windows 5: nothing read or written", 5, One, 1, {}, false, {}, false},
        TRestartCase{"Windows 6.0", 6, {}, 1, {}, true, One, true}));

class StartupLock : public corvane_test::TempTreeTest {
protected:
    void SetUp() override {
        TRegistry::SetStoreFolder(Tree.Path("config/corvane"));
        for (const char* Name : {"HOME", "XDG_DATA_HOME"})
            if (const char* V = std::getenv(Name)) FSaved.emplace_back(Name, V);
        setenv("HOME", Tree.Path("home").c_str(), 1);
        setenv("XDG_DATA_HOME", Tree.Path("data").c_str(), 1);
        TRegistry Machine(TRootKey::HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(Machine.OpenKey(PolicyKey, true));
        Machine.WriteInteger("EnableLUA", 1);
    }
    void TearDown() override {
        TRegistry::SetStoreFolder("");
        SetElevatedLauncher(nullptr);
        unsetenv("XDG_DATA_HOME");
        for (const auto& [Name, Value] : FSaved) setenv(Name.c_str(), Value.c_str(), 1);
    }
    std::vector<std::pair<std::string, std::string>> FSaved;
};

TEST_F(StartupLock, RestartReleasesTheLockBeforeStartingTheCopy) {
    plat::TInstanceLock Lock;
    int Launches = 0;
    bool HeldAtLaunch = true;
    std::string Program;
    std::vector<std::string> Args;
    SetElevatedLauncher([&](const std::string& P, const std::vector<std::string>& A, const std::string& Dir) {
        ++Launches;
        HeldAtLaunch = Lock.Held();
        // The copy must be able to take the lock right away.
        plat::TInstanceLock Copy;
        EXPECT_EQ(Copy.Acquire("Corvane"), plat::TLockResult::Acquired);
        Program = P;
        Args = A;
        EXPECT_EQ(Dir, "");
        return true;
    });
    EXPECT_EQ(SingleInstanceAndRestart(Lock, WindowsMajorVersion), TStartAction::Restarted);
    EXPECT_EQ(Launches, 1);
    EXPECT_FALSE(HeldAtLaunch);
    EXPECT_EQ(Program, "pkexec");
    ASSERT_FALSE(Args.empty());
    EXPECT_EQ(Args.front(), "/usr/bin/env");
    EXPECT_EQ(Args.back(), plat::ProgramPath());  // no parameters after the program
    // The copy reads the same store, or it would restart itself again; it
    // keeps the user's home and data folder, or the trash would be root's.
    for (const std::string& Env : {"XDG_CONFIG_HOME=" + Tree.Path("config"), "HOME=" + Tree.Path("home"),
                                   "XDG_DATA_HOME=" + Tree.Path("data")})
        EXPECT_NE(std::find(Args.begin(), Args.end(), Env), Args.end()) << Env;

    // The restarted copy: runs and keeps the lock.
    EXPECT_EQ(SingleInstanceAndRestart(Lock, WindowsMajorVersion), TStartAction::Run);
    EXPECT_EQ(Launches, 1);
    EXPECT_TRUE(Lock.Held());

    // A further start while it runs is turned away and touches no flag.
    plat::TInstanceLock Second;
    TRegistry User(TRootKey::HKEY_CURRENT_USER);
    ASSERT_TRUE(User.OpenKey("Software\\Corvane", false));
    User.WriteString("setup", "1");
    EXPECT_EQ(SingleInstanceAndRestart(Second, WindowsMajorVersion), TStartAction::SecondInstance);
    EXPECT_EQ(User.ReadString("setup"), "1");
    EXPECT_EQ(Launches, 1);
}

} // namespace
