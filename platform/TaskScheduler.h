#pragma once
// The scheduler: work items that start a program at set times. Each item is
// a text file named after it in $XDG_DATA_HOME/corvane/tasks; saving an item
// with a daily trigger also writes a systemd user service and timer for it
// ($XDG_CONFIG_HOME/systemd/user) and enables the timer with
// "systemctl --user" where that command exists. The user's service manager
// runs only while the user is logged in. A change that systemd refuses is
// undone: files and timer stay as they were.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plat {

using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FILE_NOT_FOUND = HRESULT(0x80070002);
constexpr HRESULT E_ACCESS_DENIED = HRESULT(0x80070005);
constexpr HRESULT E_INVALID_DATA = HRESULT(0x8007000D);  // not a work item we can read
constexpr HRESULT E_INVALID_ARG = HRESULT(0x80070057);
constexpr HRESULT E_UNEXPECTED_FAILURE = HRESULT(0x80004005);
constexpr HRESULT SCHED_E_TRIGGER_NOT_FOUND = HRESULT(0x80041309);

constexpr uint32_t TASK_FLAG_RUN_ONLY_IF_LOGGED_ON = 0x2000;
constexpr uint16_t TASK_TIME_TRIGGER_DAILY = 1;

// A trigger; only a daily one without repetition, random delay or end date
// can be kept, with DaysInterval 1 to 31.
struct TASK_TRIGGER {
    uint16_t cbTriggerSize = 48;
    uint16_t Reserved1 = 0;
    uint16_t wBeginYear = 0, wBeginMonth = 0, wBeginDay = 0;
    uint16_t wEndYear = 0, wEndMonth = 0, wEndDay = 0;
    uint16_t wStartHour = 0, wStartMinute = 0;
    uint32_t MinutesDuration = 0, MinutesInterval = 0, rgFlags = 0;
    uint16_t TriggerType = 0;
    uint16_t DaysInterval = 0;  // Type.Daily.DaysInterval
    uint16_t Reserved2 = 0, wRandomMinutesInterval = 0;
    bool operator==(const TASK_TRIGGER&) const = default;
};
bool ValidTrigger(const TASK_TRIGGER& T);

// What a work item holds besides its name.
struct TWorkItem {
    std::string ApplicationName, WorkingDirectory, Parameters, Comment, AccountName;
    uint32_t Flags = 0, TaskFlags = 0;
    std::optional<TASK_TRIGGER> Trigger;  // trigger 0, the only one
    bool operator==(const TWorkItem&) const = default;
};

// The work item file: readable text, "[Corvane work item]" first.
std::string FormatWorkItem(const TWorkItem& Item);
// Nullopt for anything that is not a whole, valid item of ours.
std::optional<TWorkItem> ParseWorkItem(const std::string& Text);

struct TSchedulerFolders {
    std::string Tasks;  // the work item files
    std::string Units;  // the systemd user units
};
TSchedulerFolders DefaultSchedulerFolders();

// How "systemctl --user ..." is run; tests replace it. The real one runs the
// command where it exists and waits for it: false, with what it said in
// Error, when it failed; true when there is no systemctl.
using TSystemctlRunner = std::function<bool(const std::vector<std::string>& Arguments, std::string& Error)>;
void SetSystemctlRunner(TSystemctlRunner Runner);  // nullptr: the real one

// The units of an item: the service runs the program from its folder on the
// days of the trigger, the timer fires daily at the start time. Any path is
// written so that systemd hands it over unchanged.
std::string UnitBaseName(const std::string& ItemName);  // "corvane-<escaped name>"
std::optional<std::string> ServiceUnitText(const std::string& ItemName, const TWorkItem& Item);
std::string TimerUnitText(const std::string& ItemName, const TWorkItem& Item);

class TTask {
public:
    TTask(std::string Name, TSchedulerFolders Folders) : FName(std::move(Name)), FFolders(std::move(Folders)) {}
    const std::string& Name() const { return FName; }

    TWorkItem Item;

    HRESULT CreateTrigger(uint16_t& Index);  // gives trigger 0, a daily one at 00:00 every day
    HRESULT GetTrigger(uint16_t Index, TASK_TRIGGER& Trigger) const;
    HRESULT SetTrigger(uint16_t Index, const TASK_TRIGGER& Trigger);
    // Writes the item file and its units, each atomically; on a failure the
    // files written so far are put back as they were.
    HRESULT Save();
    std::string LastError;  // why the last Save failed

private:
    std::string FName;
    TSchedulerFolders FFolders;
};

class TTaskScheduler {
public:
    explicit TTaskScheduler(TSchedulerFolders Folders = DefaultSchedulerFolders()) : FFolders(std::move(Folders)) {}
    const TSchedulerFolders& Folders() const { return FFolders; }

    // The names of the work items, sorted; none when the folder cannot be read.
    std::vector<std::string> Enum() const;
    // Reads the item of exactly that name.
    HRESULT Activate(const std::string& Name, std::shared_ptr<TTask>& Task);
    // A new item in memory; Save writes it (over a damaged one of that name).
    HRESULT NewWorkItem(const std::string& Name, std::shared_ptr<TTask>& Task);
    // Removes the item file, then disables the timer and removes the units;
    // when a step fails, what was done is put back.
    HRESULT Delete(const std::string& Name);
    // Whether a timer or service of Name is there.
    bool HasUnits(const std::string& Name) const;
    // Disables the timer and removes the units, leaving the item file (one
    // that cannot be read must not keep starting the program).
    HRESULT DeleteUnits(const std::string& Name);
    std::string LastError;  // why the last call failed

private:
    TSchedulerFolders FFolders;
};

} // namespace plat
