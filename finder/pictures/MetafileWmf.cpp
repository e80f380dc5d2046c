// The Qt-free half of the metafile reader: record checks and the conversions
// to SVG through libwmf and libemf2svg. libwmf's headers clash with Qt's, so
// no Qt header may be included here.
#include "finder/pictures/Metafile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>

namespace {

uint32_t ReadU16(const unsigned char* P) { return uint32_t(P[0]) | uint32_t(P[1]) << 8; }
uint32_t ReadU32(const unsigned char* P) { return ReadU16(P) | ReadU16(P + 2) << 16; }
int32_t ReadI32(const unsigned char* P) { return int32_t(ReadU32(P)); }

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kPlaceableSize = 22;
constexpr size_t kWmfHeaderSize = 18;
constexpr uint32_t kEmfSignature = 0x464D4520;
constexpr size_t kEmfHeaderSize = 88;

bool DimensionsAllowed(long long Width, long long Height, long long MaxPixels)
{
    return Width > 0 && Height > 0 && Width <= 65535 && Height <= 65535 && Width * Height <= MaxPixels;
}

} // namespace

namespace {

// Walks the records; gives where the metafile header starts and the largest
// record in 16-bit words.
bool WalkWmfRecords(const unsigned char* Data, size_t Size, std::string& Error, size_t& HeaderAt,
                    uint64_t& LargestWords)
{
    LargestWords = 0;
    size_t At = 0;
    if (Size >= 4 && ReadU32(Data) == kPlaceableKey) {
        if (Size < kPlaceableSize) {
            Error = "WMF error: placeable header cut short";
            return false;
        }
        At = kPlaceableSize;
    }
    if (Size - At < kWmfHeaderSize) {
        Error = "WMF error: header cut short";
        return false;
    }
    const uint32_t Type = ReadU16(Data + At), HeaderWords = ReadU16(Data + At + 2);
    if ((Type != 1 && Type != 2) || HeaderWords != 9) {
        Error = "WMF error: not a metafile header";
        return false;
    }
    HeaderAt = At;
    At += kWmfHeaderSize;
    while (Size - At >= 6) {
        const uint64_t Bytes = uint64_t(ReadU32(Data + At)) * 2;
        const uint32_t Function = ReadU16(Data + At + 4);
        if (Bytes < 6 || Bytes > Size - At) {
            Error = "WMF error: record outside the file";
            return false;
        }
        LargestWords = std::max(LargestWords, Bytes / 2);
        if (Function == 0) return true;
        At += size_t(Bytes);
    }
    Error = "WMF error: no end record";
    return false;
}

} // namespace

bool CheckWmfRecords(const unsigned char* Data, size_t Size, std::string& Error)
{
    size_t HeaderAt = 0;
    uint64_t LargestWords = 0;
    return WalkWmfRecords(Data, Size, Error, HeaderAt, LargestWords);
}

bool IsEmfData(const unsigned char* Data, size_t Size)
{
    return Size >= kEmfHeaderSize && ReadU32(Data) == 1 && ReadU32(Data + 40) == kEmfSignature;
}

bool CheckEmfRecords(const unsigned char* Data, size_t Size, std::string& Error)
{
    if (!IsEmfData(Data, Size)) {
        Error = "EMF error: not an enhanced metafile header";
        return false;
    }
    // The header's description and pixel format lie inside the header
    // record: libemf2svg reads them where the header says.
    const uint64_t HeaderBytes = ReadU32(Data + 4);
    const uint64_t DescriptionChars = ReadU32(Data + 60), DescriptionAt = ReadU32(Data + 64);
    if (HeaderBytes < kEmfHeaderSize || HeaderBytes > Size ||
        (DescriptionChars && (DescriptionAt < kEmfHeaderSize || DescriptionAt + DescriptionChars * 2 > HeaderBytes))) {
        Error = "EMF error: header fields outside the header";
        return false;
    }
    if (HeaderBytes >= 100) {
        const uint64_t FormatBytes = ReadU32(Data + 88), FormatAt = ReadU32(Data + 92);
        if (FormatBytes && (FormatAt < kEmfHeaderSize || FormatAt + FormatBytes > HeaderBytes)) {
            Error = "EMF error: header fields outside the header";
            return false;
        }
    }
    size_t At = 0;
    bool First = true;
    while (Size - At >= 8) {
        const uint32_t Type = ReadU32(Data + At), Bytes = ReadU32(Data + At + 4);
        if (Bytes < 8 || Bytes % 4 != 0 || Bytes > Size - At || (First && Bytes < kEmfHeaderSize)) {
            Error = "EMF error: record outside the file";
            return false;
        }
        if (Type == 14) return true; // EMR_EOF
        First = false;
        At += Bytes;
    }
    Error = "EMF error: no end record";
    return false;
}

bool WmfToSvg(const unsigned char* Data, size_t Size, TMetafileSvg& Out, std::string& Error, long long MaxPixels)
{
    size_t HeaderAt = 0;
    uint64_t LargestWords = 0;
    if (!WalkWmfRecords(Data, Size, Error, HeaderAt, LargestWords)) return false;
    // libwmf reads from a buffer it may not own as const. It sizes its record
    // buffer by the header's largest-record field, which may be anything:
    // the copy carries the true value.
    std::vector<unsigned char> Copy(Data, Data + Size);
    for (int I = 0; I < 4; ++I) Copy[HeaderAt + 12 + I] = (unsigned char)(LargestWords >> (8 * I));
    wmfAPI_Options Options;
    std::memset(&Options, 0, sizeof Options);
    Options.function = wmf_svg_function;
    const unsigned long Flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    wmfAPI* API = nullptr;
    if (wmf_api_create(&API, Flags, &Options) != wmf_E_None) {
        if (API) wmf_api_destroy(API);
        Error = "WMF error: cannot start the converter";
        return false;
    }
    // A placeable file states its units per inch and is shown at 96 pixels
    // per inch; a plain one has none, and its logical units become pixels
    // (libwmf counts 72 of them to the inch).
    const bool Placeable = Size >= 4 && ReadU32(Data) == kPlaceableKey;
    const double Resolution = Placeable ? 96.0 : 72.0;
    bool Ok = false;
    wmfD_Rect Box;
    unsigned int Width = 0, Height = 0;
    if (wmf_mem_open(API, Copy.data(), long(Copy.size())) != wmf_E_None) {
        Error = "WMF error: cannot open the data";
    } else if (wmf_scan(API, 0, &Box) != wmf_E_None) {
        Error = "WMF error: damaged records";
    } else if (wmf_display_size(API, &Width, &Height, Resolution, Resolution) != wmf_E_None) {
        Error = "WMF error: no size";
    } else if (Width < 2 || Height < 2) {
        Out.Width = int(Width);
        Out.Height = int(Height);
        Out.Svg.clear();
        Ok = true;
    } else if (!DimensionsAllowed(Width, Height, MaxPixels)) {
        Error = "WMF error: picture too large";
    } else {
        wmf_svg_t* Device = WMF_SVG_GetData(API);
        Device->out = wmf_stream_create(API, nullptr);
        Device->Description = const_cast<char*>("metafile");
        Device->bbox = Box;
        Device->width = Width;
        Device->height = Height;
        // Embedded raster pictures go into the document, never into files.
        Device->flags |= WMF_SVG_INLINE_IMAGES;
        const wmf_error_t Played = wmf_play(API, 0, &Box);
        char* Text = nullptr;
        unsigned long Length = 0;
        if (Device->out) wmf_stream_destroy(API, Device->out, &Text, &Length);
        Device->out = nullptr;
        if (Played != wmf_E_None || !Text) {
            Error = "WMF error: damaged records";
        } else {
            Out.Width = int(Width);
            Out.Height = int(Height);
            Out.Svg.assign(Text, Length);
            Ok = true;
        }
    }
    wmf_mem_close(API);
    wmf_api_destroy(API);
    return Ok;
}

bool EmfToSvg(const unsigned char* Data, size_t Size, TMetafileSvg& Out, std::string& Error, long long MaxPixels)
{
    if (!CheckEmfRecords(Data, Size, Error)) return false;
    // The frame is in hundredths of a millimetre; shown at 96 pixels per inch.
    const double FrameWidth = double(ReadI32(Data + 32)) - ReadI32(Data + 24);
    const double FrameHeight = double(ReadI32(Data + 36)) - ReadI32(Data + 28);
    const long long Width = std::llround(FrameWidth * 96.0 / 2540.0);
    const long long Height = std::llround(FrameHeight * 96.0 / 2540.0);
    Out.Width = int(std::max(0LL, std::min(Width, 1LL << 30)));
    Out.Height = int(std::max(0LL, std::min(Height, 1LL << 30)));
    Out.Svg.clear();
    if (Width < 2 || Height < 2) return true;
    if (!DimensionsAllowed(Width, Height, MaxPixels)) {
        Error = "EMF error: picture too large";
        return false;
    }
    std::vector<char> Copy(Data, Data + Size);
    // The description is text for people, not drawing; libemf2svg walks it
    // up to a terminator it may never find, so the copy has none.
    std::memset(Copy.data() + 60, 0, 8);
    generatorOptions Options;
    std::memset(&Options, 0, sizeof Options);
    Options.nameSpace = const_cast<char*>("");
    Options.verbose = false;
    Options.emfplus = false;
    Options.svgDelimiter = true;
    Options.imgWidth = double(Width);
    Options.imgHeight = double(Height);
    char* Text = nullptr;
    size_t Length = 0;
    const int Result = emf2svg(Copy.data(), Copy.size(), &Text, &Length, &Options);
    if (!Result || !Text) {
        std::free(Text);
        Error = "EMF error: damaged records";
        return false;
    }
    Out.Svg.assign(Text, Length);
    std::free(Text);
    return true;
}
