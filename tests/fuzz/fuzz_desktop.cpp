// Any bytes as an autostart entry and as an Exec value; any text as a
// program path must come back whole from the Exec value written for it.
#include "platform/Autostart.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::string Text(reinterpret_cast<const char*>(Data), Size);
    plat::DesktopEntryRuns(Text, "/usr/bin/corvane");
    plat::SplitDesktopExec(Text);
    if (const auto Exec = plat::DesktopExecValue(Text)) {
        const auto Args = plat::SplitDesktopExec(*Exec);
        if (!Args || Args->size() != 1 || Args->front() != Text) std::abort();
    }
    return 0;
}
