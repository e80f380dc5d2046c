// Any bytes as a FLAC file: the reader must stay inside them and allocate no
// more than they hold, and every text it gives must be valid UTF-8.
#include <cstddef>
#include <cstdint>

#include "tags/FLACfile.h"
#include "tags/TextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    tags::TFLACfile Flac;
    if (Flac.ReadFromBytes(Data, Size)) (void)Flac.GetDuration();
    size_t Kept = 0;
    for (const tags::TMetaDataBlock& Block : Flac.MetaBlocksOther) Kept += Block.Data.size();
    if (Kept > Size) __builtin_trap();
    for (size_t I = 0; I < 28; ++I)
        if (!tags::IsValidUtf8(Flac.Field(I))) __builtin_trap();
    if (!tags::IsValidUtf8(Flac.Vendor)) __builtin_trap();
    for (const auto& [Name, Value] : Flac.ExtraFields)
        if (!tags::IsValidUtf8(Name) || !tags::IsValidUtf8(Value)) __builtin_trap();
    return 0;
}
