// Any bytes as a RealMedia file: the walk must end, stay inside the bytes and
// allocate no more than they hold.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tags/RealMediaFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    tags::TRMFile Rm;
    size_t Warnings = 0;
    Rm.OnWarning = [&](const std::string&, const std::string&) { ++Warnings; };
    Rm.ReadFromBytes(Data, Size);
    if (Warnings > 1) __builtin_trap(); // the first unknown chunk ends the walk
    if (const tags::TContent* Content = Rm.GetContent()) {
        if (Content->Title.size() + Content->Author.size() + Content->Copyright.size() + Content->Comment.size() > Size)
            __builtin_trap();
    }
    for (const auto& Index : Rm.IndexHeaders)
        if (Index->Indices.size() * 14 > Size) __builtin_trap();
    return 0;
}
