// Any bytes as an autostart entry and as an Exec value; any text as a
// program path must be read back as the program of the entry written for
// it, and a path that stands in Exec as it is must come back whole.
#include "platform/Autostart.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::string Text(reinterpret_cast<const char*>(Data), Size);
    plat::DesktopEntryRuns(Text, "/usr/bin/corvane");
    plat::SplitDesktopExec(Text);
    if (const auto Exec = plat::DesktopExecValue(Text)) {
        const auto Args = plat::SplitDesktopExec(*Exec);
        if (!Args || (Args->size() != 1 && Args->front() != "/bin/sh") || (Args->size() == 1 && Args->front() != Text))
            std::abort();
        if (!plat::DesktopEntryRuns("[Desktop Entry]\nExec=" + *Exec + "\n", Text)) std::abort();
    }
    return 0;
}
