#include "platform/TaskScheduler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>

#include <sys/stat.h>

#include "common/TempTree.h"

namespace {

using namespace plat;
using Commands = std::vector<std::vector<std::string>>;

class TaskSchedulerTest : public corvane_test::TempTreeTest {
protected:
    void SetUp() override {
        SetSystemctlRunner([this](const std::vector<std::string>& A) { Ran.push_back(A); });
    }
    void TearDown() override { SetSystemctlRunner([](const std::vector<std::string>&) {}); }

    TSchedulerFolders Folders() { return {Tree.Path("data/corvane/tasks"), Tree.Path("config/systemd/user")}; }

    // Saves "Corvane.job" running Program, daily from the begin date.
    std::shared_ptr<TTask> SaveJob(const std::string& Program, uint16_t Y, uint16_t M, uint16_t D, uint16_t Hour,
                                   uint16_t Minute, uint16_t Days) {
        TTaskScheduler Agent(Folders());
        std::shared_ptr<TTask> Task;
        EXPECT_EQ(Agent.NewWorkItem("Corvane.job", Task), S_OK);
        Task->Item = {Program, "/usr/bin/", "-Scan", "Runs 100% Corvane", "someone", TASK_FLAG_RUN_ONLY_IF_LOGGED_ON, 0, {}};
        uint16_t Index = 9;
        EXPECT_EQ(Task->CreateTrigger(Index), S_OK);
        EXPECT_EQ(Index, 0);
        EXPECT_EQ(Task->SetTrigger(0, {.wBeginYear = Y, .wBeginMonth = M, .wBeginDay = D, .wStartHour = Hour,
                                       .wStartMinute = Minute, .TriggerType = TASK_TIME_TRIGGER_DAILY, .DaysInterval = Days}),
                  S_OK);
        EXPECT_EQ(Task->Save(), S_OK) << Task->LastError;
        return Task;
    }
    std::string ServicePath() { return "config/systemd/user/corvane-Corvane.job.service"; }
    std::string TimerPath() { return "config/systemd/user/corvane-Corvane.job.timer"; }

    Commands Ran;
};

TEST_F(TaskSchedulerTest, SavedItemReadsBackUnderItsExactNameAndDeletes) {
    const auto Saved = SaveJob("/usr/bin/corvane", 2025, 1, 30, 21, 5, 3);
    EXPECT_EQ(Ran, (Commands{{"daemon-reload"}, {"enable", "--now", "corvane-Corvane.job.timer"}}));
    EXPECT_EQ(Tree.Read("data/corvane/tasks/Corvane.job").rfind("[Corvane work item]\nApplicationName=/usr/bin/corvane\n", 0), 0u);
    EXPECT_TRUE(Tree.Exists(ServicePath()));
    EXPECT_TRUE(Tree.Exists(TimerPath()));

    Tree.File("data/corvane/tasks/.Corvane.job.a1b2c3");  // a save cut short
    Tree.Link("data/corvane/tasks/Linked.job", "Corvane.job");
    TTaskScheduler Agent(Folders());
    EXPECT_EQ(Agent.Enum(), std::vector<std::string>{"Corvane.job"});
    std::shared_ptr<TTask> Task;
    ASSERT_EQ(Agent.Activate("Corvane.job", Task), S_OK) << Agent.LastError;
    EXPECT_EQ(Task->Item, Saved->Item);
    TASK_TRIGGER T;
    EXPECT_EQ(Task->GetTrigger(0, T), S_OK);
    EXPECT_EQ(T.DaysInterval, 3);
    EXPECT_EQ(Task->GetTrigger(1, T), SCHED_E_TRIGGER_NOT_FOUND);
    EXPECT_EQ(Agent.Activate("corvane.job", Task), E_FILE_NOT_FOUND);
    EXPECT_EQ(Task, nullptr);
    for (const char* Bad : {"", "../Corvane.job", "a/b", ".hidden"}) {
        EXPECT_EQ(Agent.Activate(Bad, Task), E_INVALID_ARG) << Bad;
        EXPECT_EQ(Agent.NewWorkItem(Bad, Task), E_INVALID_ARG) << Bad;
        EXPECT_EQ(Agent.Delete(Bad), E_INVALID_ARG) << Bad;
    }

    // Deleting disables the timer first, then removes the units and the item.
    Ran.clear();
    EXPECT_EQ(Agent.Delete("Corvane.job"), S_OK) << Agent.LastError;
    EXPECT_EQ(Ran, (Commands{{"disable", "--now", "corvane-Corvane.job.timer"}, {"daemon-reload"}}));
    for (const std::string& Gone : {std::string("data/corvane/tasks/Corvane.job"), ServicePath(), TimerPath()})
        EXPECT_FALSE(Tree.Exists(Gone)) << Gone;
    EXPECT_EQ(Agent.Delete("Corvane.job"), E_FILE_NOT_FOUND);
}

// A write that fails midway puts back what it had written: old item, old units.
TEST_F(TaskSchedulerTest, FailedSaveLeavesTheOldState) {
    auto Task = SaveJob("/usr/bin/corvane", 2025, 1, 30, 21, 5, 3);
    const std::string Item = Tree.Read("data/corvane/tasks/Corvane.job");
    const std::string Service = Tree.Read(ServicePath());
    ASSERT_EQ(unlink(Tree.Path(TimerPath()).c_str()), 0);
    Tree.File(TimerPath() + "/in-the-way");  // the timer cannot be replaced
    Ran.clear();
    TASK_TRIGGER T;
    ASSERT_EQ(Task->GetTrigger(0, T), S_OK);
    T.wStartHour = 7;
    T.DaysInterval = 5;
    ASSERT_EQ(Task->SetTrigger(0, T), S_OK);
    EXPECT_NE(Task->Save(), S_OK);
    EXPECT_NE(Task->LastError.find(Tree.Path(TimerPath())), std::string::npos) << Task->LastError;
    EXPECT_EQ(Tree.Read("data/corvane/tasks/Corvane.job"), Item);
    EXPECT_EQ(Tree.Read(ServicePath()), Service);
    EXPECT_TRUE(Ran.empty());
    TTaskScheduler Agent(Folders());
    EXPECT_EQ(Agent.Enum(), std::vector<std::string>{"Corvane.job"});  // no temporary file left
    // A trigger the timer cannot honour is refused before anything is written.
    T.DaysInterval = 32;
    EXPECT_EQ(Task->SetTrigger(0, T), E_INVALID_ARG);
}

struct TDamageCase {
    const char* Name;
    const char* Find;     // text of a valid item to replace...
    const char* Replace;  // ...with this
};

class DamagedItem : public TaskSchedulerTest, public ::testing::WithParamInterface<TDamageCase> {};

// A damaged or foreign item is never taken as valid.
TEST_P(DamagedItem, IsNotActivated) {
    SaveJob("/usr/bin/corvane", 2025, 1, 30, 21, 5, 3);
    std::string Text = Tree.Read("data/corvane/tasks/Corvane.job");
    if (*GetParam().Find) {
        const size_t At = Text.find(GetParam().Find);
        ASSERT_NE(At, std::string::npos);
        Text.replace(At, std::strlen(GetParam().Find), GetParam().Replace);
    } else {
        Text = GetParam().Replace;
    }
    Tree.File("data/corvane/tasks/Corvane.job", {.Content = Text});
    TTaskScheduler Agent(Folders());
    std::shared_ptr<TTask> Task;
    EXPECT_EQ(Agent.Activate("Corvane.job", Task), E_INVALID_DATA);
    EXPECT_EQ(Task, nullptr);
    EXPECT_FALSE(Agent.LastError.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, DamagedItem,
    ::testing::Values(TDamageCase{"MissingField", "TaskFlags=0\n", ""},
                      TDamageCase{"MissingTriggerField", "DaysInterval=3\n", ""},
                      TDamageCase{"AbsurdHour", "StartHour=21", "StartHour=99"},
                      TDamageCase{"NegativeMinute", "StartMinute=5", "StartMinute=-5"},
                      TDamageCase{"NoDays", "DaysInterval=3", "DaysInterval=0"},
                      TDamageCase{"TooManyDays", "DaysInterval=3", "DaysInterval=40"},
                      TDamageCase{"Overflow", "Flags=8192", "Flags=99999999999"},
                      TDamageCase{"NotADate", "BeginMonth=1\nBeginDay=30", "BeginMonth=2\nBeginDay=30"},
                      TDamageCase{"WeeklyTrigger", "TriggerType=1", "TriggerType=2"},
                      TDamageCase{"UnknownField", "TaskFlags=0\n", "TaskFlags=0\nColour=red\n"},
                      TDamageCase{"RepeatedField", "TaskFlags=0\n", "TaskFlags=0\nTaskFlags=0\n"},
                      TDamageCase{"CutShort", "TriggerSize=48", "TriggerSize=48\n\x01\x02"},
                      TDamageCase{"AnotherProgramsItem", "", "[Job]\nCommand=/usr/bin/other\nWhen=daily\n"},
                      TDamageCase{"Empty", "", ""}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// The schedule as systemd runs it: the timer's calendar expression, read
// back by systemd-analyze, filtered through the service's day condition
// with "today" set to each day the timer fires.
std::string DayText(std::chrono::sys_days Day) {
    const std::chrono::year_month_day D(Day);
    char Text[16];
    std::snprintf(Text, sizeof Text, "%04d-%02u-%02u", int(D.year()), unsigned(D.month()), unsigned(D.day()));
    return Text;
}

struct TCalendarCase {
    const char* Name;
    int Y, M, D, Days;
};

class TimerSchedule : public TaskSchedulerTest, public ::testing::WithParamInterface<TCalendarCase> {};

TEST_P(TimerSchedule, RunsEveryNDaysAcrossMonthAndYearEnds) {
    if (std::system("command -v systemd-analyze >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "systemd-analyze is not installed: the timer's schedule cannot be read back";
    const TCalendarCase& C = GetParam();
    SaveJob("/bin/true", uint16_t(C.Y), uint16_t(C.M), uint16_t(C.D), 21, 5, uint16_t(C.Days));

    // systemd itself accepts both units (a private runtime folder: no manager is asked).
    Tree.Dir("runtime", {.Mode = 0700});
    const std::string Env = "TZ=UTC XDG_RUNTIME_DIR=" + Tree.Path("runtime") + " XDG_CONFIG_HOME=" + Tree.Path("config");
    EXPECT_EQ(std::system((Env + " systemd-analyze verify --user " + Tree.Path(TimerPath()) + " " +
                           Tree.Path(ServicePath()) + " >/dev/null 2>&1").c_str()), 0);

    std::smatch M;
    const std::string Timer = Tree.Read(TimerPath());
    ASSERT_TRUE(std::regex_search(Timer, M, std::regex("OnCalendar=(.*)\n")));
    const std::string Calendar = M[1];
    const std::string Service = Tree.Read(ServicePath());
    ASSERT_TRUE(std::regex_search(Service, M, std::regex("ExecCondition=/bin/sh -c '(.*)'\n")));
    const std::string Written = M[1];
    std::string Condition;  // as systemd hands it over: "%%" and "$$" single again
    for (size_t I = 0; I < Written.size(); ++I) {
        Condition += Written[I];
        if ((Written[I] == '%' || Written[I] == '$') && I + 1 < Written.size() && Written[I + 1] == Written[I]) ++I;
    }
    Tree.File("bin/date", {.Content = "#!/bin/sh\nif [ \"$1\" = \"+%F\" ]; then echo \"$TODAY\"; else exec /bin/date \"$@\"; fi\n",
                           .Mode = 0755});

    using namespace std::chrono;
    const sys_days Begin = year_month_day{year(C.Y), month(unsigned(C.M)), day(unsigned(C.D))};
    const std::string Base = DayText(Begin - days(2)) + " 12:00";
    const std::string Query = "TZ=UTC systemd-analyze calendar --iterations=16 --base-time='" + Base + "' '" + Calendar + "'";
    FILE* Out = popen(Query.c_str(), "r");
    ASSERT_NE(Out, nullptr);
    std::vector<std::string> Runs, Expected;
    char Line[256];
    const std::regex Elapse(R"((Next elapse|Iter\. #\d+): \w+ (\d{4}-\d\d-\d\d) 21:05:00)");
    int Fired = 0;
    while (fgets(Line, sizeof Line, Out)) {
        std::cmatch E;
        if (!std::regex_search(Line, E, Elapse)) continue;
        ++Fired;
        const std::string Day = E[2];
        const std::string Run = "TODAY=" + Day + " PATH=" + Tree.Path("bin") + ":/usr/bin:/bin /bin/sh -c '" + Condition + "'";
        if (std::system(Run.c_str()) == 0) Runs.push_back(Day);
    }
    pclose(Out);
    EXPECT_EQ(Fired, 16);  // daily, at the start time
    for (sys_days Day = Begin; Day < Begin + days(14); Day += days(C.Days)) Expected.push_back(DayText(Day));
    EXPECT_EQ(Runs, Expected);
}

INSTANTIATE_TEST_SUITE_P(Table, TimerSchedule,
                         ::testing::Values(TCalendarCase{"MonthEnd", 2025, 1, 30, 3},
                                           TCalendarCase{"YearEnd", 2024, 12, 30, 3},
                                           TCalendarCase{"LeapDay", 2024, 2, 27, 2},
                                           TCalendarCase{"Daily", 2025, 3, 30, 1},
                                           TCalendarCase{"Fortnight", 2025, 6, 25, 13}),
                         [](const auto& Info) { return std::string(Info.param.Name); });

} // namespace
