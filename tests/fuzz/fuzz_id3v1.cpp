// Any bytes as a whole file for the ID3v1 reader.
#include "tags/ID3v1.h"
#include "tags/TextCodec.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    tags::TID3v1 T;
    bool Ok = T.ReadFromBytes(Data, Size);
    if (Ok != (Size >= 128)) std::abort();
    for (const std::string* S : {&T.Title, &T.Artist, &T.Album, &T.Year, &T.Comment})
        if (!tags::IsValidUtf8(*S)) std::abort();
    return 0;
}
