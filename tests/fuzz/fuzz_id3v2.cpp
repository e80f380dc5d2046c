// Any bytes as a whole file for the ID3v2 reader; the texts it gives must be
// valid UTF-8 and its Size must lie inside the file.
#include "tags/ID3v2.h"
#include "tags/TextCodec.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    tags::TID3v2 T;
    bool Ok = T.ReadFromBytes(Data, Size);
    if (Ok != (Size >= 10)) std::abort();
    if (T.Size < 0 || size_t(T.Size) > Size) std::abort();
    for (const std::string* S : {&T.Title, &T.Artist, &T.Album, &T.TrackString, &T.Year, &T.Genre, &T.Comment,
                                 &T.Composer, &T.Encoder, &T.Copyright, &T.Language, &T.Link, &T.OrigArtist})
        if (!tags::IsValidUtf8(*S)) std::abort();
    return 0;
}
