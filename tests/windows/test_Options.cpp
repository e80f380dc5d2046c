// The Preferences window over temporary settings, autostart and scheduler folders.
#include <QDate>
#include <QTime>

#include <gtest/gtest.h>

#include <cstdlib>

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
        for (const char* Name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
            const char* Old = std::getenv(Name);
            FSaved.emplace_back(Name, Old ? Old : "");
        }
        setenv("XDG_CONFIG_HOME", Tree.Path("config").c_str(), 1);
        setenv("XDG_DATA_HOME", Tree.Path("data").c_str(), 1);
        TRegistry::SetStoreFolder(Tree.Path("config/corvane"));
        SetSystemctlRunner([this](const std::vector<std::string>& A) { Ran.push_back(A); });
        SetMessageBoxHandler([this](const std::string& Text, const std::string&, unsigned) {
            Messages.push_back(Text);
            return IDOK;
        });
        ReleaseScheduling();
        MyRegistryInfo = TMyRegistryInfo{};
    }
    void TearDown() override {
        ReleaseScheduling();
        SetMessageBoxHandler(nullptr);
        SetSystemctlRunner([](const std::vector<std::string>&) {});
        TRegistry::SetStoreFolder("");
        for (const auto& [Name, Value] : FSaved)
            Value.empty() ? unsetenv(Name.c_str()) : setenv(Name.c_str(), Value.c_str(), 1);
    }

    std::unique_ptr<TFormOptions> Open() {
        auto Form = std::make_unique<TFormOptions>();
        Form->show();
        return Form;
    }
    TSchedulerFolders Folders() { return {Tree.Path("data/corvane/tasks"), Tree.Path("config/systemd/user")}; }
    std::shared_ptr<TTask> StoredJob(const std::string& Name = ScheduledTaskName) {
        TTaskScheduler Agent(Folders());
        std::shared_ptr<TTask> Job;
        Agent.Activate(Name, Job);
        return Job;
    }
    void Schedule(TFormOptions& Form, int Hour, int Minute, int Days) {
        Form.cbActiveTask->setChecked(true);
        Form.dtpStartTime->setTime(QTime(Hour, Minute));
        Form.SpinEditDays->setValue(Days);
    }
    void ExpectNoJobShown(TFormOptions& Form) {
        EXPECT_FALSE(Form.cbActiveTask->isChecked());
        EXPECT_FALSE(Form.dtpStartTime->isEnabled());
        EXPECT_EQ(Form.dtpStartTime->time(), QTime(9, 30));
        EXPECT_EQ(Form.SpinEditDays->value(), 1);
    }

    std::vector<std::pair<std::string, std::string>> FSaved;
    std::vector<std::vector<std::string>> Ran;
    std::vector<std::string> Messages;
};

TEST_F(OptionsTest, RunEntryAndUpdateCheckFollowTheBoxes) {
    {
        auto Form = Open();
        EXPECT_FALSE(Form->ChkRun->isChecked());
        Form->ChkRun->setChecked(true);
        Form->cbCheckUpdate->setChecked(true);
        Form->BtnCancel->click();  // Cancel writes nothing
    }
    EXPECT_FALSE(AutostartEntryRuns(ProgramPath()));
    {
        auto Form = Open();
        Form->ChkRun->setChecked(true);
        Form->cbCheckUpdate->setChecked(true);
        Form->BitBtn1->click();
    }
    EXPECT_TRUE(AutostartEntryRuns(ProgramPath()));
    EXPECT_TRUE(MyRegistryInfo.CheckUpdate);
    TRegistry Reg(TRootKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(Reg.OpenKey("Software\\Corvane", false));
    EXPECT_EQ(Reg.ReadInteger("CheckUpdate"), 1);

    // Switching pages reloads: an unsaved untick is dropped, and OK keeps the entry.
    auto Form = Open();
    EXPECT_TRUE(Form->ChkRun->isChecked());
    EXPECT_TRUE(Form->cbCheckUpdate->isChecked());
    Form->ChkRun->setChecked(false);
    Form->MainPageControl->setCurrentIndex(1);
    Form->MainPageControl->setCurrentIndex(0);
    EXPECT_TRUE(Form->ChkRun->isChecked());
    Form->cbCheckUpdate->setChecked(false);
    Form->BitBtn1->click();
    EXPECT_TRUE(AutostartEntryRuns(ProgramPath()));
    EXPECT_EQ(Reg.ReadInteger("CheckUpdate"), 0);
    EXPECT_TRUE(Messages.empty());
}

// An entry under the program's name that runs something else (another letter
// case, an argument) shows unticked, and OK removes it.
TEST_F(OptionsTest, ForeignRunEntryIsUntickedAndRemoved) {
    std::string Upper = ProgramPath();
    Upper.back() = char(std::toupper(Upper.back()));
    const std::string Entry = AutostartEntryPath(ProgramPath());
    for (const std::string& Exec : {Upper, ProgramPath() + " -Scan"}) {
        SCOPED_TRACE(Exec);
        Tree.File(Entry.substr(Tree.Root().size() + 1), {.Content = "[Desktop Entry]\nType=Application\nExec=" + Exec + "\n"});
        auto Form = Open();
        EXPECT_FALSE(Form->ChkRun->isChecked());
        Form->BitBtn1->click();
        EXPECT_FALSE(Tree.Exists(Entry.substr(Tree.Root().size() + 1)));
    }
}

// "Version: " and the stored version (the running one when blank, nothing
// without a settings key), then the program file's date and time.
TEST_F(OptionsTest, VersionLabel) {
    const std::string OldVersion = AppVersion;
    AppVersion = "7.6.5.4";
    for (const auto& [Stored, Shown] : std::vector<std::pair<const char*, std::string>>{
             {"1.2.3.4", "Version: 1.2.3.4, Last Time: "}, {"  ", "Version: 7.6.5.4, Last Time: "}, {nullptr, "Version: , Last Time: "}}) {
        SCOPED_TRACE(Shown);
        TRegistry::SetStoreFolder(Tree.Path(Stored ? Stored : "none"));
        TRegistry Reg(TRootKey::HKEY_LOCAL_MACHINE);
        if (Stored && Reg.OpenKey("\\Software\\Corvane", true)) {
            Reg.WriteBool("CheckUpdate", false);
            Reg.WriteString("Version", Stored);
        }
        const std::string Text = Open()->LabelVer->text().toStdString();
        EXPECT_EQ(Text.substr(0, Shown.size()), Shown);
        EXPECT_GT(Text.size(), Shown.size() + 8);
    }
    AppVersion = OldVersion;
}

TEST_F(OptionsTest, FirstScheduleMakesTheJobAndReopeningShowsIt) {
    {
        auto Form = Open();
        ExpectNoJobShown(*Form);
        Form->cbActiveTask->setChecked(true);
        // Ticking a new schedule starts from the current hour and minute, every day.
        EXPECT_LE(std::abs(Form->dtpStartTime->time().secsTo(QTime::currentTime())), 61);
        EXPECT_EQ(Form->SpinEditDays->value(), 1);
        EXPECT_TRUE(Form->SpinEditDays->isEnabled());
        Schedule(*Form, 21, 5, 3);
        Form->BitBtn1->click();
    }
    const auto Job = StoredJob();
    ASSERT_NE(Job, nullptr);
    const QDate Today = QDate::currentDate();
    TWorkItem Expected{ProgramPath(), ProgramFolder(), "-Scan", "Runs Corvane at Scheduled Time.", "",
                       TASK_FLAG_RUN_ONLY_IF_LOGGED_ON, 0,
                       TASK_TRIGGER{.wBeginYear = uint16_t(Today.year()), .wBeginMonth = uint16_t(Today.month()),
                                    .wBeginDay = uint16_t(Today.day()), .wStartHour = 21, .wStartMinute = 5,
                                    .TriggerType = TASK_TIME_TRIGGER_DAILY, .DaysInterval = 3}};
    GetCurrentUserName(Expected.AccountName);
    EXPECT_EQ(Job->Item, Expected);
    EXPECT_TRUE(Tree.Exists("config/systemd/user/corvane-Corvane.job.timer"));
    EXPECT_TRUE(Tree.Exists("config/systemd/user/corvane-Corvane.job.service"));
    ASSERT_FALSE(Ran.empty());
    EXPECT_EQ(Ran.back(), (std::vector<std::string>{"enable", "--now", "corvane-Corvane.job.timer"}));

    ReleaseScheduling();  // a new start of the program
    auto Form = Open();
    EXPECT_TRUE(Form->cbActiveTask->isChecked());
    EXPECT_EQ(Form->dtpStartTime->time(), QTime(21, 5));
    EXPECT_EQ(Form->SpinEditDays->value(), 3);
    EXPECT_EQ(Form->abTaskName->text(), "Corvane.job");
    EXPECT_TRUE(Messages.empty());
}

// Changing time and days rewrites the trigger only: a job made for another
// program path keeps it; unticking then deletes the job and its units.
TEST_F(OptionsTest, ChangingKeepsTheJobsProgramAndUntickingDeletes) {
    {
        TTaskScheduler Agent(Folders());
        std::shared_ptr<TTask> Job;
        ASSERT_EQ(Agent.NewWorkItem(ScheduledTaskName, Job), S_OK);
        Job->Item.ApplicationName = "/opt/other/corvane";
        Job->Item.Comment = "theirs";
        Job->Item.Trigger = TASK_TRIGGER{.wBeginYear = 2020, .wBeginMonth = 1, .wBeginDay = 1, .wStartHour = 8,
                                         .TriggerType = TASK_TIME_TRIGGER_DAILY, .DaysInterval = 2};
        ASSERT_EQ(Job->Save(), S_OK) << Job->LastError;
    }
    {
        auto Form = Open();
        EXPECT_EQ(Form->dtpStartTime->time(), QTime(8, 0));
        EXPECT_EQ(Form->SpinEditDays->value(), 2);
        Form->dtpStartTime->setTime(QTime(7, 30));
        Form->SpinEditDays->setValue(5);
        Form->BitBtn1->click();
    }
    auto Job = StoredJob();
    ASSERT_NE(Job, nullptr);
    EXPECT_EQ(Job->Item.ApplicationName, "/opt/other/corvane");
    EXPECT_EQ(Job->Item.Comment, "theirs");
    TASK_TRIGGER T;
    ASSERT_EQ(Job->GetTrigger(0, T), S_OK);
    EXPECT_EQ(QTime(T.wStartHour, T.wStartMinute), QTime(7, 30));
    EXPECT_EQ(T.DaysInterval, 5);
    EXPECT_EQ(T.wBeginYear, QDate::currentDate().year());

    {
        auto Form = Open();
        Form->cbActiveTask->setChecked(false);
        Form->BitBtn1->click();
    }
    EXPECT_EQ(StoredJob(), nullptr);
    EXPECT_FALSE(Tree.Exists("data/corvane/tasks/Corvane.job"));
    EXPECT_FALSE(Tree.Exists("config/systemd/user/corvane-Corvane.job.timer"));
    EXPECT_FALSE(Tree.Exists("config/systemd/user/corvane-Corvane.job.service"));
    auto Form = Open();
    ExpectNoJobShown(*Form);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(OptionsTest, OtherNamesAreNotOurJob) {
    for (const char* Name : {"corvane.job", "Other.job"}) {
        TTaskScheduler Agent(Folders());
        std::shared_ptr<TTask> Job;
        ASSERT_EQ(Agent.NewWorkItem(Name, Job), S_OK);
        Job->Item.ApplicationName = "/usr/bin/other";
        ASSERT_EQ(Job->Save(), S_OK);
    }
    auto Form = Open();
    ExpectNoJobShown(*Form);
    Form->BitBtn1->click();
    EXPECT_NE(StoredJob("corvane.job"), nullptr);
    EXPECT_NE(StoredJob("Other.job"), nullptr);
}

// A damaged or foreign item under our name: the Activate message, the page as
// for no job, and OK writes a fresh item.
TEST_F(OptionsTest, DamagedJobIsReplacedByAFreshOne) {
    Tree.File("data/corvane/tasks/Corvane.job", {.Content = "[Corvane work item]\nApplicationName=/usr/bin/corvane\n"});
    auto Form = Open();
    EXPECT_EQ(Messages, std::vector<std::string>{"Error in SchedulingAgent.Activate.Error Code :8007000D"});
    ExpectNoJobShown(*Form);
    EXPECT_EQ(Form->abTaskName->text(), "");
    Schedule(*Form, 21, 5, 3);
    Form->BitBtn1->click();
    const auto Job = StoredJob();
    ASSERT_NE(Job, nullptr);
    EXPECT_EQ(Job->Item.ApplicationName, ProgramPath());
}

// Nothing that cannot be written passes as saved: a clear message, the old state kept.
TEST_F(OptionsTest, FailedWritesAreShown) {
    Tree.File("config/autostart", {.Content = "in the way"});
    Tree.File("config/systemd", {.Content = "in the way"});
    auto Form = Open();
    Form->ChkRun->setChecked(true);
    Schedule(*Form, 21, 5, 3);
    Form->BitBtn1->click();
    ASSERT_EQ(Messages.size(), 2u);
    EXPECT_NE(Messages[0].find("The start with the desktop session could not be changed."), std::string::npos);
    EXPECT_NE(Messages[0].find(Tree.Path("config/autostart")), std::string::npos) << Messages[0];
    EXPECT_NE(Messages[1].find("The scheduled scan could not be saved."), std::string::npos) << Messages[1];
    EXPECT_FALSE(Tree.Exists("data/corvane/tasks/Corvane.job"));
    EXPECT_TRUE(Ran.empty());
}

} // namespace
