#include "frame/SettingsUnit.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "common/TempTree.h"
#include "frame/StartupUnit.h"
#include "platform/Registry.h"
#include "platform/Shell.h"

namespace {

using plat::TRegistry;
using plat::TRootKey;

class SettingsTest : public corvane_test::TempTreeTest {
protected:
    void SetUp() override {
        TRegistry::SetStoreFolder(Tree.Path("store"));
        MyRegistryInfo = TMyRegistryInfo{};
        FOldVersion = AppVersion;
        AppVersion = "1.2.3.4";
    }
    void TearDown() override {
        TRegistry::SetStoreFolder("");
        MyRegistryInfo = TMyRegistryInfo{};
        AppVersion = FOldVersion;
    }
    TRegistry& Machine() {
        if (!FMachine.OpenKey("\\Software\\Corvane", true)) ADD_FAILURE() << "store";
        return FMachine;
    }
    std::string FOldVersion;
    TRegistry FMachine{TRootKey::HKEY_LOCAL_MACHINE};
};

TEST_F(SettingsTest, FreshStoreGetsEveryDefault) {
    LoadSettings();
    EXPECT_EQ(MyRegistryInfo.HelpURL, "https://corvane.example/help");
    EXPECT_EQ(MyRegistryInfo.HomePage, "https://corvane.example");
    EXPECT_FALSE(MyRegistryInfo.CheckUpdate);
    EXPECT_EQ(MyRegistryInfo.Version, "1.2.3.4");
    auto& R = Machine();
    EXPECT_EQ(R.ReadString("HelpURL"), "https://corvane.example/help");
    EXPECT_EQ(R.ReadString("HomePage"), "https://corvane.example");
    EXPECT_EQ(R.ReadInteger("CheckUpdate"), 0);
    EXPECT_EQ(R.ReadString("Version"), "1.2.3.4");
    // Written in the order of the table.
    const std::string Text = Tree.Read("store/machine.ini");
    EXPECT_LT(Text.find("HelpURL"), Text.find("HomePage"));
    EXPECT_LT(Text.find("HomePage"), Text.find("CheckUpdate"));
    EXPECT_LT(Text.find("CheckUpdate"), Text.find("Version"));
}

TEST_F(SettingsTest, StoredValuesWinAndAnOlderVersionIsRewritten) {
    auto& R = Machine();
    R.WriteString("helpurl", "https://elsewhere.example/h");
    R.WriteString("HomePage", "https://elsewhere.example");
    R.WriteInteger("CheckUpdate", 5);
    R.WriteString("Version", "0.9.0.0");
    LoadSettings();
    EXPECT_EQ(MyRegistryInfo.HelpURL, "https://elsewhere.example/h");
    EXPECT_EQ(MyRegistryInfo.HomePage, "https://elsewhere.example");
    EXPECT_TRUE(MyRegistryInfo.CheckUpdate);  // non-zero is on
    EXPECT_EQ(MyRegistryInfo.Version, "1.2.3.4");
    EXPECT_EQ(R.ReadString("Version"), "1.2.3.4");
    EXPECT_EQ(R.ReadInteger("CheckUpdate"), 5);  // read, not rewritten
}

TEST_F(SettingsTest, EmptyAppVersionIsStoredEmpty) {
    AppVersion = "";
    Machine().WriteString("Version", "2.0.0.0");
    LoadSettings();
    EXPECT_EQ(MyRegistryInfo.Version, "");
    EXPECT_EQ(Machine().ReadString("Version"), "");
}

TEST_F(SettingsTest, WrongTypeRaisesAndLeavesTheRestAlone) {
    Machine().WriteString("CheckUpdate", "yes");
    EXPECT_THROW(LoadSettings(), plat::ERegistryException);
    EXPECT_EQ(Machine().ReadString("CheckUpdate"), "yes");
    EXPECT_FALSE(Machine().ValueExists("Version"));
}

TEST_F(SettingsTest, DamagedLineCostsOnlyThatLine) {
    Tree.File("store/machine.ini", {.Content = "[Software\\Corvane]\nthis is not a setting\nCheckUpdate=dword:1\n"});
    LoadSettings();
    EXPECT_EQ(MyRegistryInfo.HelpURL, "https://corvane.example/help");
    EXPECT_TRUE(MyRegistryInfo.CheckUpdate);
    EXPECT_EQ(MyRegistryInfo.Version, "1.2.3.4");
    EXPECT_NE(Tree.Read("store/machine.ini").find("\nthis is not a setting\n"), std::string::npos);
}

TEST(CommonServices, WindowsFolderUserAndUrl) {
    std::string Dir = "unchanged";
    GetWindowsDir(Dir);
    EXPECT_EQ(Dir, "/usr");
    std::string Name;
    GetCurrentUserName(Name);
    EXPECT_FALSE(Name.empty());

    std::string Opened;
    plat::TShellHooks H;
    H.Open = [&](const std::string& T) { Opened = T; };
    plat::SetShellHooks(H);
    OpenURL("https://corvane.example/help");
    plat::SetShellHooks({});
    EXPECT_EQ(Opened, "https://corvane.example/help");
}

TEST(CommonServices, FileTimeToDateTimeIsLocal) {
    const uint64_t FileTime = 1610712000ull * 10000000ull + 116444736000000000ull;  // 2021-01-15 12:00 UTC
    const char* Old = std::getenv("TZ");
    const std::string Saved = Old ? Old : "";
    setenv("TZ", "UTC0", 1);
    tzset();
    const TDateTime Utc = FileTimeToDateTime(FileTime);
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    const TDateTime Cet = FileTimeToDateTime(FileTime);
    if (Old)
        setenv("TZ", Saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    EXPECT_NEAR(Utc, plat::EncodeDateTime(2021, 1, 15, 12, 0, 0, 0), 1e-9);
    EXPECT_NEAR(Cet, plat::EncodeDateTime(2021, 1, 15, 13, 0, 0, 0), 1e-9);
}

} // namespace
