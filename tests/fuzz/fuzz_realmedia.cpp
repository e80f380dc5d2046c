// Any bytes as a RealMedia file: the walk must end, stay inside the bytes and
// allocate no more than they hold. What the records write back must read
// back as the same records and write the same bytes again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tags/RealMediaFile.h"

namespace {

// Every record but the data chunk's, whose kept Size covers packets that are
// not written.
tags::TRMStream SaveRecords(tags::TRMFile& Rm, bool WithDump)
{
    std::vector<tags::TRMPacket*> Records = {Rm.FileHeader.get(), Rm.Properties.get(), Rm.Content.get()};
    for (const auto& M : Rm.MediaProperties) Records.push_back(M.get());
    for (const auto& I : Rm.IndexHeaders) Records.push_back(I.get());
    tags::TRMStream Out;
    std::vector<std::string> Lines;
    for (tags::TRMPacket* Record : Records) {
        if (!Record) continue;
        Record->SaveToStream(Out);
        if (WithDump) Record->Dump(Lines);
    }
    return Out;
}

} // namespace

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

    const tags::TRMStream Written = SaveRecords(Rm, true);
    tags::TRMFile Again;
    Again.OnWarning = [&](const std::string&, const std::string&) { __builtin_trap(); };
    Again.ReadFromBytes(Written.data(), Written.size());
    if (Again.GetMediaPropertiesCount() != Rm.GetMediaPropertiesCount() ||
        Again.GetIndexHeaderCount() != Rm.GetIndexHeaderCount() || (Again.GetContent() == nullptr) != (Rm.GetContent() == nullptr))
        __builtin_trap();
    if (SaveRecords(Again, false) != Written) __builtin_trap();
    return 0;
}
