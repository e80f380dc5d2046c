#include "frame/StartupUnit.h"
#include "frame/SettingsUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "common/TempTree.h"
#include "platform/InstanceLock.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"

namespace {

using plat::TRegistry;
using plat::TRootKey;

const char* const PolicyKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

// A file without a version stamp gives "", not what the string held before
// (the start-up smoke test shows this build's own stamp read and stored).
TEST(Version, AFileWithoutAStampGivesNothing) {
    std::string Version = "stale";
    GetFileVersionString("/nonexistent/program", Version);
    EXPECT_EQ(Version, "");
}

// One row of the restart table: the stores before (per-user "setup" and
// "vista"; the policy's EnableLUA, -1 no key, -2 no value, -3 of text type),
// then what start-up decides and leaves of the per-user flags.
struct TRestartCase {
    const char* Name;
    int Major;
    std::optional<std::string> Setup, Vista;
    int Lua;
    const char* After;
};

// The settings stores in a temporary folder; the real elevated launcher, the
// version and the settings record back as they were afterwards.
class StartupTest : public corvane_test::TempTreeTest {
protected:
    void SetUp() override { TRegistry::SetStoreFolder(Tree.Path("config/corvane")); }
    void TearDown() override {
        TRegistry::SetStoreFolder("");
        SetElevatedLauncher(nullptr);
        MyRegistryInfo = TMyRegistryInfo{};
        AppVersion = FOldVersion;
    }
    // LoadSettings on a machine store holding Lines: the record (or "raised"), then the store's lines.
    std::string Load(const std::string& Folder, const std::string& Lines);
    std::string FOldVersion = AppVersion;
};
class RestartDecision : public StartupTest, public ::testing::WithParamInterface<TRestartCase> {};

TEST_P(RestartDecision, Table) {
    const auto& C = GetParam();
    TRegistry User(TRootKey::HKEY_CURRENT_USER), Machine(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(User.OpenKey("Software\\Corvane", true));
    if (C.Setup) User.WriteString("setup", *C.Setup);
    if (C.Vista) User.WriteString("vista", *C.Vista);
    if (C.Lua != -1 && Machine.OpenKey(PolicyKey, true) && C.Lua != -2)
        C.Lua == -3 ? Machine.WriteString("EnableLUA", "1") : Machine.WriteInteger("EnableLUA", C.Lua);
    std::string After = NeedsElevatedRestart(C.Major) ? "restart" : "run";
    for (const char* Flag : {"setup", "vista"})
        if (User.ValueExists(Flag)) After += std::string(" ") + Flag + "=" + User.ReadString(Flag);
    EXPECT_EQ(After, C.After);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, RestartDecision,
    ::testing::Values(
        TRestartCase{"UacOnFirstStartRestarts", 10, {}, {}, 1, "restart vista=1"},
        TRestartCase{"RestartedCopyClearsVistaAndRuns", 10, {}, "1", 1, "run vista="},
        TRestartCase{"VistaEmptyRestarts", 10, {}, "", 1, "restart vista=1"},
        TRestartCase{"VistaZeroRestarts", 10, {}, "0", 1, "restart vista=1"},
        TRestartCase{"Setup1RunsAndSetupGoes", 10, "1", {}, 1, "run"},
        TRestartCase{"Setup0IsDeletedAndRestarts", 10, "0", {}, 1, "restart vista=1"},
        TRestartCase{"Setup1KeepsAStaleVista", 10, "1", "1", 1, "run vista=1"},
        TRestartCase{"UacOff", 10, {}, {}, 0, "run"}, TRestartCase{"NoPolicyKey", 10, {}, {}, -1, "run"},
        TRestartCase{"PolicyWithoutEnableLUA", 10, {}, {}, -2, "run"}, TRestartCase{"EnableLUAOfTextType", 10, {}, {}, -3, "run"},
        TRestartCase{"EnableLUA2CountsAsOn", 10, {}, {}, 2, "restart vista=1"},
        TRestartCase{"Windows5ReadsAndWritesNothing", 5, "1", {}, 1, "run setup=1"},
        TRestartCase{"Windows6Restarts", 6, {}, {}, 1, "restart vista=1"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// The restart releases the lock before the copy starts (or the copy would be
// turned away), and hands it the same store (or it would restart itself
// again) and the user's folders (or the trash would be root's).
TEST_F(StartupTest, RestartReleasesTheLockBeforeStartingTheCopy) {
    TRegistry Machine(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(Machine.OpenKey(PolicyKey, true));
    Machine.WriteInteger("EnableLUA", 1);
    plat::TInstanceLock Lock;
    std::vector<std::string> Launches;
    SetElevatedLauncher([&](const std::string& P, const std::vector<std::string>& A, const std::string&) {
        plat::TInstanceLock Copy;  // the copy must be able to take the lock right away
        Launches.push_back(P + (Copy.Acquire("Corvane") == plat::TLockResult::Acquired ? " free" : " held"));
        Launches.insert(Launches.end(), A.begin(), A.end());
        return true;
    });
    EXPECT_EQ(SingleInstanceAndRestart(Lock, WindowsMajorVersion), TStartAction::Restarted);
    ASSERT_FALSE(Launches.empty());
    EXPECT_EQ(Launches.front(), "pkexec free");
    EXPECT_EQ(Launches.back(), plat::ProgramPath());  // no parameters after the program
    for (const std::string& Env : {"XDG_CONFIG_HOME=" + Tree.Path("config"), "HOME=" + std::string(std::getenv("HOME")),
                                   "XDG_DATA_HOME=" + std::string(std::getenv("XDG_DATA_HOME"))})
        EXPECT_NE(std::find(Launches.begin(), Launches.end(), Env), Launches.end()) << Env;
}

std::string StartupTest::Load(const std::string& Folder, const std::string& Lines) {
    Tree.File(Folder + "/machine.ini", {.Content = "[Software\\Corvane]\n" + Lines});
    TRegistry::SetStoreFolder(Tree.Path(Folder));
    MyRegistryInfo = TMyRegistryInfo{};
    std::string S;
    try {
        LoadSettings();
        const TMyRegistryInfo& I = MyRegistryInfo;
        S = I.HelpURL + "|" + I.HomePage + "|" + std::to_string(I.CheckUpdate) + "|" + I.Version;
    } catch (const plat::ERegistryException&) {
        S = "raised";
    }
    std::string Store = Tree.Read(Folder + "/machine.ini");
    std::replace(Store.begin(), Store.end(), '\n', ' ');
    return S + " / " + Store.substr(0, Store.find_last_not_of(' ') + 1);
}

// Missing values get their defaults (the start-up smoke test shows a fresh
// store), stored ones win (names in any letter case, any non-zero CheckUpdate
// is on), "Version" is always this program's, and a value of the wrong type
// raises, leaving what comes after it unwritten.
TEST_F(StartupTest, SettingsStoredValuesWinAndVersionIsRewritten) {
    AppVersion = "1.2.3.4";
    EXPECT_EQ(Load("stored", "helpurl=sz:https://elsewhere.example/h\nHomePage=sz:https://elsewhere.example\n"
                             "CheckUpdate=dword:5\nVersion=sz:0.9.0.0\n"),
              "https://elsewhere.example/h|https://elsewhere.example|1|1.2.3.4 / [Software\\Corvane] "
              "helpurl=sz:https://elsewhere.example/h HomePage=sz:https://elsewhere.example CheckUpdate=dword:5 Version=sz:1.2.3.4");
    EXPECT_EQ(Load("wrong", "CheckUpdate=sz:yes\n"),
              "raised / [Software\\Corvane] CheckUpdate=sz:yes HelpURL=sz:https://corvane.example/help "
              "HomePage=sz:https://corvane.example");
    AppVersion = "";
    EXPECT_EQ(Load("unknown", "Version=sz:2.0.0.0\n"),
              "https://corvane.example/help|https://corvane.example|0| / [Software\\Corvane] Version=sz: "
              "HelpURL=sz:https://corvane.example/help HomePage=sz:https://corvane.example CheckUpdate=dword:0");
}

} // namespace
