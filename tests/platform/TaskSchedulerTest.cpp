// The scheduler over temporary folders: items and units written whole or not
// at all, damaged items refused, and the timer's days as systemd runs them.
#include "platform/TaskScheduler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>

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

    TSchedulerFolders Folders() { return {Tree.Path("data/tasks"), Tree.Path("config/systemd/user")}; }

    // Saves "Corvane.job" running Program at 21:05 on every Days-th day from Begin.
    std::shared_ptr<TTask> SaveJob(const std::string& Program, std::chrono::year_month_day Begin, int Days) {
        std::shared_ptr<TTask> Task;
        EXPECT_EQ(TTaskScheduler(Folders()).NewWorkItem("Corvane.job", Task), S_OK);
        Task->Item = {Program, "/usr/bin/", "-Scan", "Runs 100% Corvane", "someone", TASK_FLAG_RUN_ONLY_IF_LOGGED_ON, 0,
                      TASK_TRIGGER{.wBeginYear = uint16_t(int(Begin.year())), .wBeginMonth = uint16_t(unsigned(Begin.month())),
                                   .wBeginDay = uint16_t(unsigned(Begin.day())), .wStartHour = 21, .wStartMinute = 5,
                                   .TriggerType = TASK_TIME_TRIGGER_DAILY, .DaysInterval = uint16_t(Days)}};
        EXPECT_EQ(Task->Save(), S_OK) << Task->LastError;
        return Task;
    }
    const std::string Item = "data/tasks/Corvane.job";
    const std::string Service = "config/systemd/user/corvane-Corvane.job.service";
    const std::string Timer = "config/systemd/user/corvane-Corvane.job.timer";
    Commands Ran;
};

TEST_F(TaskSchedulerTest, SavedItemReadsBackUnderItsExactNameAndDeletes) {
    const auto Saved = SaveJob("/usr/bin/corvane", std::chrono::year(2025) / 1 / 30, 3);
    EXPECT_EQ(Ran, (Commands{{"daemon-reload"}, {"enable", "--now", "corvane-Corvane.job.timer"}}));

    Tree.File("data/tasks/.Corvane.job.a1b2c3");  // a save cut short
    Tree.Link("data/tasks/Linked.job", "Corvane.job");
    TTaskScheduler Agent(Folders());
    EXPECT_EQ(Agent.Enum(), std::vector<std::string>{"Corvane.job"});
    std::shared_ptr<TTask> Task;
    ASSERT_EQ(Agent.Activate("Corvane.job", Task), S_OK) << Agent.LastError;
    EXPECT_EQ(Task->Item, Saved->Item);
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
    for (const std::string& Gone : {Item, Service, Timer}) EXPECT_FALSE(Tree.Exists(Gone)) << Gone;
    EXPECT_EQ(Agent.Delete("Corvane.job"), E_FILE_NOT_FOUND);
}

// A write that fails midway puts back what it had written (old item, old
// units) and leaves no temporary file; systemd is not asked.
TEST_F(TaskSchedulerTest, FailedSaveLeavesTheOldState) {
    auto Task = SaveJob("/usr/bin/corvane", std::chrono::year(2025) / 1 / 30, 3);
    const std::string OldItem = Tree.Read(Item), OldService = Tree.Read(Service);
    ASSERT_EQ(unlink(Tree.Path(Timer).c_str()), 0);
    Tree.File(Timer + "/in-the-way");  // the timer cannot be replaced
    Ran.clear();
    TASK_TRIGGER T = *Task->Item.Trigger;
    T.DaysInterval = 5;
    ASSERT_EQ(Task->SetTrigger(0, T), S_OK);
    EXPECT_NE(Task->Save(), S_OK);
    EXPECT_NE(Task->LastError.find(Tree.Path(Timer)), std::string::npos) << Task->LastError;
    EXPECT_EQ(Tree.Read(Item), OldItem);
    EXPECT_EQ(Tree.Read(Service), OldService);
    EXPECT_TRUE(Ran.empty());
    for (const char* Folder : {"config/systemd/user", "data/tasks"})
        for (const auto& E : std::filesystem::directory_iterator(Tree.Path(Folder)))
            EXPECT_NE(E.path().filename().string()[0], '.') << E.path();
    // A trigger the timer cannot honour is refused before anything is written.
    T.DaysInterval = 32;
    EXPECT_EQ(Task->SetTrigger(0, T), E_INVALID_ARG);
}

// A damaged or foreign item is never taken as valid.
TEST_F(TaskSchedulerTest, DamagedItemIsNotActivated) {
    SaveJob("/usr/bin/corvane", std::chrono::year(2025) / 1 / 30, 3);
    const std::string Valid = Tree.Read(Item);
    const std::pair<const char*, const char*> Cases[] = {  // text of the valid item ("": all of it), its replacement
        {"TaskFlags=0\n", ""}, {"DaysInterval=3\n", ""}, {"StartHour=21", "StartHour=99"},
        {"StartMinute=5", "StartMinute=-5"}, {"DaysInterval=3", "DaysInterval=0"}, {"DaysInterval=3", "DaysInterval=40"},
        {"Flags=8192", "Flags=99999999999"}, {"BeginMonth=1\nBeginDay=30", "BeginMonth=2\nBeginDay=30"},
        {"TriggerType=1", "TriggerType=2"}, {"TaskFlags=0\n", "TaskFlags=0\nColour=red\n"},
        {"TaskFlags=0\n", "TaskFlags=0\nTaskFlags=0\n"}, {"TriggerSize=48", "TriggerSize=48\n\x01\x02"},
        {"[Corvane work item]", "[Job]"}, {"", "[Job]\nCommand=/usr/bin/other\nWhen=daily\n"}, {"", ""}};
    for (const auto& [Find, Replace] : Cases) {
        std::string Text = Valid;
        Text.replace(Text.find(Find), *Find ? std::strlen(Find) : Text.size(), Replace);
        Tree.File(Item, {.Content = Text});
        TTaskScheduler Agent(Folders());
        std::shared_ptr<TTask> Task;
        EXPECT_EQ(Agent.Activate("Corvane.job", Task), E_INVALID_DATA) << Text;
        EXPECT_TRUE(Task == nullptr && !Agent.LastError.empty()) << Text;
    }
}

std::string DayText(std::chrono::sys_days Day) {
    const std::chrono::year_month_day D(Day);
    char Text[16];
    std::snprintf(Text, sizeof Text, "%04d-%02u-%02u", int(D.year()), unsigned(D.month()), unsigned(D.day()));
    return Text;
}

// The schedule as systemd runs it: systemd accepts both units; the days its
// calendar reads from the timer, filtered through the service's condition
// (with "today" set to each), are every N-th day from the begin date.
TEST_F(TaskSchedulerTest, TimerRunsEveryNthDayAcrossMonthAndYearEnds) {
    if (std::system("command -v systemd-analyze >/dev/null 2>&1") != 0) GTEST_SKIP() << "systemd-analyze is missing";
    using namespace std::chrono;
    Tree.File("bin/date", {.Content = "#!/bin/sh\nif [ \"$1\" = \"+%F\" ]; then echo \"$TODAY\"; else exec /bin/date \"$@\"; fi\n",
                           .Mode = 0755});
    const std::string Env = "TZ=UTC XDG_RUNTIME_DIR=" + Tree.Dir("runtime", {.Mode = 0700}) + " ";  // no manager asked
    for (const auto& [Begin, Days] : {std::pair{sys_days(2025y / 1 / 30), 3}, {sys_days(2024y / 12 / 30), 3},
                                      {sys_days(2024y / 2 / 27), 2}, {sys_days(2025y / 6 / 25), 13}}) {
        SCOPED_TRACE(DayText(Begin));
        SaveJob("/bin/true", year_month_day(Begin), Days);
        EXPECT_EQ(std::system((Env + "systemd-analyze verify --user " + Tree.Path(Timer) + " " + Tree.Path(Service) +
                               " >/dev/null 2>&1").c_str()), 0);
        std::smatch Calendar, Condition;
        const std::string TimerText = Tree.Read(Timer), ServiceText = Tree.Read(Service);
        ASSERT_TRUE(std::regex_search(TimerText, Calendar, std::regex("OnCalendar=(.*)\n")) &&
                    std::regex_search(ServiceText, Condition, std::regex("ExecCondition=/bin/sh -c '(.*)'\n")));
        // As systemd hands the condition over: "%%" and "$$" single again.
        const std::string Shell = std::regex_replace(Condition[1].str(), std::regex("([%$])\\1"), "$1");
        FILE* Out = popen((Env + "systemd-analyze calendar --iterations=16 --base-time='" + DayText(Begin - days(2)) +
                           " 12:00' '" + Calendar[1].str() + "'").c_str(), "r");
        ASSERT_NE(Out, nullptr);
        const std::regex Elapse(R"((Next elapse|Iter\. #\d+): \w+ (\d{4}-\d\d-\d\d) 21:05:00)");
        int Fired = 0;
        for (char Line[256]; fgets(Line, sizeof Line, Out);) {
            std::cmatch E;
            if (!std::regex_search(Line, E, Elapse)) continue;
            const sys_days Day = Begin - days(2) + days(Fired++);  // daily, from the base day on
            EXPECT_EQ(E[2].str(), DayText(Day));
            const bool Runs = std::system(("TODAY=" + DayText(Day) + " PATH=" + Tree.Path("bin") + ":/usr/bin:/bin /bin/sh -c '" +
                                           Shell + "'").c_str()) == 0;
            EXPECT_EQ(Runs, Day >= Begin && (Day - Begin).count() % Days == 0) << DayText(Day);
        }
        pclose(Out);
        EXPECT_EQ(Fired, 16);
    }
}

} // namespace
