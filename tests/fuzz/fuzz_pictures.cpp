// Feeds arbitrary bytes to the picture readers. The first byte picks the
// file name's extension, so that files beginning 00 00 or 01 00 reach the
// icon and metafile readers; the rest is the file. A decoded picture must be
// 24-bit, at least 2 x 2, of the size its header gave, and alike to itself.
#include "finder/pictures/PictureLoader.h"
#include "finder/pictures/PictureSimilarity.h"

#include <QGuiApplication>
#include <QImage>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication App(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    if (Size < 1) return 0;
    static const char* const Names[] = {"f.ico", "f.emf", "f.wmf", "f.bin"};
    const std::string Name = Names[Data[0] & 3];
    ++Data, --Size;
    const int Type = PictureDataType(Data, Size, Name);
    if (!IsLoadedPictureType(Type)) return 0;
    QImage Picture;
    std::string Error;
    // A lower cap than the program's keeps each run short.
    const bool Loaded = LoadPictureData(Data, Size, Type, Picture, &Error, 4LL << 20);
    int Width = 0, Height = 0;
    const bool HeaderSize = ReadPictureDataSize(Data, Size, Type, Width, Height);
    if (!Loaded) return 0;
    if (Picture.format() != QImage::Format_RGB888 || Picture.width() < 2 || Picture.height() < 2) std::abort();
    if (HeaderSize && (Width != Picture.width() || Height != Picture.height())) std::abort();
    if (CompareBitmaps(Picture, Picture) != 100.0) std::abort();
    return 0;
}
