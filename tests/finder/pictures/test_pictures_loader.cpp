// Picture type detection and the decoders: every sample format, the type
// rules, damaged and truncated files, sizes read from headers.
#include "finder/pictures/Metafile.h"
#include "finder/pictures/PictureLoader.h"
#include "finder/pictures/PictureSimilarity.h"
#include "test_pictures_support.h"

#include <sys/stat.h>

namespace {

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
                      TSampleCase{"shapes_std.wmf", 11, 201, 151, false}));

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

} // namespace

CORVANE_PICTURE_TEST_MAIN
