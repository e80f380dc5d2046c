// The Preferences window over temporary settings, autostart and scheduler folders.
#include <QTime>

#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>
#include <utility>

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

} // namespace
