#include "platform/Autostart.h"

#include <cerrno>
#include <cstring>
#include <sstream>

#include <unistd.h>

#include "platform/AtomicFile.h"
#include "platform/TextLines.h"
#include "platform/XdgFolders.h"

namespace plat {

namespace {

constexpr size_t MaxEntryBytes = 64 * 1024;

// Characters that make an Exec argument need quotes.
constexpr const char* Reserved = " \t\n\"'\\><~|&;$*?#()`";

// Bytes of the program's path that keep it from standing in Exec as it is:
// systemd's generator refuses quotes and backslashes in the program it runs
// and turns "$" and "`" into escapes it then keeps, and neither launcher
// undoes "%%" there. Text that is not UTF-8 makes GLib drop the entry.
constexpr const char* Awkward = "\"'\\$`%";

// Undoes the string escapes of a desktop entry value.
std::optional<std::string> UnescapeString(const std::string& S) { return UnescapeBackslashes(S, "sntr\\", " \n\t\r\\"); }

// One Exec argument: quoted when it holds a blank or a reserved character,
// "%" doubled; the string escapes come on top.
std::string ExecArgument(const std::string& Text) {
    std::string Arg;
    for (char C : Text) {
        if (C == '%') Arg += '%';
        if (C == '"' || C == '`' || C == '$' || C == '\\') Arg += '\\';
        Arg += C;
    }
    return Text.find_first_of(Reserved) == std::string::npos ? Arg : "\"" + Arg + "\"";
}

// A shell command that starts Program whatever its path holds, without
// carrying an awkward byte or one past ASCII as it is: awk prints the script
// that runs the program, giving each such byte by its number (a few dozen to
// a printf, as awk's stack is small).
std::string StartCommand(const std::string& Program) {
    std::string Script = "exec '";
    for (char C : Program) Script += C == '\'' ? std::string("'\\''") : std::string(1, C);
    Script += "' </dev/null";
    std::string Awk, Format, Codes;
    int Count = 0;
    const auto Print = [&] {
        Awk += " printf \"" + Format + "\"" + Codes + ";";
        Format.clear();
        Codes.clear();
        Count = 0;
    };
    for (unsigned char C : Script) {
        if (C >= 0x20 && C < 0x7f && !std::strchr(Awkward, C)) {
            Format += char(C);
            continue;
        }
        Format += "%c";
        Codes += ", " + std::to_string(C);
        if (++Count == 64) Print();
    }
    Print();
    return "LC_ALL=C awk 'BEGIN {" + Awk + " }' | /bin/sh";
}

// The arguments of the Exec written for Program: the path alone where both
// launchers take it, else the shell started with the command above.
std::vector<std::string> ExecArguments(const std::string& Program) {
    if (Program.find_first_of(Awkward) == std::string::npos && IsValidUtf8(Program)) return {Program};
    return {"/bin/sh", "-c", StartCommand(Program)};
}

} // namespace

std::string AutostartEntryPath(const std::string& ProgramPath) {
    const size_t Slash = ProgramPath.rfind('/');
    return ConfigHome() + "/autostart/" + ProgramPath.substr(Slash == std::string::npos ? 0 : Slash + 1) + ".desktop";
}

std::optional<std::string> DesktopExecValue(const std::string& Program) {
    if (Program.empty() || HasControlCharacter(Program)) return std::nullopt;
    std::string Line;
    for (const std::string& Arg : ExecArguments(Program)) Line += (Line.empty() ? "" : " ") + ExecArgument(Arg);
    // The string escapes apply first when the entry is read: a backslash doubles again.
    std::string Value;
    for (char C : Line) Value += C == '\\' ? std::string("\\\\") : std::string(1, C);
    return Value;
}

std::optional<std::vector<std::string>> SplitDesktopExec(const std::string& Value) {
    const auto Text = UnescapeString(Value);
    if (!Text) return std::nullopt;
    std::vector<std::string> Args;
    size_t I = 0;
    const size_t N = Text->size();
    while (I < N) {
        const char C = (*Text)[I];
        if (C == ' ' || C == '\t' || C == '\n') {
            ++I;
            continue;
        }
        std::string Arg;
        if (C == '"') {
            for (++I;; ++I) {
                if (I == N) return std::nullopt;
                char Q = (*Text)[I];
                if (Q == '"') break;
                if (Q == '\\') {
                    if (++I == N) return std::nullopt;
                    Q = (*Text)[I];
                    if (Q != '"' && Q != '`' && Q != '$' && Q != '\\') return std::nullopt;
                }
                Arg += Q;
            }
            ++I;
            if (I < N && (*Text)[I] != ' ' && (*Text)[I] != '\t') return std::nullopt;
        } else {
            while (I < N && (*Text)[I] != ' ' && (*Text)[I] != '\t' && (*Text)[I] != '\n') Arg += (*Text)[I++];
        }
        std::string Plain;  // "%%" is a literal percent; a field code stays
        for (size_t P = 0; P < Arg.size(); ++P) {
            Plain += Arg[P];
            if (Arg[P] == '%' && P + 1 < Arg.size() && Arg[P + 1] == '%') ++P;
        }
        Args.push_back(Plain);
    }
    return Args;
}

bool DesktopEntryRuns(const std::string& EntryText, const std::string& Program) {
    std::istringstream In(EntryText);
    std::string Line;
    bool InGroup = false;
    std::optional<std::string> Exec;
    bool Hidden = false;
    while (std::getline(In, Line)) {
        if (!Line.empty() && Line.back() == '\r') Line.pop_back();
        if (Line.empty() || Line[0] == '#') continue;
        if (Line[0] == '[') {
            InGroup = Line == "[Desktop Entry]";
            continue;
        }
        const size_t Eq = Line.find('=');
        if (!InGroup || Eq == std::string::npos) continue;
        const std::string Key = TrimBlanks(Line.substr(0, Eq));
        const std::string Value = TrimBlanks(Line.substr(Eq + 1));
        if (Key == "Exec") Exec = Value;
        if (Key == "Hidden") Hidden = Value == "true";
    }
    if (!Exec || Hidden) return false;
    // The form written for Program, or the bare path an earlier version wrote.
    const auto Args = SplitDesktopExec(*Exec);
    return Args && (*Args == std::vector{Program} || *Args == ExecArguments(Program));
}

bool AutostartEntryRuns(const std::string& ProgramPath) {
    int Err = 0;
    // Anything this large, or no regular file, is no entry of ours.
    const auto Text = ReadSmallFile(AutostartEntryPath(ProgramPath), MaxEntryBytes, Err);
    return Text && DesktopEntryRuns(*Text, ProgramPath);
}

bool WriteAutostartEntry(const std::string& ProgramPath, std::string& Error) {
    const auto Exec = DesktopExecValue(ProgramPath);
    const std::string Path = AutostartEntryPath(ProgramPath);
    if (!Exec) {
        Error = "Cannot write \"" + Path + "\": the program's path holds a control character";
        return false;
    }
    const std::string Folder = Path.substr(0, Path.rfind('/'));
    if (!MakeFolders(Folder)) {
        Error = "Cannot create the folder \"" + Folder + "\": " + std::strerror(errno);
        return false;
    }
    const std::string Text = "[Desktop Entry]\nType=Application\nName=Corvane\nExec=" + *Exec + "\nIcon=corvane\n";
    return ReplaceFile(Path, Text, 0644, Error);
}

bool RemoveAutostartEntry(const std::string& ProgramPath, std::string& Error) {
    const std::string Path = AutostartEntryPath(ProgramPath);
    if (unlink(Path.c_str()) == 0 || errno == ENOENT) return true;
    Error = "Cannot remove \"" + Path + "\": " + std::strerror(errno);
    return false;
}

} // namespace plat
