#include "platform/Autostart.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/TempTree.h"

namespace {

// Sets an environment variable while it lives.
class TSetEnv {
public:
    TSetEnv(const char* Name, const std::string& Value) : FName(Name) { setenv(Name, Value.c_str(), 1); }
    ~TSetEnv() { FHad ? setenv(FName, FSaved.c_str(), 1) : unsetenv(FName); }

private:
    const char* FName;
    const bool FHad = std::getenv(FName);
    const std::string FSaved = FHad ? std::getenv(FName) : "";
};

// Runs Args and waits until it and every process it left behind have ended
// (a launcher hands the program to a process of its own); its exit status.
int RunAndWaitForAll(std::vector<std::string> Args) {
    std::vector<char*> Argv;
    for (auto& A : Args) Argv.push_back(A.data());
    Argv.push_back(nullptr);
    const pid_t Reaper = fork();
    if (Reaper == 0) {
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        const pid_t Pid = fork();
        if (Pid == 0) {
            dup2(open("/dev/null", O_RDWR), 0);
            dup2(0, 1);
            execvp(Argv[0], Argv.data());
            _exit(127);
        }
        int Status = 0, Own = 127 << 8;
        for (pid_t P; (P = waitpid(-1, &Status, 0)) > 0 || errno == EINTR;)
            if (P == Pid) Own = Status;
        _exit(WIFEXITED(Own) ? WEXITSTATUS(Own) : 126);
    }
    int Status = -1;
    waitpid(Reaper, &Status, 0);
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

// The words systemd runs for a command line of a unit: prefixes dropped,
// words unquoted, escapes undone (one it does not know stays as written, as
// systemd keeps it), "%%" single again.
std::vector<std::string> SystemdWords(const std::string& Line) {
    std::vector<std::string> Words;
    for (size_t I = Line.find_first_not_of(":-@+!"); I < Line.size();) {
        if (Line[I] == ' ' && ++I) continue;
        std::string W;
        for (char Quote = 0; I < Line.size() && (Quote || Line[I] != ' '); ++I) {
            const char C = Line[I];
            if (Quote ? C == Quote : C == '"' || C == '\'') Quote = Quote ? 0 : C;
            else if (C != '\\' || I + 1 == Line.size()) W += C;
            else if (const char E = Line[++I]; E >= '0' && E <= '7') W += char(std::stoi(Line.substr(I, 3), nullptr, 8)), I += 2;
            else W += E == '\\' || E == '"' || E == '\'' ? std::string(1, E) : std::string{'\\', E};
        }
        Words.push_back(std::regex_replace(W, std::regex("%%"), "%"));
    }
    return Words;
}

// A program at each odd path, its entry written: both launchers of autostart
// entries start exactly it, with no argument. systemd's generator makes a
// service that systemd accepts, whose command (run as systemd runs it) starts
// the program; GLib's launcher starts it too. An ordinary path stands in Exec
// as it is.
TEST(Autostart, LaunchersStartTheProgramAtAnOddPath) {
    corvane_test::TempTree Tree;
    const TSetEnv Home("XDG_CONFIG_HOME", Tree.Path("config")), Dirs("XDG_CONFIG_DIRS", Tree.Dir("none")),
        Runtime("XDG_RUNTIME_DIR", Tree.Dir("runtime", {.Mode = 0700}));  // no service manager asked
    const std::string Generator = "/usr/lib/systemd/user-generators/systemd-xdg-autostart-generator";
    const bool HasGenerator = access(Generator.c_str(), X_OK) == 0,
               HasAnalyze = std::system("command -v systemd-analyze >/dev/null 2>&1") == 0,
               HasGio = std::system("command -v gio >/dev/null 2>&1") == 0;
    const std::string Ran = Tree.Path("ran"), Entry = Tree.Path("config/autostart/corvane.desktop");
    // What the program at the path was started as, or how the start ended.
    const auto Started = [&](const std::vector<std::string>& Args) {
        std::filesystem::remove(Ran);
        const int Status = RunAndWaitForAll(Args);
        return Status == 0 && Tree.Exists("ran") ? Tree.Read("ran") : "exit status " + std::to_string(Status);
    };
    std::string Deep = "deep";  // more odd bytes than one awk printf takes
    for (int I = 0; I < 5; ++I) Deep += "/" + std::string(250, '\xff');
    for (const std::string& Name :
         std::vector<std::string>{"plain", "My Apps", "a\"b", "it's", "back\\slash", "$HOME", "100%", "%f", "%%U", "a;b",
                                  "caf\xc3\xa9", "caf\xe9 \xff", "`id` $(id) 'x' \"%k\" \\t ~*?#&|<>", Deep}) {
        SCOPED_TRACE(Name.substr(0, 40));
        const std::string Program =
            Tree.File("bin/" + Name + "/corvane", {.Content = "#!/bin/sh\nprintf '%s|' \"$0\" \"$@\" >'" + Ran + "'\n", .Mode = 0755});
        std::string Error;
        ASSERT_TRUE(plat::WriteAutostartEntry(Program, Error)) << Error;
        const std::string Written = Tree.Read("config/autostart/corvane.desktop");
        EXPECT_TRUE(plat::AutostartEntryRuns(Program)) << Written;
        EXPECT_TRUE(Name != "plain" || Written.find("\nExec=" + Program + "\n") != std::string::npos) << Written;
        if (HasGenerator) {
            std::filesystem::remove_all(Tree.Path("late"));
            for (const char* Out : {"early", "normal", "late"}) Tree.Dir(Out);
            EXPECT_EQ(RunAndWaitForAll({Generator, Tree.Path("normal"), Tree.Path("early"), Tree.Path("late")}), 0);
            const std::string Service = "late/app-corvane@autostart.service";
            const std::string Text = Tree.Exists(Service) ? Tree.Read(Service) : "";
            std::smatch Start;
            if (!std::regex_search(Text, Start, std::regex("\nExecStart=(.*)\n"))) {
                ADD_FAILURE() << "no service made for " << Written;
            } else {
                EXPECT_EQ(Started(SystemdWords(Start[1])), Program + "|") << Start[1];
                std::string Said;
                FILE* Out = HasAnalyze ? popen(("systemd-analyze verify --user " + Tree.Path(Service) + " 2>&1").c_str(), "r") : nullptr;
                for (char Line[512]; Out && fgets(Line, sizeof Line, Out);) Said += Line;
                EXPECT_TRUE(!Out || (pclose(Out) == 0 && Said.empty())) << Said;
            }
        }
        if (HasGio) {
            EXPECT_EQ(Started({"gio", "launch", Entry}), Program + "|") << Written;
        }
    }
}

// Whatever the program's path holds, the entry written for it runs exactly it.
TEST(Autostart, EntryRunsExactlyTheProgram) {
    corvane_test::TempTree Tree;
    const TSetEnv Home("XDG_CONFIG_HOME", Tree.Path("config"));
    for (const char* Folder : {"/usr/bin", "/opt/My Apps", "/tmp/a\"b$c`d\\e%f'g&h;i(j)<k>#~*?|", "/srv/100%%",
                               "/home/caf\xc3\xa9"}) {
        SCOPED_TRACE(Folder);
        const std::string Program = std::string(Folder) + "/corvane";
        EXPECT_EQ(plat::AutostartEntryPath(Program), Tree.Path("config/autostart/corvane.desktop"));
        EXPECT_FALSE(plat::AutostartEntryRuns(Program));
        std::string Error;
        EXPECT_TRUE(plat::WriteAutostartEntry(Program, Error)) << Error;
        EXPECT_TRUE(plat::AutostartEntryRuns(Program)) << Tree.Read("config/autostart/corvane.desktop");
        EXPECT_TRUE(plat::RemoveAutostartEntry(Program, Error)) << Error;
        EXPECT_FALSE(Tree.Exists("config/autostart/corvane.desktop"));
        EXPECT_TRUE(plat::RemoveAutostartEntry(Program, Error));  // a missing entry is no error
        EXPECT_FALSE(plat::WriteAutostartEntry(Program + "\n", Error));  // no entry can hold a line break
    }
}

// Only an entry whose Exec, unquoted, is exactly the program's path counts.
TEST(Autostart, EntriesThatRunSomethingElse) {
    const std::pair<const char*, bool> Cases[] = {
        {"Exec=/usr/bin/corvane", true}, {"Exec=\"/usr/bin/corvane\"", true}, {"Exec = /usr/bin/corvane ", true},
        {"Exec=/usr/bin/corvane\r", true}, {"Exec=/usr/bin/Corvane", false}, {"Exec='/usr/bin/corvane'", false},
        {"Exec=\"\\\\\"/usr/bin/corvane\\\\\"\"", false},  // quotes inside the quotes
        {"Exec=/usr/bin/corvane -Scan", false}, {"Exec=/usr/bin/corvane %U", false}, {"Exec=\"/usr/bin/corvane", false},
        {"Exec=/usr/bin/corv\\ane", false},  // an unknown escape
        {"Exec=/usr/bin/corvane\nHidden=true", false}, {"Name=x\n[Desktop Action Scan]\nExec=/usr/bin/corvane", false},
        {"Name=Corvane", false}, {"Exec=/bin/sh -c \"exec /usr/bin/corvane\"", false}};
    for (const auto& [Lines, Runs] : Cases) {
        const std::string Text = std::string("[Desktop Entry]\nType=Application\n") + Lines + "\n";
        EXPECT_EQ(plat::DesktopEntryRuns(Text, "/usr/bin/corvane"), Runs) << Text;
    }
    // The bare path that an earlier version wrote for any path still counts.
    EXPECT_TRUE(plat::DesktopEntryRuns("[Desktop Entry]\nExec=\"/srv/100%%/it's\"\n", "/srv/100%/it's"));
}

} // namespace
