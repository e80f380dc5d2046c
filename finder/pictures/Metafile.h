#pragma once
// Windows metafiles (WMF, placeable WMF, EMF) turned into SVG by libwmf and
// libemf2svg, then drawn on a white work bitmap. The conversion half includes
// no Qt header: libwmf's headers clash with Qt's.
#include <cstddef>
#include <string>

class QImage;

// An SVG document with the picture's size in pixels (96 per inch).
struct TMetafileSvg {
    int Width = 0;
    int Height = 0;
    std::string Svg;
};

// The records of a metafile lie within its data and end with the end record,
// and a WMF's bitmaps fit their records and together MaxPixels; false names
// what is wrong. Nothing is handed to a converter before this.
bool CheckWmfRecords(const unsigned char* Data, size_t Size, std::string& Error, long long MaxPixels);
bool CheckEmfRecords(const unsigned char* Data, size_t Size, std::string& Error);
// True when the data is an enhanced metafile (header record with " EMF").
bool IsEmfData(const unsigned char* Data, size_t Size);

// Conversions; false with a message when the data is damaged or too large.
bool WmfToSvg(const unsigned char* Data, size_t Size, TMetafileSvg& Out, std::string& Error, long long MaxPixels);
bool EmfToSvg(const unsigned char* Data, size_t Size, TMetafileSvg& Out, std::string& Error, long long MaxPixels);

// Converts and draws the metafile at (0, 0) on a white bitmap of its size.
bool LoadMetafileData(const unsigned char* Data, size_t Size, QImage& Bitmap, std::string* Error,
                      long long MaxPixels);
