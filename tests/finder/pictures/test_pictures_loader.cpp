// Picture type detection and the decoders: every sample format, the type
// rules, damaged and truncated files, sizes read from headers.
#include "finder/pictures/Metafile.h"
#include "finder/pictures/PictureLoader.h"
#include "finder/pictures/PictureSimilarity.h"
#include "test_pictures_support.h"

#include <QBuffer>

#include <gif_lib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <optional>
#include <vector>

namespace {

const unsigned char* Bytes(const std::string& S) { return reinterpret_cast<const unsigned char*>(S.data()); }

int GifWrite(GifFileType* File, const GifByteType* Data, int Length)
{
    static_cast<std::string*>(File->UserData)->append(reinterpret_cast<const char*>(Data), size_t(Length));
    return Length;
}

// A GIF with one palette index per pixel (0 black, 1 red, 2 blue, 3 green),
// Transparent the transparent index or -1, after a comment of CommentBlocks
// full sub-blocks.
std::string MakeGif(int Width, int Height, const std::vector<GifPixelType>& Pixels, int Transparent,
                    int CommentBlocks = 0)
{
    std::string Out;
    int Code = 0;
    GifFileType* Gif = EGifOpen(&Out, GifWrite, &Code);
    GifColorType Colours[4] = {{0, 0, 0}, {255, 0, 0}, {0, 0, 255}, {0, 255, 0}};
    ColorMapObject* Map = GifMakeMapObject(4, Colours);
    EGifSetGifVersion(Gif, true);
    EGifPutScreenDesc(Gif, Width, Height, 2, 0, Map);
    const std::string Comment(255, 'c');
    EGifPutExtensionLeader(Gif, COMMENT_EXT_FUNC_CODE);
    for (int I = 0; I < CommentBlocks; ++I) EGifPutExtensionBlock(Gif, 255, Comment.data());
    EGifPutExtensionTrailer(Gif);
    GraphicsControlBlock Control{DISPOSAL_UNSPECIFIED, false, 0, Transparent};
    GifByteType Extension[4];
    EGifPutExtension(Gif, GRAPHICS_EXT_FUNC_CODE, int(EGifGCBToExtension(&Control, Extension)), Extension);
    EGifPutImageDesc(Gif, 0, 0, Width, Height, false, nullptr);
    std::vector<GifPixelType> Row;
    for (int Y = 0; Y < Height; ++Y) {
        Row.assign(Pixels.begin() + Y * Width, Pixels.begin() + (Y + 1) * Width);
        EGifPutLine(Gif, Row.data(), Width);
    }
    EGifCloseFile(Gif, &Code);
    GifFreeMapObject(Map);
    return Out;
}

// ---- picture type from the first two bytes --------------------------------

struct TTypeCase {
    std::string Bytes;
    std::string Name;
    int Type;
};

class PictureFileTypeTest : public TPictureTemp, public ::testing::WithParamInterface<TTypeCase> {};

TEST_P(PictureFileTypeTest, FirstTwoBytesAndExtension)
{
    const TTypeCase& Case = GetParam();
    EXPECT_EQ(PictureFileType(Make(Case.Name, Case.Bytes)), Case.Type) << Case.Name;
}

using namespace std::string_literals;
INSTANTIATE_TEST_SUITE_P(
    Table, PictureFileTypeTest,
    ::testing::Values(TTypeCase{"BM\0\0"s, "a.dat", 1}, TTypeCase{"\xFF\xD8\xFF"s, "a.png", 2},
                      TTypeCase{"GIF89a"s, "a", 3}, TTypeCase{"\x0A\x05"s, "a.pcx", 4},
                      TTypeCase{"\x89PNG"s, "a.png", 5}, TTypeCase{"8BPS"s, "a.psd", 6},
                      TTypeCase{"\x59\xA6\x6A\x95"s, "a.ras", 7}, TTypeCase{"\x01\xDA"s, "a.sgi", 8},
                      TTypeCase{"II*\0"s, "a.tif", 9}, TTypeCase{"MM\0*"s, "a.tif", 0},
                      TTypeCase{"\0\0\1\0"s, "a.ico", 10}, TTypeCase{"\0\0\1\0"s, "A.ICO", 10},
                      TTypeCase{"\0\0\1\0"s, "a.bmp", 0}, TTypeCase{"\0\0\1\0"s, "ico", 0},
                      TTypeCase{"\1\0\0\0"s, "a.emf", 11}, TTypeCase{"\1\0\x09\0"s, "a.WMF", 11},
                      TTypeCase{"\1\0\0\0"s, "a.ico", 0}, TTypeCase{"\1\0\0\0"s, "a.emf.bak", 0},
                      TTypeCase{"\xD7\xCD\xC6\x9A"s, "a.bin", 12}, TTypeCase{"RIFF"s, "a.wav", 13},
                      TTypeCase{"B"s, "short.bmp", 0}, TTypeCase{""s, "empty.png", 0}));

TEST(PictureFileType, MissingFileIsZero)
{
    EXPECT_EQ(PictureFileType("/nonexistent/corvane/a.png"), 0);
}

class TypeRules : public TPictureTemp {};

// A FIFO named like a picture is not opened for reading, which would block.
TEST_F(TypeRules, OnlyRegularFilesAreRead)
{
    const std::string Fifo = Path("pipe.png");
    ASSERT_EQ(::mkfifo(Fifo.c_str(), 0600), 0);
    QImage Picture;
    EXPECT_EQ(PictureFileType(Fifo), 0);
    EXPECT_FALSE(LoadPicture(Fifo, Picture));
    EXPECT_FALSE(LoadPicture(Dir.path().toStdString(), Picture));
}

// ---- every sample decodes at its size, and its header tells that size -----

struct TSampleCase {
    std::string Name;
    int Type;
    int Width;
    int Height;
    bool HeaderSize; // the size is read without decoding
};

class SampleTest : public ::testing::TestWithParam<TSampleCase> {};

TEST_P(SampleTest, LoadsAtItsSize)
{
    const TSampleCase& Case = GetParam();
    const std::string Path = Sample(Case.Name);
    EXPECT_EQ(PictureFileType(Path), Case.Type);
    QImage Picture;
    std::string Error;
    ASSERT_TRUE(LoadPicture(Path, Picture, &Error)) << Error;
    EXPECT_EQ(Picture.format(), QImage::Format_RGB888);
    EXPECT_EQ(Picture.width(), Case.Width);
    EXPECT_EQ(Picture.height(), Case.Height);
    int Width = 0, Height = 0;
    EXPECT_EQ(ReadPictureSize(Path, Case.Type, Width, Height), Case.HeaderSize);
    if (Case.HeaderSize) {
        EXPECT_EQ(Width, Case.Width);
        EXPECT_EQ(Height, Case.Height);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Samples, SampleTest,
    ::testing::Values(TSampleCase{"photo.png", 5, 256, 192, true}, TSampleCase{"photo.bmp", 1, 256, 192, true},
                      TSampleCase{"photo_q90.jpg", 2, 256, 192, true},
                      TSampleCase{"photo_progressive.jpg", 2, 256, 192, true},
                      TSampleCase{"photo_gray.jpg", 2, 256, 192, true},
                      TSampleCase{"photo_cmyk.jpg", 2, 256, 192, true},
                      TSampleCase{"photo_jpeg_named.png", 2, 256, 192, true},
                      TSampleCase{"photo_palette.png", 5, 256, 192, true},
                      TSampleCase{"photo_16bit.png", 5, 256, 192, true},
                      TSampleCase{"photo_interlaced.png", 5, 256, 192, true},
                      TSampleCase{"photo.gif", 3, 256, 192, true},
                      TSampleCase{"photo_interlaced.gif", 3, 256, 192, true},
                      TSampleCase{"frame_offset.gif", 3, 100, 80, true},
                      TSampleCase{"half_transparent.png", 5, 64, 48, true}, TSampleCase{"icon.ico", 10, 48, 48, false},
                      TSampleCase{"shapes.emf", 11, 200, 150, false}, TSampleCase{"shapes.wmf", 12, 200, 150, false},
                      TSampleCase{"shapes_std.wmf", 11, 201, 151, false},
                      TSampleCase{"clear.emf", 11, 320, 240, false}, TSampleCase{"clear.wmf", 12, 320, 240, false}));

// Variants of one picture in other formats decode to nearly the same pixels.
TEST(Samples, LosslessCopiesAreIdenticalAndJpegKindsClose)
{
    EXPECT_EQ(PictureSimilarity(Sample("photo.png"), Sample("photo.bmp")), 100.0);
    EXPECT_EQ(PictureSimilarity(Sample("photo.png"), Sample("photo_16bit.png")), 100.0);
    EXPECT_EQ(PictureSimilarity(Sample("photo.png"), Sample("photo_interlaced.png")), 100.0);
    EXPECT_EQ(PictureSimilarity(Sample("photo.gif"), Sample("photo_interlaced.gif")), 100.0);
    EXPECT_EQ(PictureSimilarity(Sample("photo_q90.jpg"), Sample("photo_jpeg_named.png")), 100.0);
    EXPECT_GT(PictureSimilarity(Sample("photo.png"), Sample("photo_progressive.jpg")), 90.0);
    EXPECT_GT(PictureSimilarity(Sample("photo.png"), Sample("photo_cmyk.jpg")), 90.0);
}

TEST(Samples, GifFirstFrameOnItsLogicalScreen)
{
    QImage Picture;
    ASSERT_TRUE(LoadPicture(Sample("frame_offset.gif"), Picture));
    EXPECT_EQ(Picture.pixelColor(5, 5), QColor(Qt::white));
    EXPECT_EQ(Picture.pixelColor(10, 20), QColor(Qt::red));
    EXPECT_EQ(Picture.pixelColor(49, 49), QColor(Qt::red));
    EXPECT_EQ(Picture.pixelColor(50, 49), QColor(Qt::white));
    EXPECT_EQ(Picture.pixelColor(99, 79), QColor(Qt::white));
}

TEST(Samples, TransparentPartsShowWhite)
{
    QImage Picture;
    ASSERT_TRUE(LoadPicture(Sample("half_transparent.png"), Picture));
    EXPECT_EQ(Picture.pixelColor(10, 10), QColor(Qt::blue));
    EXPECT_EQ(Picture.pixelColor(50, 10), QColor(Qt::white));
    // A GIF's transparent index (red here) is not painted.
    const std::string Gif = MakeGif(4, 2, {1, 1, 2, 2, 1, 1, 2, 2}, 1);
    ASSERT_TRUE(LoadPictureData(Bytes(Gif), Gif.size(), ptGif, Picture));
    EXPECT_EQ(Picture.pixelColor(0, 1), QColor(Qt::white));
    EXPECT_EQ(Picture.pixelColor(3, 1), QColor(Qt::blue));
}

// The three metafiles hold one drawing: red rectangle, blue ellipse, white
// field. A plain WMF has no units per inch: its logical units become pixels,
// and its size is the drawing's bounds with the outline (201 x 151).
TEST(Samples, MetafilesDrawTheirShapes)
{
    for (const char* Name : {"shapes.emf", "shapes.wmf", "shapes_std.wmf"}) {
        QImage Picture;
        std::string Error;
        ASSERT_TRUE(LoadPicture(Sample(Name), Picture, &Error)) << Name << ": " << Error;
        EXPECT_EQ(Picture.pixelColor(50, 75), QColor(Qt::red)) << Name;
        EXPECT_EQ(Picture.pixelColor(150, 75), QColor(Qt::blue)) << Name;
        EXPECT_EQ(Picture.pixelColor(100, 5), QColor(Qt::white)) << Name;
        EXPECT_EQ(Picture.pixelColor(195, 145), QColor(Qt::white)) << Name;
    }
    EXPECT_GT(PictureSimilarity(Sample("shapes.emf"), Sample("shapes.wmf")), 97.0);
}

// Twins drawn in transparent background mode: a solid fill stays opaque and
// keeps its exact colour, however near a named colour it lies.
TEST(Samples, MetafileFillsKeepTheirExactColours)
{
    struct Spot { int X, Y; const char* Colour; };
    const Spot Spots[] = {{5, 5, "#f7f1e3"}, {85, 80, "#1f77b4"}, {240, 80, "#ff7f0e"}, {160, 210, "#2ca02c"}};
    for (const char* Name : {"clear.emf", "clear.wmf"}) {
        QImage Picture;
        ASSERT_TRUE(LoadPicture(Sample(Name), Picture)) << Name;
        for (const Spot& S : Spots) EXPECT_EQ(Picture.pixelColor(S.X, S.Y).name(), S.Colour) << Name;
    }
    EXPECT_GT(PictureSimilarity(Sample("clear.emf"), Sample("clear.wmf")), 97.0);
}

// ---- the type rules decide what is decoded ---------------------------------

TEST_F(TypeRules, IconOnlyUnderIcoAndMetafileOnlyUnderWmfOrEmf)
{
    const std::string Icon = ReadAll(Sample("icon.ico")), Emf = ReadAll(Sample("shapes.emf"));
    const std::string Wmf = ReadAll(Sample("shapes_std.wmf"));
    EXPECT_EQ(PictureSimilarity(Make("a.ico", Icon), Make("b.ICO", Icon)), 100.0);
    EXPECT_EQ(PictureSimilarity(Make("c.ico", Icon), Make("c.png", Icon)), 0.0);
    EXPECT_EQ(PictureSimilarity(Make("a.emf", Emf), Make("b.wmf", Emf)), 100.0);
    EXPECT_EQ(PictureSimilarity(Make("c.emf", Emf), Make("c.ico", Emf)), 0.0);
    EXPECT_EQ(PictureSimilarity(Make("d.wmf", Wmf), Make("d.emf", Wmf)), 100.0);
    EXPECT_EQ(PictureSimilarity(Make("e.wmf", Wmf), Make("e.bin", Wmf)), 0.0);
}

TEST_F(TypeRules, UnloadedTypesGiveZero)
{
    const std::string Png = ReadAll(Sample("photo.png"));
    std::string Tiff = Png;
    Tiff[0] = 'I', Tiff[1] = 'I';
    EXPECT_EQ(PictureSimilarity(Make("a.png", Png), Make("b.tif", Tiff)), 0.0);
    QImage Picture;
    EXPECT_FALSE(LoadPicture(Path("b.tif"), Picture));
    EXPECT_TRUE(Picture.isNull());
}

TEST_F(TypeRules, NarrowerOrLowerThanTwoPixelsIsNotLoaded)
{
    QImage Picture;
    EXPECT_FALSE(LoadPicture(Save("w1.png", Filled(1, 50, Qt::red)), Picture));
    EXPECT_FALSE(LoadPicture(Save("h1.bmp", Filled(50, 1, Qt::red), "BMP"), Picture));
    EXPECT_TRUE(LoadPicture(Save("two.png", Filled(2, 2, Qt::red)), Picture));
    const std::string Wide = Save("wide.png", Filled(50, 50, Qt::red));
    EXPECT_EQ(PictureSimilarity(Path("w1.png"), Wide), 0.0);
}

// ---- damaged and truncated files of every format ---------------------------

struct TDamageCase {
    std::string Sample;
    std::string Extension;
};

class DamagedFile : public TPictureTemp, public ::testing::WithParamInterface<TDamageCase> {};

// Cut at several points: nothing decodes, nothing crashes, the scan goes on
// with 0.0 for the pair.
TEST_P(DamagedFile, TruncatedNeverLoads)
{
    const std::string Whole = ReadAll(Sample(GetParam().Sample));
    ASSERT_GT(Whole.size(), 40u);
    for (size_t Keep : {size_t(2), size_t(10), size_t(30), Whole.size() / 3, Whole.size() / 2,
                        Whole.size() * 9 / 10}) {
        const std::string Cut = Make("cut" + GetParam().Extension, Whole.substr(0, Keep));
        QImage Picture;
        std::string Error;
        EXPECT_FALSE(LoadPicture(Cut, Picture, &Error)) << GetParam().Sample << " cut to " << Keep;
        EXPECT_FALSE(Error.empty());
        EXPECT_EQ(PictureSimilarity(Sample(GetParam().Sample), Cut), 0.0);
    }
}

// The signature stays, the rest is noise.
TEST_P(DamagedFile, GarbageAfterTheSignatureNeverLoads)
{
    std::string Bytes = ReadAll(Sample(GetParam().Sample));
    const std::string Head = Bytes.substr(0, 2);
    std::string Noise(Bytes.size(), '\0');
    unsigned State = 7;
    for (char& C : Noise) C = char((State = State * 1103515245u + 12345u) >> 24);
    const std::string Path = Make("noise" + GetParam().Extension, Head + Noise.substr(2));
    QImage Picture;
    EXPECT_FALSE(LoadPicture(Path, Picture));
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, DamagedFile,
                         ::testing::Values(TDamageCase{"photo_q90.jpg", ".jpg"},
                                           TDamageCase{"photo_progressive.jpg", ".jpg"},
                                           TDamageCase{"photo.png", ".png"}, TDamageCase{"photo_interlaced.png", ".png"},
                                           TDamageCase{"photo.gif", ".gif"}, TDamageCase{"photo.bmp", ".bmp"},
                                           TDamageCase{"icon.ico", ".ico"}, TDamageCase{"shapes.emf", ".emf"},
                                           TDamageCase{"shapes.wmf", ".wmf"}, TDamageCase{"shapes_std.wmf", ".wmf"}));

TEST(JpegErrors, CarryTheCodecNumber)
{
    std::string Bytes = ReadAll(Sample("photo_q90.jpg"));
    Bytes.resize(Bytes.size() / 2);
    QImage Picture;
    std::string Error;
    EXPECT_FALSE(LoadPictureData(reinterpret_cast<const unsigned char*>(Bytes.data()), Bytes.size(), ptJpeg, Picture,
                                 &Error));
    EXPECT_EQ(Error.rfind("JPEG error #", 0), 0u) << Error;
}

// A header that claims more pixels than the cap is refused before anything
// of that size is allocated.
TEST(Limits, OversizedHeadersAreRefused)
{
    const std::string Png = ReadAll(Sample("photo.png"));
    QImage Picture;
    std::string Error;
    EXPECT_FALSE(LoadPictureData(reinterpret_cast<const unsigned char*>(Png.data()), Png.size(), ptPng, Picture,
                                 &Error, 1000));
    EXPECT_NE(Error.find("too large"), std::string::npos) << Error;
    const std::string Jpeg = ReadAll(Sample("photo_q90.jpg"));
    EXPECT_FALSE(LoadPictureData(reinterpret_cast<const unsigned char*>(Jpeg.data()), Jpeg.size(), ptJpeg, Picture,
                                 &Error, 1000));
    const std::string Gif = ReadAll(Sample("photo.gif"));
    EXPECT_FALSE(LoadPictureData(reinterpret_cast<const unsigned char*>(Gif.data()), Gif.size(), ptGif, Picture,
                                 &Error, 1000));
}

TEST(MetafileRecords, RecordsMustStayInsideTheFile)
{
    std::string Wmf = ReadAll(Sample("shapes_std.wmf")), Error;
    auto Data = [](const std::string& S) { return reinterpret_cast<const unsigned char*>(S.data()); };
    EXPECT_TRUE(CheckWmfRecords(Data(Wmf), Wmf.size(), Error)) << Error;
    std::string Long = Wmf;
    Long[18] = '\xFF'; // first record's size in words
    EXPECT_FALSE(CheckWmfRecords(Data(Long), Long.size(), Error));
    std::string Emf = ReadAll(Sample("shapes.emf"));
    EXPECT_TRUE(CheckEmfRecords(Data(Emf), Emf.size(), Error)) << Error;
    std::string Odd = Emf;
    Odd[4] = '\x6D'; // header record size not a multiple of 4
    EXPECT_FALSE(CheckEmfRecords(Data(Odd), Odd.size(), Error));
}

// Header fields the converters trust are checked or neutralised first
// (both were found by fuzzing: a read past the data, a 2 GB allocation).
class ConverterInput : public TPictureTemp {};

TEST_F(ConverterInput, EmfDescriptionOutsideTheHeaderIsIgnored)
{
    std::string Emf = ReadAll(Sample("shapes.emf"));
    const uint32_t Offset = uint32_t(Emf.size() - 4); // no terminator after it
    for (int I = 0; I < 4; ++I) Emf[64 + I] = char(Offset >> (8 * I));
    Emf[60] = Emf[61] = Emf[62] = Emf[63] = 0;
    QImage Picture;
    EXPECT_TRUE(LoadPicture(Make("desc.emf", Emf), Picture)); // an empty text past the header
    Emf[64] = char(88), Emf[65] = Emf[66] = Emf[67] = 0;    // inside, but nothing ends it
    EXPECT_TRUE(LoadPicture(Make("desc2.emf", Emf), Picture));
    Emf[60] = char(200);                                     // 200 characters cannot fit
    EXPECT_FALSE(LoadPicture(Make("desc3.emf", Emf), Picture));
}

TEST_F(ConverterInput, WmfLargestRecordFieldIsNotTrusted)
{
    std::string Wmf = ReadAll(Sample("shapes_std.wmf"));
    Wmf[12] = '\x14', Wmf[13] = 0, Wmf[14] = 0, Wmf[15] = '\x41'; // 0x41000014 words
    QImage Picture;
    EXPECT_TRUE(LoadPicture(Make("big.wmf", Wmf), Picture));
    Wmf[12] = 1, Wmf[13] = Wmf[14] = Wmf[15] = 0; // smaller than its records
    EXPECT_TRUE(LoadPicture(Make("small.wmf", Wmf), Picture));
}

// A bitmap header whose rows times row size overflows 64 bits.
TEST_F(ConverterInput, HugeBitmapHeaderIsRefused)
{
    std::string Bmp = ReadAll(Sample("photo.bmp")).substr(0, 200);
    for (int At : {18, 22}) Bmp[At] = '\xFF', Bmp[At + 1] = '\xFF', Bmp[At + 2] = '\xFF', Bmp[At + 3] = '\x7F';
    Bmp[28] = 32;
    QImage Picture;
    EXPECT_FALSE(LoadPicture(Make("huge.bmp", Bmp), Picture));
}

// The icon directory's size may disagree with the picture inside it; the
// picture's own size counts.
TEST_F(ConverterInput, IconDirectorySizeIsNotTheSize)
{
    std::string Icon = ReadAll(Sample("icon.ico"));
    Icon[7] = 0; // the directory says 48 x 256
    QImage Picture;
    ASSERT_TRUE(LoadPicture(Make("odd.ico", Icon), Picture));
    EXPECT_EQ(Picture.size(), QSize(48, 48));
    EXPECT_EQ(PictureSimilarity(Path("odd.ico"), Sample("icon.ico")), 100.0);
}

// ---- a picture costs memory in proportion to its pixels -------------------

std::string Encoded(const QImage& Picture, const char* Format)
{
    QByteArray Data;
    QBuffer Buffer(&Data);
    Buffer.open(QIODevice::WriteOnly);
    Picture.save(&Buffer, Format);
    return Data.toStdString();
}

const QImage Red = Filled(16, 16, Qt::red);

// A PNG chunk; Declared, when given, is the length its header claims.
std::string PngChunk(const std::string& Type, const std::string& Data, uint32_t Declared = 0)
{
    const uint32_t Length = Declared ? Declared : uint32_t(Data.size());
    const std::string Body = Type + Data;
    const uLong Crc = crc32(0, Bytes(Body), uInt(Body.size()));
    std::string Out;
    for (uint32_t V : {Length, uint32_t(Crc)})
        for (int Shift = 24; Shift >= 0; Shift -= 8) Out.push_back(char(V >> Shift));
    return Out.substr(0, 4) + Body + Out.substr(4);
}

// The red PNG with Before inserted after its header chunk and After before
// its end chunk.
std::string RedPng(const std::string& Before, const std::string& After = "")
{
    const std::string Png = Encoded(Red, "PNG");
    return Png.substr(0, 33) + Before + Png.substr(33, Png.size() - 45) + After + Png.substr(Png.size() - 12);
}

// A chunk that claims 2 GiB in a file of a few hundred bytes.
std::string HugePng(const char* Type) { return RedPng(PngChunk(Type, std::string(20, 'x'), 0x7FFFFFF0)); }

// The red JPEG with Markers inserted after its start marker.
std::string RedJpeg(const std::string& Markers)
{
    const std::string Jpeg = Encoded(Red, "JPG");
    return Jpeg.substr(0, 2) + Markers + Jpeg.substr(2);
}

std::string JpegMarker(int Code, size_t Length)
{
    return std::string{'\xFF', char(Code), char(Length >> 8), char(Length & 0xFF)} + std::string(Length - 2, 'm');
}

struct TCostCase {
    const char* Name;
    std::string (*Make)();
    int Type;
    bool Loads;
};

class DecodeCost : public ::testing::TestWithParam<TCostCase> {};

// Growth of the peak resident memory while a child process decodes Data,
// over what this process holds, in MiB; none when no child could be run.
std::optional<long> DecodeGrowthMiB(const std::string& Data, int Type)
{
    long Before = 0;
    std::ifstream Status("/proc/self/status");
    for (std::string Key; Status >> Key;)
        if (Key == "VmRSS:" && Status >> Before) break;
    const pid_t Child = ::fork();
    if (Child == 0) {
        QImage Picture;
        LoadPictureData(Bytes(Data), Data.size(), Type, Picture);
        ::_exit(0);
    }
    int Result = 0;
    rusage Usage{};
    if (Child < 0 || ::wait4(Child, &Result, 0, &Usage) != Child || !WIFEXITED(Result)) return std::nullopt;
    return (Usage.ru_maxrss - Before) / 1024;
}

TEST_P(DecodeCost, AncillaryDataCostsNoMoreThanItsBytes)
{
    const TCostCase& Case = GetParam();
    const std::string Data = Case.Make();
    QImage Picture;
    ASSERT_EQ(LoadPictureData(Bytes(Data), Data.size(), Case.Type, Picture), Case.Loads);
    if (Case.Loads) {
        EXPECT_EQ(CompareBitmaps(Picture, Filled(16, 16, Qt::red)), 100.0);
    }
    const std::optional<long> Growth = DecodeGrowthMiB(Data, Case.Type);
    ASSERT_TRUE(Growth.has_value());
    EXPECT_LT(*Growth, 32);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, DecodeCost,
    ::testing::Values(
        TCostCase{"png_huge_iTXt", [] { return HugePng("iTXt"); }, ptPng, false},
        TCostCase{"png_huge_zTXt", [] { return HugePng("zTXt"); }, ptPng, false},
        TCostCase{"png_huge_tEXt", [] { return HugePng("tEXt"); }, ptPng, false},
        TCostCase{"png_huge_pCAL", [] { return HugePng("pCAL"); }, ptPng, false},
        TCostCase{"png_huge_sCAL", [] { return HugePng("sCAL"); }, ptPng, false},
        TCostCase{"png_huge_sPLT", [] { return HugePng("sPLT"); }, ptPng, false},
        TCostCase{"png_whole_chunks",
                  [] {
                      return RedPng(PngChunk("tEXt", "Comment" + std::string(1, '\0') + std::string(300000, 't')) +
                                        PngChunk("prVt", std::string(300000, 'p')),
                                    PngChunk("zTXt", "Title" + std::string(2, '\0') + std::string(1000, 'z')));
                  },
                  ptPng, true},
        TCostCase{"gif_long_comment", [] { return MakeGif(16, 16, std::vector<GifPixelType>(256, 1), -1, 4000); },
                  ptGif, true},
        TCostCase{"jpeg_many_markers",
                  [] {
                      std::string Markers;
                      for (int Code = 0xE1; Code <= 0xEF; ++Code) Markers += JpegMarker(Code, 65535);
                      return RedJpeg(Markers + JpegMarker(0xFE, 65535));
                  },
                  ptJpeg, true},
        TCostCase{"jpeg_marker_past_end", [] { return RedJpeg(JpegMarker(0xE1, 100).replace(2, 2, "\xFF\xFF")); },
                  ptJpeg, false}),
    [](const ::testing::TestParamInfo<TCostCase>& Info) { return std::string(Info.param.Name); });

} // namespace

CORVANE_PICTURE_TEST_MAIN
