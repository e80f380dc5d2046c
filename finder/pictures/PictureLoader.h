#pragma once
// Picture type detection and decoding into 24-bit work bitmaps (QImage,
// Format_RGB888) for the Photo mode's similarity test.
#include <cstddef>
#include <string>

class QImage;

// Picture types from a file's first two bytes.
enum TPictureType : int {
    ptNone = 0,
    ptBitmap = 1,
    ptJpeg = 2,
    ptGif = 3,
    ptPcx = 4,
    ptPng = 5,
    ptPsd = 6,
    ptSunRaster = 7,
    ptSgi = 8,
    ptTiff = 9,
    ptIcon = 10,
    ptMetafile = 11,
    ptPlaceableWmf = 12,
    ptRiff = 13,
};

// A decoded picture never exceeds this many pixels: a header that claims
// more is refused before anything is allocated.
constexpr long long kPictureMaxPixels = 64LL * 1024 * 1024;
// Files larger than this are not read at all.
constexpr long long kPictureMaxFileBytes = 256LL * 1024 * 1024;

// The picture type from the file's first two bytes; 0 when it does not
// exist or is shorter than two bytes.
int PictureFileType(const std::string& Path);
// The same test on bytes already read; Name supplies the extension.
int PictureDataType(const unsigned char* Data, size_t Size, const std::string& Name);
// True for the types that are decoded (1, 2, 3, 5, 10, 11, 12).
bool IsLoadedPictureType(int Type);

// Decodes the file into Bitmap (Format_RGB888; transparent parts on white).
// True only when the picture is at least 2 pixels wide and 2 pixels high.
// A damaged or truncated file gives false, with the codec's message in
// Error ("JPEG error #%d" for the JPEG codec).
bool LoadPicture(const std::string& Path, QImage& Bitmap, std::string* Error = nullptr,
                 long long MaxPixels = kPictureMaxPixels);
bool LoadPictureData(const unsigned char* Data, size_t Size, int Type, QImage& Bitmap,
                     std::string* Error = nullptr, long long MaxPixels = kPictureMaxPixels);

// The picture's width and height from its header alone (JPEG, GIF, PNG, BMP,
// ICO), as LoadPicture would give them. False when the header cannot tell
// (metafiles, damage); the caller then decodes.
bool ReadPictureSize(const std::string& Path, int Type, int& Width, int& Height);
bool ReadPictureDataSize(const unsigned char* Data, size_t Size, int Type, int& Width, int& Height);

// Reads at most Limit bytes of the file; false when it cannot be opened or
// is larger than Limit and Whole is asked for.
bool ReadFileBytes(const std::string& Path, std::string& Bytes, long long Limit, bool Whole);
