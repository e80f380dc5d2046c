// The Preferences window over temporary settings, autostart and scheduler folders.
#include <QTime>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <utility>

#include <spawn.h>
#include <sys/wait.h>

#include "common/TempTree.h"
#include "frame/SettingsUnit.h"
#include "frame/StartupUnit.h"
#include "platform/Autostart.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "platform/widgets/MessageBox.h"
#include "windows/OptionUnit.h"

namespace {

using namespace plat;

class OptionsTest : public corvane_test::TempTreeTest {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", Tree.Path("config").c_str(), 1);
        setenv("XDG_DATA_HOME", Tree.Path("data").c_str(), 1);
        TRegistry::SetStoreFolder(Tree.Path("config/corvane"));
        SetMessageBoxHandler([this](const std::string& Text, auto, auto) { return Messages.push_back(Text), IDOK; });
        ReleaseScheduling();
        MyRegistryInfo = TMyRegistryInfo{};
    }
    void TearDown() override {
        SetSystemctlRunner([](const std::vector<std::string>&, std::string&) { return true; });
        ReleaseScheduling();
        SetMessageBoxHandler(nullptr);
        TRegistry::SetStoreFolder("");
        setenv("XDG_CONFIG_HOME", FConfig.c_str(), 1);
        setenv("XDG_DATA_HOME", FData.c_str(), 1);
    }
    std::unique_ptr<TFormOptions> Open() {
        auto Form = std::make_unique<TFormOptions>();
        Form->show();
        return Form;
    }
    std::shared_ptr<TTask> StoredJob() {
        std::shared_ptr<TTask> Job;
        TTaskScheduler({Tree.Path("data/corvane/tasks"), Tree.Path("config/systemd/user")}).Activate(ScheduledTaskName, Job);
        return Job;
    }
    // The scheduling page: ticked, start time, days.
    static std::tuple<bool, QTime, int> Shown(TFormOptions& F) {
        return {F.cbActiveTask->isChecked(), F.dtpStartTime->time(), F.SpinEditDays->value()};
    }
    // The program's private folders (see WindowsTestMain), put back after each test.
    const std::string FConfig = std::getenv("XDG_CONFIG_HOME"), FData = std::getenv("XDG_DATA_HOME");
    std::vector<std::string> Messages;
};

// Cancel writes nothing; OK writes the autostart entry and the update check;
// switching pages reloads, dropping an unsaved change; the label shows the
// stored version, the running one where that is blank.
TEST_F(OptionsTest, GeneralPageIsWrittenOnOkOnly) {
    for (auto Button : {&TFormOptions::BtnCancel, &TFormOptions::BitBtn1}) {
        auto Form = Open();
        Form->ChkRun->setChecked(true);
        Form->cbCheckUpdate->setChecked(true);
        ((*Form).*Button)->click();
        EXPECT_EQ(AutostartEntryRuns(ProgramPath()), Button == &TFormOptions::BitBtn1);
    }
    TRegistry Reg(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(Reg.OpenKey("Software\\Corvane", false));
    EXPECT_TRUE(Reg.ReadBool("CheckUpdate") && MyRegistryInfo.CheckUpdate);
    Reg.WriteString("Version", "  ");
    const std::string Running = std::exchange(AppVersion, "7.6.5.4");
    auto Form = Open();
    AppVersion = Running;
    EXPECT_EQ(Form->LabelVer->text().toStdString().rfind("Version: 7.6.5.4, ", 0), 0u);
    Form->ChkRun->setChecked(false);
    Form->MainPageControl->setCurrentIndex(1);
    Form->MainPageControl->setCurrentIndex(0);
    EXPECT_TRUE(Form->ChkRun->isChecked() && Form->cbCheckUpdate->isChecked());
    Form->cbCheckUpdate->setChecked(false);
    Form->BitBtn1->click();
    EXPECT_TRUE(AutostartEntryRuns(ProgramPath()) && !Reg.ReadBool("CheckUpdate"));
}

// A first schedule makes a job that runs this program and is shown at the
// next start; unticking deletes the job with its units.
TEST_F(OptionsTest, ScheduleIsMadeShownAndDeleted) {
    auto Form = Open();
    EXPECT_EQ(Shown(*Form), std::tuple(false, QTime(9, 30), 1));
    Form->cbActiveTask->setChecked(true);
    Form->dtpStartTime->setTime(QTime(21, 5));
    Form->SpinEditDays->setValue(3);
    Form->BitBtn1->click();
    ASSERT_NE(StoredJob(), nullptr);
    EXPECT_EQ(StoredJob()->Item.ApplicationName, ProgramPath());
    ReleaseScheduling();  // a new start of the program
    Form = Open();
    EXPECT_EQ(Shown(*Form), std::tuple(true, QTime(21, 5), 3));
    Form->cbActiveTask->setChecked(false);
    Form->BitBtn1->click();
    EXPECT_EQ(StoredJob(), nullptr);
}

// Nothing that cannot be written passes as saved. A damaged item under our
// name brings the Activate message and the page as for no job; OK writes a
// fresh item.
TEST_F(OptionsTest, FailedWritesAreShownAndADamagedJobIsReplaced) {
    Tree.File("config/autostart", {.Content = "in the way"});
    Tree.File("data/corvane/tasks/Corvane.job", {.Content = "[Corvane work item]\nApplicationName=/usr/bin/corvane\n"});
    auto Form = Open();
    EXPECT_EQ(Messages, std::vector<std::string>{"Error in SchedulingAgent.Activate.Error Code :8007000D"});
    EXPECT_EQ(Shown(*Form), std::tuple(false, QTime(9, 30), 1));
    Form->ChkRun->setChecked(true);
    Form->cbActiveTask->setChecked(true);
    Form->BitBtn1->click();
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_NE(Messages[1].find(Tree.Path("config/autostart")), std::string::npos) << Messages[1];
    ASSERT_NE(StoredJob(), nullptr);
    EXPECT_EQ(StoredJob()->Item.ApplicationName, ProgramPath());
}

// A job that cannot be read no longer keeps its units starting the program:
// OK with the box unticked removes them, and leaves the file for the user.
TEST_F(OptionsTest, UnitsOfAnUnreadableJobAreRemoved) {
    const std::string Units = "config/systemd/user/corvane-Corvane.job";
    Tree.File("data/corvane/tasks/Corvane.job", {.Content = "[Corvane work item]\nApplicationName=/usr/bin/corvane\n"});
    Tree.File(Units + ".timer");
    Tree.File(Units + ".service");
    Open()->BitBtn1->click();
    EXPECT_FALSE(Tree.Exists(Units + ".timer") || Tree.Exists(Units + ".service"));
    EXPECT_TRUE(Tree.Exists("data/corvane/tasks/Corvane.job"));
}

// systemd refusing the new timer: the failed save is shown with its reason,
// and no job is left that would never run.
TEST_F(OptionsTest, ScheduleThatSystemdRefusesIsShownAndUndone) {
    SetSystemctlRunner([](const std::vector<std::string>& A, std::string& Error) {
        Error = "Failed to connect to bus";
        return A[0] != "enable";
    });
    auto Form = Open();
    Form->cbActiveTask->setChecked(true);
    Form->BitBtn1->click();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].rfind("Error in Task.QueryInterface(IID_IPersistFile, pIPersistFile):\n", 0), 0u) << Messages[0];
    EXPECT_NE(Messages[0].find("Failed to connect to bus"), std::string::npos) << Messages[0];
    EXPECT_EQ(StoredJob(), nullptr);
    EXPECT_FALSE(Tree.Exists("config/systemd/user/corvane-Corvane.job.timer"));
}

// The program file replaced (an upgrade) or removed while the program runs,
// done by a copy of this test program to itself: a new file at the path is
// the program; without one, nothing is set up to start a missing file.
TEST_F(OptionsTest, ProgramReplacedOrRemovedWhileItRuns) {
    if (const char* Mode = std::getenv("CORVANE_TEST_PROGRAM")) {  // in the copy
        const bool Replaced = std::string(Mode) == "replaced";
        const std::string Self = ProgramPath();
        ASSERT_EQ(unlink(Self.c_str()), 0);
        if (Replaced) std::ofstream(Self) << "the new version";
        EXPECT_EQ(ProgramPath(), Self);
        auto Form = Open();
        EXPECT_EQ(Form->LabelVer->text().startsWith("Version: "), Replaced) << Form->LabelVer->text().toStdString();
        Form->ChkRun->setChecked(true);
        Form->cbActiveTask->setChecked(true);
        Form->BitBtn1->click();
        EXPECT_EQ(AutostartEntryRuns(Self), Replaced);
        EXPECT_EQ(StoredJob() != nullptr, Replaced);
        EXPECT_EQ(Messages.size(), Replaced ? 0u : 2u);
        return;
    }
    for (const std::string Mode : {"replaced", "removed"}) {
        const std::string Copy = Tree.Dir(Mode) + "/corvane";
        std::filesystem::copy_file("/proc/self/exe", Copy);
        std::vector<std::string> Args = {Copy, "--gtest_brief=1", "--gtest_filter=OptionsTest.ProgramReplacedOrRemovedWhileItRuns"},
                                 Env = {"CORVANE_TEST_PROGRAM=" + Mode};
        for (char** E = environ; *E; ++E) Env.push_back(*E);
        const auto Pointers = [](std::vector<std::string>& Words) {
            std::vector<char*> P;
            for (auto& W : Words) P.push_back(W.data());
            return P.push_back(nullptr), P;
        };
        auto Argv = Pointers(Args), Envp = Pointers(Env);
        pid_t Pid = -1;
        int Status = -1;
        ASSERT_EQ(posix_spawn(&Pid, Copy.c_str(), nullptr, nullptr, Argv.data(), Envp.data()), 0);
        waitpid(Pid, &Status, 0);
        EXPECT_EQ(Status, 0) << Mode;
    }
}

} // namespace
