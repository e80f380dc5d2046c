// Any bytes as an Ogg Vorbis file: the reader must stay inside them, and
// every text it gives must be valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tags/OggVorbis.h"
#include "tags/TextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    tags::TOggVorbis Ogg;
    if (Ogg.ReadFromBytes(Data, Size)) {
        (void)Ogg.IsValid();
        (void)Ogg.GetBitRate();
    }
    for (const std::string* S : {&Ogg.Title, &Ogg.Artist, &Ogg.Album, &Ogg.Date, &Ogg.Genre, &Ogg.Comment,
                                 &Ogg.Vendor, &Ogg.ExtraTag})
        if (!tags::IsValidUtf8(*S)) __builtin_trap();
    return 0;
}
