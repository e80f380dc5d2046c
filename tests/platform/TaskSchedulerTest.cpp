// The scheduler over temporary folders: items and units written whole or not
// at all, damaged items refused, and the timer's days as systemd runs them.
#include "platform/TaskScheduler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>

#include <fcntl.h>
#include <sys/wait.h>

#include "common/Fifo.h"
#include "common/TempTree.h"
#include "platform/Autostart.h"

namespace {

using namespace plat;
using corvane_test::WaitsOnFifo;
using Commands = std::vector<std::vector<std::string>>;

class TaskSchedulerTest : public corvane_test::TempTreeTest {
protected:
    void SetUp() override {
        // Every call is logged; a call whose first word is Refused fails.
        SetSystemctlRunner([this](const std::vector<std::string>& A, std::string& Error) {
            Ran.push_back(A);
            return A[0] == Refused ? (Error = "refused by systemd", false) : true;
        });
    }
    void TearDown() override { SetSystemctlRunner([](const std::vector<std::string>&, std::string&) { return true; }); }

    TSchedulerFolders Folders() { return {Tree.Path("data/tasks"), Tree.Path("config/systemd/user")}; }

    // Saves "Corvane.job" running Program in Folder at 21:05 on every Days-th day from Begin.
    std::shared_ptr<TTask> SaveJob(const std::string& Program, std::chrono::year_month_day Begin, int Days,
                                   const std::string& Folder = "/usr/bin/") {
        std::shared_ptr<TTask> Task;
        EXPECT_EQ(TTaskScheduler(Folders()).NewWorkItem("Corvane.job", Task), S_OK);
        Task->Item = {Program, Folder, "-Scan", "Runs 100% Corvane", "someone", TASK_FLAG_RUN_ONLY_IF_LOGGED_ON, 0,
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
    std::string Refused;
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

// A refusal of systemd, or a file that cannot be removed, leaves the whole
// schedule as it was, its timer enabled again.
TEST_F(TaskSchedulerTest, RefusedOrHalfDoneChangesAreUndone) {
    auto Task = SaveJob("/usr/bin/corvane", std::chrono::year(2025) / 1 / 30, 3);
    const auto Files = [&] { return std::vector{Tree.Read(Item), Tree.Read(Service), Tree.Read(Timer)}; };
    const auto Before = Files();
    TTaskScheduler Agent(Folders());
    const std::pair<bool, const char*> Cases[] = {{true, "enable"}, {true, "daemon-reload"}, {false, "disable"},
                                                  {false, "daemon-reload"}};  // a save or a removal, the step refused
    for (const auto& [Save, Step] : Cases) {
        SCOPED_TRACE(std::string(Save ? "save, " : "removal, ") + Step);
        Refused = Step;
        Ran.clear();
        TASK_TRIGGER T = *Task->Item.Trigger;
        T.wStartHour = 7;
        ASSERT_EQ(Task->SetTrigger(0, T), S_OK);
        EXPECT_NE(Save ? Task->Save() : Agent.Delete("Corvane.job"), S_OK);
        EXPECT_NE((Save ? Task->LastError : Agent.LastError).find("refused by systemd"), std::string::npos);
        EXPECT_EQ(Files(), Before);
        EXPECT_EQ(Ran.back(), (std::vector<std::string>{Refused == "disable" ? "disable" : "enable", "--now",
                                                         "corvane-Corvane.job.timer"}));
    }
    // The real runner, through a stand-in systemctl that refuses: its words reach the user.
    Tree.File("bin/systemctl", {.Content = "#!/bin/sh\necho \"$*: Failed to connect to bus\" >&2\nexit 1\n", .Mode = 0755});
    const std::string Path = std::getenv("PATH");
    setenv("PATH", Tree.Path("bin").c_str(), 1);
    SetSystemctlRunner(nullptr);
    EXPECT_NE(Task->Save(), S_OK);
    setenv("PATH", Path.c_str(), 1);
    SetUp();
    EXPECT_NE(Task->LastError.find("--user daemon-reload: Failed to connect to bus"), std::string::npos) << Task->LastError;
    EXPECT_EQ(Files(), Before);
    // The item that cannot be removed (a folder stands in its way even for
    // root) keeps the timer and units untouched.
    Refused.clear();
    Ran.clear();
    ASSERT_EQ(unlink(Tree.Path(Item).c_str()), 0);
    Tree.File(Item + "/in-the-way");
    EXPECT_NE(Agent.Delete("Corvane.job"), S_OK);
    EXPECT_TRUE(Ran.empty());
    EXPECT_EQ(std::vector({Tree.Read(Service), Tree.Read(Timer)}), std::vector(Before.begin() + 1, Before.end()));
}

// A FIFO planted where the autostart entry or a unit is read is no file of
// ours and never waited on.
TEST_F(TaskSchedulerTest, FifosAreNotWaitedOn) {
    const char* Old = std::getenv("XDG_CONFIG_HOME");
    const std::string Saved = Old ? Old : "";
    setenv("XDG_CONFIG_HOME", Tree.Path("config").c_str(), 1);
    const std::string Entry = Tree.Fifo("config/autostart/corvane.desktop");
    EXPECT_FALSE(corvane_test::WaitsOnFifo(Entry, [] { AutostartEntryRuns("/usr/bin/corvane"); }));
    Old ? setenv("XDG_CONFIG_HOME", Saved.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    EXPECT_FALSE(corvane_test::WaitsOnFifo(Tree.Fifo(Service), [&] { SaveJob("/usr/bin/corvane", std::chrono::year(2025) / 1 / 30, 3); }));
}

// Runs a command line of a unit as systemd hands it over (words split and
// unquoted, "\\x" and other escapes, "%%" and "$$" undone) in Folder; its exit status.
int RunAsSystemd(const std::string& Line, const std::string& Folder) {
    std::vector<std::string> Words;
    for (size_t I = 0; I < Line.size(); ++I) {
        if (Line[I] == ' ') continue;
        const char Quote = Line[I] == '"' || Line[I] == '\'' ? Line[I++] : ' ';
        std::string W;
        for (; I < Line.size() && Line[I] != Quote; ++I) {
            if (Line[I] == '\\' && Line[++I] == 'x') W += char(std::stoi(Line.substr(I + 1, 2), nullptr, 16)), I += 2;
            else W += Line[I];
        }
        Words.push_back(std::regex_replace(W, std::regex("([%$])\\1"), "$1"));
    }
    std::vector<char*> Argv;
    for (auto& W : Words) Argv.push_back(W.data());
    Argv.push_back(nullptr);
    const pid_t Pid = fork();
    if (Pid == 0) {
        if (chdir(Folder.c_str()) == 0) execv(Argv[0], Argv.data());
        _exit(127);
    }
    int Status = -1;
    waitpid(Pid, &Status, 0);
    return Status;
}

// A program whose folder holds what a unit file reads as quoting, escapes,
// specifiers, variables or separators: systemd accepts the units, and the
// command it runs starts that very program, in its folder, with "-Scan".
TEST_F(TaskSchedulerTest, OddProgramPathsReachTheProgramWhole) {
    const std::string Env = "XDG_RUNTIME_DIR=" + Tree.Dir("runtime", {.Mode = 0700}) + " ";  // no manager asked
    const bool Verify = std::system("command -v systemd-analyze >/dev/null 2>&1") == 0;
    for (const std::string Name : {"plain-folder", "my \"odd\" 'folder' \\ $HOME %n; 100% caf\xc3\xa9 \xff"}) {
        SCOPED_TRACE(Name);
        const std::string Folder = Tree.Dir(Name), Ran = Tree.Path("ran");
        const std::string Program = Tree.File(Name + "/corvane", {.Content = "#!/bin/sh\n{ pwd; echo \"$@\"; } >'" + Ran + "'\n",
                                                                  .Mode = 0755});
        SaveJob(Program, std::chrono::year(2025) / 1 / 30, 3, Folder + "/");
        const std::string Text = Tree.Read(Service);
        std::smatch Start, WorkingDirectory;
        ASSERT_TRUE(std::regex_search(Text, Start, std::regex("\nExecStart=(.*)\n")));
        const bool Set = std::regex_search(Text, WorkingDirectory, std::regex("\nWorkingDirectory=(.*)\n"));
        EXPECT_EQ(RunAsSystemd(Start[1], Set ? std::regex_replace(WorkingDirectory[1].str(), std::regex("%%"), "%") : "/"), 0);
        EXPECT_EQ(Tree.Read("ran"), Folder + "\n-Scan\n");
        const std::string Check = Env + "systemd-analyze verify --user " + Tree.Path(Timer) + " " + Tree.Path(Service);
        EXPECT_TRUE(!Verify || std::system((Check + " >/dev/null 2>&1").c_str()) == 0) << Check;
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
