// Any bytes as a whole file for the WMA reader; a valid result must keep
// its numbers in range and its texts valid UTF-8.
#include "tags/WMAfile.h"
#include "tags/TextCodec.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    tags::TWMAfile W;
    bool Ok = W.ReadFromBytes(Data, Size);
    if (!Ok && W.Valid) std::abort();
    if (W.Valid && (W.ChannelModeID < 1 || W.ChannelModeID > 2 || W.BitRate < 0 || W.BitRate > 319)) std::abort();
    for (const std::string* S : {&W.Title, &W.Artist, &W.Album, &W.Year, &W.Genre, &W.Comment})
        if (!tags::IsValidUtf8(*S) || S->size() > 3 * tags::TWMAfile::MaxTextUnits) std::abort();
    return 0;
}
