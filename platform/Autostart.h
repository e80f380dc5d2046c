#pragma once
// Starting with the desktop session: the XDG autostart entry
// $XDG_CONFIG_HOME/autostart/<program file name>.desktop, whose Exec is the
// program's full path, or a shell command that runs it where the launchers
// cannot take that path as it stands. Plain C++: the Preferences window maps
// its check box to these.
#include <optional>
#include <string>
#include <vector>

namespace plat {

std::string AutostartEntryPath(const std::string& ProgramPath);

// An Exec value that runs exactly Program, for GLib's launcher and for
// systemd's autostart generator alike: the path, quoted when it holds a blank
// or a reserved character; a path holding "%", "$", "`", a quote, a backslash
// or bytes that are not UTF-8 is started through /bin/sh instead. "%" doubled
// and the desktop entry's string escapes on top. Nullopt for a path with a
// control character, which no entry can hold.
std::optional<std::string> DesktopExecValue(const std::string& Program);

// The arguments of an Exec value once the string escapes and the quoting are
// undone ("%%" gives "%"; a field code stays as written). Nullopt when the
// value is malformed (an open quote, an unknown escape).
std::optional<std::vector<std::string>> SplitDesktopExec(const std::string& Value);

// Whether the entry text, of group "Desktop Entry", is not hidden and its Exec
// is the one written for Program or Program's bare path.
bool DesktopEntryRuns(const std::string& EntryText, const std::string& Program);

// Whether the program's entry exists and runs exactly ProgramPath.
bool AutostartEntryRuns(const std::string& ProgramPath);

// Writes the entry whole (atomically) or removes it; a missing entry is no
// error. False with the reason in Error.
bool WriteAutostartEntry(const std::string& ProgramPath, std::string& Error);
bool RemoveAutostartEntry(const std::string& ProgramPath, std::string& Error);

} // namespace plat
