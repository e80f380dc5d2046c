#pragma once
// The program's entry and the services only it uses.
#include <functional>
#include <string>
#include <vector>

// The running program's four-part file version ("1.0.0.1"), "" when unknown.
extern std::string AppVersion;

void GetFileVersionString(const std::string& FileName, std::string& Version);
bool IsUACEnabled();
bool ConsumeSetupFlag();
int RunElevated(const std::string& FileName, const std::string& Directory);
int ProgramMain(int argc, char** argv);

namespace plat { class TInstanceLock; }

// The operating system's major version as the restart logic sees it.
inline constexpr int WindowsMajorVersion = 10;

enum class TStartAction {
    Run,             // go on with start-up
    SecondInstance,  // another instance runs: end at once, touch nothing
    Restarted        // the elevated copy was asked for: end now
};

// Start-up steps 3 and 4: the single-instance lock (held in Lock for the
// life of the process) and the one elevated restart. The lock is released
// before the restart so that the copy is not turned away by its parent.
TStartAction SingleInstanceAndRestart(plat::TInstanceLock& Lock, int MajorVersion);

// Step 4 alone: reads and deletes "setup", reads and writes "vista"; true
// when the program must restart elevated.
bool NeedsElevatedRestart(int MajorVersion);

// How RunElevated starts the program (pkexec); tests replace it. Returns
// whether the start was handed over (the result is not looked at).
using TElevatedLauncher =
    std::function<bool(const std::string& Program, const std::vector<std::string>& Arguments,
                       const std::string& Directory)>;
void SetElevatedLauncher(TElevatedLauncher Launcher);  // nullptr: the real one
