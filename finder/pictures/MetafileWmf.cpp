// The Qt-free half of the metafile reader: record checks and the conversions
// to SVG through libwmf and libemf2svg. libwmf's headers clash with Qt's, so
// no Qt header may be included here.
#include "finder/pictures/Metafile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/ipa.h>
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

// The SVG document of one WMF conversion, written by libwmf's SVG device
// through this stream. libwmf names each colour by the nearest of its named
// colours (#1f77b4 becomes steelblue) and fills at half opacity when the
// background mode is transparent, which in a metafile only concerns hatch
// gaps, pen dashes and text cells: a solid fill is opaque in either mode.
// Each drawing call's text is therefore held apart and written with the
// call's own colours.
struct TWmfSvgText {
    wmfFunctionReference Device{}; // the SVG device's own functions
    std::string Text;              // the document so far
    std::string Pending;           // written by the call under way
};

int PutSvgText(char* Text, void* Context)
{
    static_cast<TWmfSvgText*>(Context)->Pending += Text;
    return 0;
}

int ResetSvgText(void* Context)
{
    auto* Out = static_cast<TWmfSvgText*>(Context);
    Out->Text.clear();
    Out->Pending.clear();
    return 0;
}

TWmfSvgText& SvgTextOf(wmfAPI* API) { return *static_cast<TWmfSvgText*>(WMF_SVG_GetData(API)->out->context); }

// Replaces the colour named after each "Property:" in Svg by Colour.
void SetColour(std::string& Svg, const std::string& Property, const wmfRGB* Colour)
{
    if (!Colour) return;
    char Hex[8];
    std::snprintf(Hex, sizeof Hex, "#%02x%02x%02x", Colour->r, Colour->g, Colour->b);
    for (size_t At = Svg.find(Property); At != std::string::npos; At = Svg.find(Property, At + 1)) {
        const size_t Name = At + Property.size();
        size_t End = Name;
        while (End < Svg.size() && Svg[End] >= 'a' && Svg[End] <= 'z') ++End;
        if (End == Name || Svg.compare(Name, End - Name, "none") == 0) continue;
        Svg.replace(Name, End - Name, Hex);
    }
}

// What a call fills with: text in the text colour, a pixel or a flood in its
// own colour, every other shape with the brush.
const wmfRGB* FillOf(const wmfDrawText_t* Draw) { return &Draw->dc->textcolor; }
const wmfRGB* FillOf(const wmfDrawPixel_t* Draw) { return &Draw->color; }
const wmfRGB* FillOf(const wmfFlood_t* Draw) { return &Draw->color; }
template <typename T> const wmfRGB* FillOf(const T* Draw)
{
    return Draw->dc && Draw->dc->brush ? &Draw->dc->brush->lbColor : nullptr;
}
const wmfRGB* PenOf(const wmfDC* Dc) { return Dc && Dc->pen ? &Dc->pen->lopnColor : nullptr; }

template <auto Member, typename T> void DrawExact(wmfAPI* API, T* Draw)
{
    TWmfSvgText& Out = SvgTextOf(API);
    Out.Text += Out.Pending;
    Out.Pending.clear();
    (Out.Device.*Member)(API, Draw);
    for (size_t At = Out.Pending.find("fill-opacity:0.5"); At != std::string::npos;
         At = Out.Pending.find("fill-opacity:0.5", At))
        Out.Pending.replace(At, 16, "fill-opacity:1.0");
    SetColour(Out.Pending, "fill:", FillOf(Draw));
    SetColour(Out.Pending, "stroke:", PenOf(Draw->dc));
    Out.Text += Out.Pending;
    Out.Pending.clear();
}

template <auto Member> void Wrap(wmfFunctionReference& Functions)
{
    if (Functions.*Member) Functions.*Member = &DrawExact<Member>;
}

// Keeps the SVG device's functions in Out and puts the exact-colour
// wrappers in their place.
void DrawInExactColours(wmfAPI* API, TWmfSvgText& Out)
{
    auto& Functions = *static_cast<wmfFunctionReference*>(API->function_reference);
    Out.Device = Functions;
    Wrap<&wmfFunctionReference::flood_interior>(Functions);
    Wrap<&wmfFunctionReference::flood_exterior>(Functions);
    Wrap<&wmfFunctionReference::draw_pixel>(Functions);
    Wrap<&wmfFunctionReference::draw_pie>(Functions);
    Wrap<&wmfFunctionReference::draw_chord>(Functions);
    Wrap<&wmfFunctionReference::draw_arc>(Functions);
    Wrap<&wmfFunctionReference::draw_ellipse>(Functions);
    Wrap<&wmfFunctionReference::draw_line>(Functions);
    Wrap<&wmfFunctionReference::poly_line>(Functions);
    Wrap<&wmfFunctionReference::draw_polygon>(Functions);
    Wrap<&wmfFunctionReference::draw_polypolygon>(Functions);
    Wrap<&wmfFunctionReference::draw_rectangle>(Functions);
    Wrap<&wmfFunctionReference::rop_draw>(Functions);
    Wrap<&wmfFunctionReference::draw_text>(Functions);
    Wrap<&wmfFunctionReference::region_frame>(Functions);
    Wrap<&wmfFunctionReference::region_paint>(Functions);
}

} // namespace

namespace {

// The records that carry a bitmap: where it starts, in bytes after the
// function field; a device-independent bitmap or an old device bitmap, whose
// rows start RowsAt bytes in; Optional when a record of (Function >> 8) + 3
// words carries none. The converter reads a bitmap from every DIBSTRETCHBLT.
struct TWmfBitmapRecord {
    uint32_t Function, At;
    bool Dib;
    uint32_t RowsAt;
    bool Optional;
};
constexpr TWmfBitmapRecord kWmfBitmapRecords[] = {
    {0x0D33, 18, true, 0, false},   // SETDIBTODEV
    {0x0F43, 22, true, 0, false},   // STRETCHDIB
    {0x0B41, 20, true, 0, false},   // DIBSTRETCHBLT
    {0x0940, 16, true, 0, true},    // DIBBITBLT
    {0x0142, 4, true, 0, false},    // DIBCREATEPATTERNBRUSH
    {0x0922, 16, false, 10, true},  // BITBLT
    {0x0B23, 20, false, 10, true},  // STRETCHBLT
    {0x01F9, 0, false, 32, false},  // CREATEPATTERNBRUSH
};

// The pixels of the bitmap in a record of Bytes bytes at Record as the
// converter will unpack it; -1 when its header does not fit the record, its
// rows (unless run-length packed) lie outside it, or it has no pixels.
// The converter sizes a bitmap by the header alone and unpacks it in full,
// so a few bytes may claim gigabytes.
long long WmfBitmapPixels(const unsigned char* Record, uint64_t Bytes, const TWmfBitmapRecord& Kind)
{
    if (Bytes < 6 + uint64_t(Kind.At) + 12) return -1;
    const unsigned char* B = Record + 6 + Kind.At;
    const uint64_t Left = Bytes - 6 - Kind.At;
    if (!Kind.Dib) {
        const long long Width = int16_t(ReadU16(B + 2)), Height = int16_t(ReadU16(B + 4));
        const uint64_t RowBytes = ReadU16(B + 6);
        if (Width <= 0 || Height <= 0 || Left < Kind.RowsAt || RowBytes * uint64_t(Height) > Left - Kind.RowsAt)
            return -1;
        return Width * Height;
    }
    // Header of 12 bytes (16-bit fields) or of 40 and more.
    const uint32_t HeaderBytes = ReadU32(B);
    const bool Core = HeaderBytes == 12;
    if (!Core && (HeaderBytes < 40 || HeaderBytes > Left)) return -1;
    long long Width = Core ? ReadU16(B + 4) : ReadI32(B + 4);
    long long Height = Core ? ReadU16(B + 6) : std::llabs(ReadI32(B + 8));
    // The converter takes a SETDIBTODEV's start and count of scan lines,
    // when set, for the width and height.
    if (Kind.Function == 0x0D33) {
        if (const uint32_t Start = ReadU16(Record + 10)) Width = Start;
        if (const uint32_t Count = ReadU16(Record + 8)) Height = Count;
    }
    uint64_t BitsPerPixel = ReadU16(B + (Core ? 10 : 14));
    const uint32_t Compression = Core ? 0 : ReadU32(B + 16), Used = Core ? 0 : ReadU32(B + 32);
    if (Width <= 0 || Height <= 0 || Width > 65535 || Height > 65535 || BitsPerPixel == 0 || BitsPerPixel > 32 ||
        (BitsPerPixel % 8 != 0 && BitsPerPixel != 1 && BitsPerPixel != 4))
        return -1;
    // Every colour entry it counts lies in the record, at least 2 bytes each
    // (palette indexes): the converter may size its palette by the count
    // alone.
    const uint64_t Colours = Used ? Used : BitsPerPixel <= 8 ? 1u << BitsPerPixel : 0;
    if (Colours * 2 > Left - HeaderBytes) return -1;
    if (Compression == 2) BitsPerPixel *= 2;
    const uint64_t Rows = (uint64_t(Width) * BitsPerPixel + 31) / 32 * 4 * uint64_t(Height);
    if ((Compression == 0 || Compression == 3) && Rows > Left - HeaderBytes - Colours * 2) return -1;
    return Width * Height;
}

// Walks the records; gives where the metafile header starts and the largest
// record in 16-bit words. The bitmaps of all records together stay within
// MaxPixels: pattern brushes live until the end.
bool WalkWmfRecords(const unsigned char* Data, size_t Size, long long MaxPixels, std::string& Error,
                    size_t& HeaderAt, uint64_t& LargestWords)
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
    long long BitmapPixels = 0;
    while (Size - At >= 6) {
        const uint64_t Bytes = uint64_t(ReadU32(Data + At)) * 2;
        const uint32_t Function = ReadU16(Data + At + 4);
        if (Bytes < 6 || Bytes > Size - At) {
            Error = "WMF error: record outside the file";
            return false;
        }
        LargestWords = std::max(LargestWords, Bytes / 2);
        if (Function == 0) return true;
        for (const TWmfBitmapRecord& Kind : kWmfBitmapRecords) {
            if (Function != Kind.Function || (Kind.Optional && Bytes / 2 == (Function >> 8) + 3)) continue;
            const long long Pixels = WmfBitmapPixels(Data + At, Bytes, Kind);
            if (Pixels < 0 || Pixels > MaxPixels - BitmapPixels) {
                Error = "WMF error: a bitmap outside its record or over the pixel limit";
                return false;
            }
            BitmapPixels += Pixels;
        }
        At += size_t(Bytes);
    }
    Error = "WMF error: no end record";
    return false;
}

} // namespace

bool CheckWmfRecords(const unsigned char* Data, size_t Size, std::string& Error, long long MaxPixels)
{
    size_t HeaderAt = 0;
    uint64_t LargestWords = 0;
    return WalkWmfRecords(Data, Size, MaxPixels, Error, HeaderAt, LargestWords);
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
    if (!WalkWmfRecords(Data, Size, MaxPixels, Error, HeaderAt, LargestWords)) return false;
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
    // (libwmf counts 72 of them to the inch, or 1440 in a large drawing).
    // The size is rounded: a writer's 320 pixels at 1000 units per inch are
    // 3333 units, which must not come back as 319 pixels.
    const bool Placeable = Size >= 4 && ReadU32(Data) == kPlaceableKey;
    bool Ok = false;
    wmfD_Rect Box;
    float Units[2] = {0, 0};
    if (wmf_mem_open(API, Copy.data(), long(Copy.size())) != wmf_E_None) {
        Error = "WMF error: cannot open the data";
    } else if (wmf_scan(API, 0, &Box) != wmf_E_None) {
        Error = "WMF error: damaged records";
    } else if (wmf_size(API, &Units[0], &Units[1]) != wmf_E_None || !std::isfinite(Units[0]) ||
               !std::isfinite(Units[1])) {
        Error = "WMF error: no size";
    } else {
        const double Small = double(Units[0]) * double(Units[1]) < 1024.0 * 1024.0;
        const double PerInch = Placeable ? ReadU16(Data + 14) : Small ? 72.0 : 1440.0;
        const double Resolution = Placeable ? 96.0 : 72.0;
        const double ExactWidth = std::fabs(Units[0]) * Resolution / PerInch;
        const double ExactHeight = std::fabs(Units[1]) * Resolution / PerInch;
        const long long Width = PerInch > 0 && ExactWidth < 1e9 ? std::llround(ExactWidth) : -1;
        const long long Height = PerInch > 0 && ExactHeight < 1e9 ? std::llround(ExactHeight) : -1;
        if (Width < 0 || Height < 0) {
            Error = "WMF error: no size";
        } else if (Width < 2 || Height < 2) {
            Out.Width = int(Width);
            Out.Height = int(Height);
            Out.Svg.clear();
            Ok = true;
        } else if (!DimensionsAllowed(Width, Height, MaxPixels)) {
            Error = "WMF error: picture too large";
        } else {
            TWmfSvgText Text;
            wmfStream Stream{&Text, &PutSvgText, &ResetSvgText};
            wmf_svg_t* Device = WMF_SVG_GetData(API);
            Device->out = &Stream;
            Device->Description = const_cast<char*>("metafile");
            Device->bbox = Box;
            Device->width = (unsigned int)Width;
            Device->height = (unsigned int)Height;
            // Embedded raster pictures go into the document, never into files.
            Device->flags |= WMF_SVG_INLINE_IMAGES;
            DrawInExactColours(API, Text);
            const wmf_error_t Played = wmf_play(API, 0, &Box);
            Device->out = nullptr;
            Text.Text += Text.Pending;
            if (Played != wmf_E_None || Text.Text.empty()) {
                Error = "WMF error: damaged records";
            } else {
                Out.Width = int(Width);
                Out.Height = int(Height);
                Out.Svg = std::move(Text.Text);
                Ok = true;
            }
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
