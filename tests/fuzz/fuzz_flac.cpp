// Any bytes as a FLAC file: the reader must stay inside them and allocate no
// more than they hold.
#include <cstddef>
#include <cstdint>

#include "tags/FLACfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    tags::TFLACfile Flac;
    if (Flac.ReadFromBytes(Data, Size)) (void)Flac.GetDuration();
    size_t Kept = 0;
    for (const tags::TMetaDataBlock& Block : Flac.MetaBlocksOther) Kept += Block.Data.size();
    if (Kept > Size) __builtin_trap();
    return 0;
}
