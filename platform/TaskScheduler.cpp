#include "platform/TaskScheduler.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/AtomicFile.h"
#include "platform/TextLines.h"
#include "platform/XdgFolders.h"

extern char** environ;

namespace plat {

namespace {

constexpr size_t MaxItemBytes = 64 * 1024;
constexpr const char* ItemHeader = "[Corvane work item]";
constexpr const char* TriggerHeader = "[Trigger 0]";

struct TTextField {
    const char* Key;
    std::string TWorkItem::*Member;
};
constexpr TTextField TextFields[] = {{"ApplicationName", &TWorkItem::ApplicationName},
                                     {"WorkingDirectory", &TWorkItem::WorkingDirectory},
                                     {"Parameters", &TWorkItem::Parameters},
                                     {"Comment", &TWorkItem::Comment},
                                     {"AccountName", &TWorkItem::AccountName}};

struct TItemNumber {
    const char* Key;
    uint32_t TWorkItem::*Member;
};
constexpr TItemNumber ItemNumbers[] = {{"Flags", &TWorkItem::Flags}, {"TaskFlags", &TWorkItem::TaskFlags}};

// A trigger field: 16 or 32 bits wide, one of the two members set.
struct TTriggerField {
    const char* Key;
    uint16_t TASK_TRIGGER::*Short;
    uint32_t TASK_TRIGGER::*Long;
};
constexpr TTriggerField TriggerFields[] = {
    {"TriggerSize", &TASK_TRIGGER::cbTriggerSize, nullptr},
    {"Reserved1", &TASK_TRIGGER::Reserved1, nullptr},
    {"BeginYear", &TASK_TRIGGER::wBeginYear, nullptr},
    {"BeginMonth", &TASK_TRIGGER::wBeginMonth, nullptr},
    {"BeginDay", &TASK_TRIGGER::wBeginDay, nullptr},
    {"EndYear", &TASK_TRIGGER::wEndYear, nullptr},
    {"EndMonth", &TASK_TRIGGER::wEndMonth, nullptr},
    {"EndDay", &TASK_TRIGGER::wEndDay, nullptr},
    {"StartHour", &TASK_TRIGGER::wStartHour, nullptr},
    {"StartMinute", &TASK_TRIGGER::wStartMinute, nullptr},
    {"MinutesDuration", nullptr, &TASK_TRIGGER::MinutesDuration},
    {"MinutesInterval", nullptr, &TASK_TRIGGER::MinutesInterval},
    {"Flags", nullptr, &TASK_TRIGGER::rgFlags},
    {"TriggerType", &TASK_TRIGGER::TriggerType, nullptr},
    {"DaysInterval", &TASK_TRIGGER::DaysInterval, nullptr},
    {"Reserved2", &TASK_TRIGGER::Reserved2, nullptr},
    {"RandomMinutesInterval", &TASK_TRIGGER::wRandomMinutesInterval, nullptr}};

std::optional<uint32_t> ParseNumber(const std::string& S, uint32_t Max) {
    if (S.empty() || S.size() > 10 || S.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    const unsigned long long V = std::stoull(S);
    if (V > Max) return std::nullopt;
    return uint32_t(V);
}

std::chrono::year_month_day Date(uint16_t Y, uint16_t M, uint16_t D) {
    return std::chrono::year_month_day{std::chrono::year(Y), std::chrono::month(M), std::chrono::day(D)};
}

bool ValidName(const std::string& Name) {
    return !Name.empty() && Name.size() <= 200 && Name[0] != '.' && Name.find('/') == std::string::npos &&
           !HasControlCharacter(Name);
}

// Specifiers and variables of a unit file's value are written doubled, so
// that systemd passes the text as it stands.
std::string UnitLiteral(const std::string& S) {
    std::string Out;
    for (char C : S) {
        if (C == '%' || C == '$') Out += C;
        Out += C;
    }
    return Out;
}

// One argument of a command line that systemd hands over as it stands:
// quoted, with its escapes, specifiers and variables undone by systemd.
// Bytes past ASCII are escaped too: a line that is not UTF-8 is ignored.
std::string UnitWord(const std::string& S) {
    std::string Out = "\"";
    for (unsigned char C : S) {
        char Hex[8];
        std::snprintf(Hex, sizeof Hex, "\\x%02x", C);
        if (C >= 0x80) Out += Hex;
        else if (C == '"' || C == '\\') Out += {'\\', char(C)};
        else if (C == '%' || C == '$') Out += {char(C), char(C)};
        else Out += char(C);
    }
    return Out + "\"";
}

// A path that systemd takes as written where it neither unquotes nor
// expands (WorkingDirectory=): plain characters and no ".." step.
bool PlainPath(const std::string& Path) {
    return Path.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+,@") ==
               std::string::npos &&
           ("/" + Path + "/").find("/../") == std::string::npos;
}

std::string Description(const std::string& Name, const TWorkItem& Item) {
    std::string D = Item.Comment.empty() ? "Corvane work item " + Name : Item.Comment;
    for (char& C : D)
        if ((unsigned char)C < 32 || C == 127) C = ' ';
    return UnitLiteral(D);
}

std::string Header(const std::string& Name, const TWorkItem& Item) {
    return "# Written by Corvane for its work item \"" + Name + "\"; removed with it.\n[Unit]\nDescription=" +
           Description(Name, Item) + "\n\n";
}

TSystemctlRunner& Runner() {
    static TSystemctlRunner R;
    return R;
}

// Runs "systemctl --user Arguments"; false with the command and what it
// said (at most a few lines) in Error when it did not succeed.
bool RunSystemctl(const std::vector<std::string>& Arguments, std::string& Error) {
    if (Runner()) return Runner()(Arguments, Error);
    const char* Path = std::getenv("PATH");
    std::string Found;
    std::string Dirs = Path ? Path : "/usr/bin:/bin";
    for (size_t B = 0; B <= Dirs.size() && Found.empty();) {
        size_t E = Dirs.find(':', B);
        if (E == std::string::npos) E = Dirs.size();
        const std::string Candidate = Dirs.substr(B, E - B) + "/systemctl";
        if (E > B && access(Candidate.c_str(), X_OK) == 0) Found = Candidate;
        B = E + 1;
    }
    if (Found.empty()) return true;  // no service manager to tell
    std::vector<std::string> Words = {Found, "--user"};
    Words.insert(Words.end(), Arguments.begin(), Arguments.end());
    std::vector<char*> Argv;
    for (auto& W : Words) Argv.push_back(W.data());
    Argv.push_back(nullptr);
    int Pipe[2];
    if (pipe2(Pipe, O_CLOEXEC) != 0) {
        Error = std::string("Cannot run systemctl: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t Actions;
    posix_spawn_file_actions_init(&Actions);
    posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&Actions, Pipe[1], 1);
    posix_spawn_file_actions_adddup2(&Actions, Pipe[1], 2);
    pid_t Pid = -1;
    const int Spawned = posix_spawn(&Pid, Found.c_str(), &Actions, nullptr, Argv.data(), environ);
    posix_spawn_file_actions_destroy(&Actions);
    close(Pipe[1]);
    std::string Said;
    char Buf[1024];
    for (ssize_t R; Spawned == 0 && (R = read(Pipe[0], Buf, sizeof Buf)) != 0;) {
        if (R < 0 && errno == EINTR) continue;
        if (R < 0) break;
        if (Said.size() < 2048) Said.append(Buf, size_t(R));  // the rest is read and dropped
    }
    close(Pipe[0]);
    int Status = -1;
    if (Spawned == 0)
        while (waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
        }
    if (Spawned == 0 && WIFEXITED(Status) && WEXITSTATUS(Status) == 0) return true;
    for (char& C : Said)
        if ((unsigned char)C < 32) C = ' ';
    if (Spawned != 0) Said = std::strerror(Spawned);
    Error = "\"systemctl --user";
    for (const auto& A : Arguments) Error += " " + A;
    Error += "\" failed" + (TrimBlanks(Said).empty() ? "" : ": " + TrimBlanks(Said));
    return false;
}

bool Exists(const std::string& Path) {
    struct stat St;
    return lstat(Path.c_str(), &St) == 0;
}

// A file of an item: what it becomes (nullopt: removed) and what it was.
struct TStep {
    std::string Path;
    std::optional<std::string> New, Old;
    mode_t Mode;
};

bool Apply(const std::string& Path, const std::optional<std::string>& Text, mode_t Mode, std::string& Error) {
    if (Text) return ReplaceFile(Path, *Text, Mode, Error);
    if (unlink(Path.c_str()) == 0 || errno == ENOENT) return true;
    Error = "Cannot remove \"" + Path + "\": " + std::strerror(errno);
    return false;
}

void PutBack(const std::vector<TStep>& Steps, size_t Count) {
    std::string Ignored;
    for (size_t I = 0; I < Count; ++I) Apply(Steps[I].Path, Steps[I].Old, Steps[I].Mode, Ignored);
}

// Writes or removes the files in turn and tells systemd: with Units the timer
// is enabled and started after the write; without, a timer that was there is
// stopped and disabled before. On any failure the files and the timer are
// put back as they were, and Error says why.
bool Commit(std::vector<TStep>& Steps, const std::string& UnitsBase, bool Units, std::string& Error) {
    for (auto& S : Steps) {
        int Err = 0;
        S.Old = ReadSmallFile(S.Path, MaxItemBytes, Err);
    }
    const std::string Timer = UnitsBase.substr(UnitsBase.rfind('/') + 1) + ".timer";
    const bool HadTimer = Exists(UnitsBase + ".timer"), HadUnits = HadTimer || Exists(UnitsBase + ".service");
    std::string Ignored;
    if (!Units && HadTimer && !RunSystemctl({"disable", "--now", Timer}, Error)) return false;
    size_t Done = 0;
    while (Done < Steps.size() && Apply(Steps[Done].Path, Steps[Done].New, Steps[Done].Mode, Error)) ++Done;
    const bool Written = Done == Steps.size();
    if (Written && (Units ? RunSystemctl({"daemon-reload"}, Error) && RunSystemctl({"enable", "--now", Timer}, Error)
                          : !HadUnits || RunSystemctl({"daemon-reload"}, Error)))
        return true;
    // Back as it was: a new timer stopped, the files, what systemd knows of
    // them, and an old timer enabled again once it was stopped.
    if (Written && Units && !HadTimer) RunSystemctl({"disable", "--now", Timer}, Ignored);
    PutBack(Steps, Done);
    if (Written) RunSystemctl({"daemon-reload"}, Ignored);
    if (HadTimer && (Written || !Units)) RunSystemctl({"enable", "--now", Timer}, Ignored);
    return false;
}

} // namespace

bool ValidTrigger(const TASK_TRIGGER& T) {
    return T.cbTriggerSize == 48 && T.Reserved1 == 0 && T.Reserved2 == 0 && T.TriggerType == TASK_TIME_TRIGGER_DAILY &&
           T.DaysInterval >= 1 && T.DaysInterval <= 31 && T.wBeginYear >= 1601 && T.wBeginYear <= 9999 &&
           Date(T.wBeginYear, T.wBeginMonth, T.wBeginDay).ok() && T.wEndYear == 0 && T.wEndMonth == 0 &&
           T.wEndDay == 0 && T.wStartHour < 24 && T.wStartMinute < 60 && T.MinutesDuration == 0 &&
           T.MinutesInterval == 0 && T.rgFlags == 0 && T.wRandomMinutesInterval == 0;
}

std::string FormatWorkItem(const TWorkItem& Item) {
    std::string Out = std::string(ItemHeader) + "\n";
    for (const auto& F : TextFields) Out += std::string(F.Key) + "=" + Item.*F.Member + "\n";
    for (const auto& F : ItemNumbers) Out += std::string(F.Key) + "=" + std::to_string(Item.*F.Member) + "\n";
    if (Item.Trigger) {
        Out += "\n" + std::string(TriggerHeader) + "\n";
        for (const auto& F : TriggerFields)
            Out += std::string(F.Key) + "=" +
                   std::to_string(F.Short ? uint32_t((*Item.Trigger).*F.Short) : (*Item.Trigger).*F.Long) + "\n";
    }
    return Out;
}

std::optional<TWorkItem> ParseWorkItem(const std::string& Text) {
    if (Text.size() > MaxItemBytes) return std::nullopt;
    TWorkItem Item;
    std::vector<std::string> Seen;
    int Section = 0;  // 0 before the header, 1 the item, 2 the trigger
    size_t Pos = 0;
    while (Pos < Text.size()) {
        size_t End = Text.find('\n', Pos);
        if (End == std::string::npos) End = Text.size();
        std::string Line = Text.substr(Pos, End - Pos);
        Pos = End + 1;
        if (!Line.empty() && Line.back() == '\r') Line.pop_back();
        if (TrimBlanks(Line).empty() || Line[0] == '#') continue;
        if (HasControlCharacter(Line)) return std::nullopt;
        if (Line[0] == '[') {
            if (Section == 0 && Line == ItemHeader) {
                Section = 1;
            } else if (Section == 1 && Line == TriggerHeader) {
                Section = 2;
                Item.Trigger = TASK_TRIGGER{};
            } else {
                return std::nullopt;
            }
            continue;
        }
        const size_t Eq = Line.find('=');
        if (Section == 0 || Eq == std::string::npos) return std::nullopt;
        const std::string Key = TrimBlanks(Line.substr(0, Eq));
        const std::string Value = Line.substr(Eq + 1);
        const std::string Qualified = (Section == 2 ? "Trigger." : "") + Key;
        if (std::find(Seen.begin(), Seen.end(), Qualified) != Seen.end()) return std::nullopt;
        Seen.push_back(Qualified);
        bool Known = false;
        if (Section == 1) {
            for (const auto& F : TextFields)
                if (Key == F.Key) {
                    Item.*F.Member = Value;
                    Known = true;
                }
            for (const auto& F : ItemNumbers)
                if (Key == F.Key) {
                    const auto N = ParseNumber(TrimBlanks(Value), UINT32_MAX);
                    if (!N) return std::nullopt;
                    Item.*F.Member = *N;
                    Known = true;
                }
        } else {
            for (const auto& F : TriggerFields)
                if (Key == F.Key) {
                    const auto N = ParseNumber(TrimBlanks(Value), F.Short ? UINT16_MAX : UINT32_MAX);
                    if (!N) return std::nullopt;
                    if (F.Short)
                        (*Item.Trigger).*F.Short = uint16_t(*N);
                    else
                        (*Item.Trigger).*F.Long = *N;
                    Known = true;
                }
        }
        if (!Known) return std::nullopt;
    }
    // Every field once: a half-written or hand-cut item is no item.
    const size_t Expected = std::size(TextFields) + std::size(ItemNumbers) + (Item.Trigger ? std::size(TriggerFields) : 0);
    if (Section == 0 || Seen.size() != Expected) return std::nullopt;
    if (Item.Trigger && !ValidTrigger(*Item.Trigger)) return std::nullopt;
    return Item;
}

TSchedulerFolders DefaultSchedulerFolders() { return {DataHome() + "/corvane/tasks", ConfigHome() + "/systemd/user"}; }

void SetSystemctlRunner(TSystemctlRunner R) { Runner() = std::move(R); }

std::string UnitBaseName(const std::string& ItemName) {
    std::string Out = "corvane-";
    for (unsigned char C : ItemName) {
        if (std::isalnum(C) || C == '_' || C == '.' || C == '-' || C == ':') {
            Out += char(C);
        } else {
            char Hex[8];
            std::snprintf(Hex, sizeof Hex, "\\x%02x", C);
            Out += Hex;
        }
    }
    return Out;
}

std::optional<std::string> ServiceUnitText(const std::string& ItemName, const TWorkItem& Item) {
    if (!Item.Trigger || Item.ApplicationName.empty() || Item.ApplicationName[0] != '/' ||
        HasControlCharacter(Item.ApplicationName) || HasControlCharacter(Item.Parameters) || HasControlCharacter(Item.WorkingDirectory))
        return std::nullopt;
    const TASK_TRIGGER& T = *Item.Trigger;
    // The timer fires every day; the program starts only on the days that lie
    // a whole number of intervals after the begin date, counted in local
    // calendar days, so "every 3 days" runs on across month and year ends.
    const long BeginDay = std::chrono::sys_days(Date(T.wBeginYear, T.wBeginMonth, T.wBeginDay)).time_since_epoch().count();
    const std::string Condition = "d=$(( $(date -u -d \"$(date +%F)\" +%s) / 86400 - " + std::to_string(BeginDay) +
                                  " )); test $d -ge 0 && test $(( d % " + std::to_string(T.DaysInterval) + " )) -eq 0";
    // The program is an argument of the shell, never the executable systemd
    // checks: that one may not hold quotes or backslashes, nor "$" undone.
    const std::string& Folder = Item.WorkingDirectory;
    const bool HasFolder = Folder.size() > 1 && Folder[0] == '/';
    const bool PlainFolder = HasFolder && PlainPath(Folder);
    std::string Text = Header(ItemName, Item) + "[Service]\nType=simple\n";
    if (PlainFolder) Text += "WorkingDirectory=" + Folder + "\n";
    Text += "ExecCondition=/bin/sh -c '" + UnitLiteral(Condition) + "'\n";
    if (HasFolder && !PlainFolder)
        Text += "ExecStart=/bin/sh -c 'cd \"$$1\" && shift && exec \"$$0\" \"$$@\"' " + UnitWord(Item.ApplicationName) + " " +
                UnitWord(Folder);
    else
        Text += "ExecStart=/bin/sh -c 'exec \"$$0\" \"$$@\"' " + UnitWord(Item.ApplicationName);
    if (!Item.Parameters.empty()) Text += " " + UnitLiteral(Item.Parameters);
    return Text + "\n";
}

std::string TimerUnitText(const std::string& ItemName, const TWorkItem& Item) {
    char Time[16];
    const TASK_TRIGGER T = Item.Trigger.value_or(TASK_TRIGGER{});
    std::snprintf(Time, sizeof Time, "%02u:%02u:00", unsigned(T.wStartHour % 24), unsigned(T.wStartMinute % 60));
    return Header(ItemName, Item) + "[Timer]\nOnCalendar=*-*-* " + Time + "\nAccuracySec=1s\nUnit=" +
           UnitLiteral(UnitBaseName(ItemName)) + ".service\n\n[Install]\nWantedBy=timers.target\n";
}

HRESULT TTask::CreateTrigger(uint16_t& Index) {
    const std::time_t Now = std::time(nullptr);
    std::tm Local{};
    localtime_r(&Now, &Local);
    TASK_TRIGGER T;
    T.wBeginYear = uint16_t(Local.tm_year + 1900);
    T.wBeginMonth = uint16_t(Local.tm_mon + 1);
    T.wBeginDay = uint16_t(Local.tm_mday);
    T.TriggerType = TASK_TIME_TRIGGER_DAILY;
    T.DaysInterval = 1;
    Item.Trigger = T;
    Index = 0;
    return S_OK;
}

HRESULT TTask::GetTrigger(uint16_t Index, TASK_TRIGGER& Trigger) const {
    if (Index != 0 || !Item.Trigger) return SCHED_E_TRIGGER_NOT_FOUND;
    Trigger = *Item.Trigger;
    return S_OK;
}

HRESULT TTask::SetTrigger(uint16_t Index, const TASK_TRIGGER& Trigger) {
    if (Index != 0 || !Item.Trigger) return SCHED_E_TRIGGER_NOT_FOUND;
    if (!ValidTrigger(Trigger)) return E_INVALID_ARG;
    Item.Trigger = Trigger;
    return S_OK;
}

HRESULT TTask::Save() {
    LastError.clear();
    const std::string ItemPath = FFolders.Tasks + "/" + FName;
    const std::string Base = FFolders.Units + "/" + UnitBaseName(FName);
    std::optional<std::string> Service;
    if (Item.Trigger) {
        Service = ServiceUnitText(FName, Item);
        if (!Service) {
            LastError = "Cannot save \"" + ItemPath + "\": the program must be an absolute path, and no field may "
                        "hold a line break";
            return E_INVALID_ARG;
        }
    }
    bool BadText = !ValidName(FName);
    for (const auto& F : TextFields) BadText = BadText || HasControlCharacter(Item.*F.Member);
    if (BadText || (Item.Trigger && !ValidTrigger(*Item.Trigger))) {
        LastError = "Cannot save \"" + ItemPath + "\": the work item holds a line break or an invalid trigger";
        return E_INVALID_ARG;
    }

    if (!MakeFolders(FFolders.Tasks) || (Item.Trigger && !MakeFolders(FFolders.Units))) {
        LastError = "Cannot create the folders \"" + FFolders.Tasks + "\" and \"" + FFolders.Units +
                    "\": " + std::strerror(errno);
        return E_UNEXPECTED_FAILURE;
    }
    std::vector<TStep> Steps = {{Base + ".service", Service, {}, 0644},
                                {Base + ".timer", Item.Trigger ? std::optional(TimerUnitText(FName, Item)) : std::nullopt,
                                 {}, 0644},
                                {ItemPath, FormatWorkItem(Item), {}, 0600}};
    return Commit(Steps, Base, Item.Trigger.has_value(), LastError) ? S_OK : E_UNEXPECTED_FAILURE;
}

std::vector<std::string> TTaskScheduler::Enum() const {
    std::vector<std::string> Names;
    DIR* D = opendir(FFolders.Tasks.c_str());
    if (!D) return Names;
    while (const dirent* E = readdir(D)) {
        struct stat St;
        // Hidden names are temporary files of a save; links are not ours.
        if (E->d_name[0] != '.' && fstatat(dirfd(D), E->d_name, &St, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(St.st_mode))
            Names.push_back(E->d_name);
    }
    closedir(D);
    std::sort(Names.begin(), Names.end());
    return Names;
}

HRESULT TTaskScheduler::Activate(const std::string& Name, std::shared_ptr<TTask>& Task) {
    Task.reset();
    LastError.clear();
    if (!ValidName(Name)) return E_INVALID_ARG;
    const std::string Path = FFolders.Tasks + "/" + Name;
    int Err = 0;
    const auto Text = ReadSmallFile(Path, MaxItemBytes, Err);
    if (!Text) {
        LastError = "Cannot read \"" + Path + "\": " + std::strerror(Err);
        return Err == ENOENT ? E_FILE_NOT_FOUND : Err == EACCES || Err == EPERM ? E_ACCESS_DENIED : E_INVALID_DATA;
    }
    auto Item = ParseWorkItem(*Text);
    if (!Item) {
        LastError = "\"" + Path + "\" is not a whole work item";
        return E_INVALID_DATA;
    }
    Task = std::make_shared<TTask>(Name, FFolders);
    Task->Item = std::move(*Item);
    return S_OK;
}

HRESULT TTaskScheduler::NewWorkItem(const std::string& Name, std::shared_ptr<TTask>& Task) {
    Task.reset();
    if (!ValidName(Name)) return E_INVALID_ARG;
    Task = std::make_shared<TTask>(Name, FFolders);
    return S_OK;
}

HRESULT TTaskScheduler::Delete(const std::string& Name) {
    LastError.clear();
    if (!ValidName(Name)) return E_INVALID_ARG;
    // The item goes first: while it cannot be removed, the schedule stays whole.
    const std::string ItemPath = FFolders.Tasks + "/" + Name;
    int Err = 0;
    const auto Old = ReadSmallFile(ItemPath, MaxItemBytes, Err);
    const bool Found = unlink(ItemPath.c_str()) == 0;
    if (!Found && errno != ENOENT) {
        LastError = "Cannot remove \"" + ItemPath + "\": " + std::strerror(errno);
        return E_UNEXPECTED_FAILURE;
    }
    const HRESULT R = DeleteUnits(Name);
    std::string Ignored;
    if (R != S_OK && Old) ReplaceFile(ItemPath, *Old, 0600, Ignored);
    return R != S_OK ? R : Found ? S_OK : E_FILE_NOT_FOUND;
}

bool TTaskScheduler::HasUnits(const std::string& Name) const {
    const std::string Base = FFolders.Units + "/" + UnitBaseName(Name);
    return ValidName(Name) && (Exists(Base + ".timer") || Exists(Base + ".service"));
}

HRESULT TTaskScheduler::DeleteUnits(const std::string& Name) {
    LastError.clear();
    if (!ValidName(Name)) return E_INVALID_ARG;
    const std::string Base = FFolders.Units + "/" + UnitBaseName(Name);
    std::vector<TStep> Steps = {{Base + ".timer", std::nullopt, {}, 0644}, {Base + ".service", std::nullopt, {}, 0644}};
    return Commit(Steps, Base, false, LastError) ? S_OK : E_UNEXPECTED_FAILURE;
}

} // namespace plat
