// Any bytes as an Ogg Vorbis file: the reader must stay inside them.
#include <cstddef>
#include <cstdint>

#include "tags/OggVorbis.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    tags::TOggVorbis Ogg;
    if (Ogg.ReadFromBytes(Data, Size)) {
        (void)Ogg.IsValid();
        (void)Ogg.GetBitRate();
    }
    return 0;
}
