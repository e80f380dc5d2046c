// Any bytes as a work item file: a parsed item must write back to the same item.
#include "platform/TaskScheduler.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::string Text(reinterpret_cast<const char*>(Data), Size);
    const auto Item = plat::ParseWorkItem(Text);
    if (!Item) return 0;
    if (Item->Trigger && !plat::ValidTrigger(*Item->Trigger)) std::abort();
    const auto Again = plat::ParseWorkItem(plat::FormatWorkItem(*Item));
    if (!Again || !(*Again == *Item)) std::abort();
    return 0;
}
