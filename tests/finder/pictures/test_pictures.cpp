// Picture decoding and likeness: the type from the first bytes, every sample
// decoded at its size and in its colours, the type rules, damaged files, the
// limits on what a header or a chunk may cost; the pixel comparison, the
// proportions and scaling against plain models, and the scan's comparer
// against the one-pair reference.
#include "finder/pictures/Metafile.h"
#include "finder/pictures/PictureLoader.h"
#include "finder/pictures/PictureSimilarity.h"

#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

using namespace std::string_literals;

namespace {

std::string Sample(const std::string& Name) { return std::string(CORVANE_PICTURE_SAMPLES) + "/" + Name; }

std::string ReadAll(const std::string& Path) {
    return std::string(std::istreambuf_iterator<char>(std::ifstream(Path, std::ios::binary).rdbuf()), {});
}

const unsigned char* Bytes(const std::string& S) { return reinterpret_cast<const unsigned char*>(S.data()); }

QImage Filled(int Width, int Height, QColor Colour) {
    QImage Picture(Width, Height, QImage::Format_RGB888);
    Picture.fill(Colour);
    return Picture;
}

// Pseudo-random picture from a seed, reproducible across runs.
QImage Noise(int Width, int Height, unsigned Seed) {
    QImage Picture(Width, Height, QImage::Format_RGB888);
    unsigned State = Seed * 2654435761u + 1;
    for (int Y = 0; Y < Height; ++Y)
        for (int X = 0; X < 3 * Width; ++X)
            Picture.scanLine(Y)[X] = uchar((State = State * 1103515245u + 12345u) >> 23);
    return Picture;
}

// Files made in a private temporary folder.
class PictureFiles : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    std::string Path(const std::string& Name) const { return Dir.path().toStdString() + "/" + Name; }
    std::string Make(const std::string& Name, const std::string& Bytes) const {
        std::ofstream(Path(Name), std::ios::binary | std::ios::trunc) << Bytes;
        return Path(Name);
    }
    std::string Save(const std::string& Name, const QImage& Picture) const {
        EXPECT_TRUE(Picture.save(QString::fromStdString(Path(Name))));
        return Path(Name);
    }
};

// ---- decoding ------------------------------------------------------------------

TEST_F(PictureFiles, TypeComesFromTheFirstTwoBytesAndForIconsAndMetafilesTheExtension) {
    const struct {
        std::string Bytes;
        const char* Name;
        int Type;
    } Cases[] = {
        {"BM\0\0"s, "a.dat", ptBitmap},      {"\xFF\xD8\xFF"s, "a.png", ptJpeg}, {"GIF89a"s, "a", ptGif},
        {"\x0A\x05"s, "a.pcx", ptPcx},       {"\x89PNG"s, "a.png", ptPng},       {"8BPS"s, "a.psd", ptPsd},
        {"\x59\xA6"s, "a.ras", ptSunRaster}, {"\x01\xDA"s, "a.sgi", ptSgi},      {"II*\0"s, "a.tif", ptTiff},
        {"\0\0\1\0"s, "A.ICO", ptIcon},     {"\0\0\1\0"s, "a.bmp", ptNone},    {"\1\0\0\0"s, "a.emf", ptMetafile},
        {"\1\0\x09\0"s, "a.WMF", ptMetafile}, {"\1\0\0\0"s, "a.ico", ptNone}, {"\1\0\0\0"s, "a.emf.bak", ptNone},
        {"\xD7\xCD"s, "a", ptPlaceableWmf},  {"RIFF"s, "a.wav", ptRiff},         {"B"s, "short.bmp", ptNone}};
    for (const auto& C : Cases) EXPECT_EQ(PictureFileType(Make(C.Name, C.Bytes)), C.Type) << C.Name;
    // A FIFO named like a picture is never opened for reading, which would block.
    ASSERT_EQ(::mkfifo(Path("pipe.png").c_str(), 0600), 0);
    QImage Picture;
    EXPECT_EQ(PictureFileType(Path("pipe.png")), ptNone);
    EXPECT_FALSE(LoadPicture(Path("pipe.png"), Picture) || LoadPicture(Dir.path().toStdString(), Picture));
}

// Each sample decodes to a 24-bit picture of its size, which its header
// tells too except for icons and metafiles. A plain WMF has no units per
// inch: its logical units become pixels, the drawing's bounds its size.
TEST(Samples, EachDecodesAtItsSize) {
    const QSize Photo(256, 192);
    const struct {
        const char* Name;
        int Type;
        QSize Size;
    } Cases[] = {{"photo.png", ptPng, Photo},          {"photo.bmp", ptBitmap, Photo},
                 {"photo_q90.jpg", ptJpeg, Photo},     {"photo_progressive.jpg", ptJpeg, Photo},
                 {"photo_gray.jpg", ptJpeg, Photo},    {"photo_cmyk.jpg", ptJpeg, Photo},
                 {"photo_palette.png", ptPng, Photo},  {"photo_jpeg_named.png", ptJpeg, Photo},
                 {"photo_16bit.png", ptPng, Photo},    {"photo_interlaced.png", ptPng, Photo},
                 {"photo.gif", ptGif, Photo},          {"photo_interlaced.gif", ptGif, Photo},
                 {"frame_offset.gif", ptGif, {100, 80}}, {"half_transparent.png", ptPng, {64, 48}},
                 {"icon.ico", ptIcon, {48, 48}},       {"shapes.emf", ptMetafile, {200, 150}},
                 {"shapes.wmf", ptPlaceableWmf, {200, 150}}, {"shapes_std.wmf", ptMetafile, {201, 151}},
                 {"clear.emf", ptMetafile, {320, 240}}, {"clear.wmf", ptPlaceableWmf, {320, 240}}};
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        EXPECT_EQ(PictureFileType(Sample(C.Name)), C.Type);
        QImage Picture;
        std::string Error;
        ASSERT_TRUE(LoadPicture(Sample(C.Name), Picture, &Error)) << Error;
        EXPECT_EQ(Picture.format(), QImage::Format_RGB888);
        EXPECT_EQ(Picture.size(), C.Size);
        const bool FromHeader = C.Type != ptIcon && C.Type != ptMetafile && C.Type != ptPlaceableWmf;
        int Width = 0, Height = 0;
        EXPECT_EQ(ReadPictureSize(Sample(C.Name), C.Type, Width, Height), FromHeader);
        EXPECT_TRUE(!FromHeader || QSize(Width, Height) == Picture.size());
    }
}

// A GIF's first frame lies on its logical screen; parts it does not cover,
// a GIF's transparent colour and a PNG's transparent parts show white. The
// metafiles draw a red rectangle and a blue ellipse on white; the "clear"
// twins, drawn in transparent background mode, keep their fills opaque and
// in their exact colours, however near a named colour they lie.
TEST(Samples, ShowTheirColoursWhereTheyWereDrawn) {
    const struct {
        const char* Name;
        int X, Y;
        const char* Colour;
    } Spots[] = {{"frame_offset.gif", 5, 5, "#ffffff"},     {"frame_offset.gif", 10, 20, "#ff0000"},
                 {"frame_offset.gif", 49, 49, "#ff0000"},   {"frame_offset.gif", 50, 49, "#ffffff"},
                 {"frame_offset.gif", 99, 79, "#ffffff"},   {"transparent.gif", 0, 1, "#ffffff"},
                 {"transparent.gif", 3, 1, "#0000ff"},      {"half_transparent.png", 10, 10, "#0000ff"},
                 {"half_transparent.png", 50, 10, "#ffffff"}, {"clear.emf", 5, 5, "#f7f1e3"},
                 {"clear.emf", 85, 80, "#1f77b4"},          {"clear.emf", 240, 80, "#ff7f0e"},
                 {"clear.emf", 160, 210, "#2ca02c"},        {"clear.wmf", 5, 5, "#f7f1e3"},
                 {"clear.wmf", 85, 80, "#1f77b4"},          {"clear.wmf", 240, 80, "#ff7f0e"},
                 {"clear.wmf", 160, 210, "#2ca02c"}};
    for (const auto& S : Spots) {
        QImage Picture;
        ASSERT_TRUE(LoadPicture(Sample(S.Name), Picture)) << S.Name;
        EXPECT_EQ(Picture.pixelColor(S.X, S.Y).name().toStdString(), S.Colour) << S.Name << " " << S.X << "," << S.Y;
    }
    for (const char* Name : {"shapes.emf", "shapes.wmf", "shapes_std.wmf"}) {
        QImage Picture;
        ASSERT_TRUE(LoadPicture(Sample(Name), Picture)) << Name;
        const QColor Want[] = {Qt::red, Qt::blue, Qt::white, Qt::white};
        const QPoint At[] = {{50, 75}, {150, 75}, {100, 5}, {195, 145}};
        for (int I = 0; I < 4; ++I) EXPECT_EQ(Picture.pixelColor(At[I]), Want[I]) << Name << " spot " << I;
    }
}

// Copies of one picture in other formats compare as identical or close;
// its negative as nothing; a half-size copy alike in either order.
TEST(Samples, CopiesInOtherFormatsCompareAsAlike) {
    const struct {
        const char *A, *B;
        double AtLeast;
    } Pairs[] = {{"photo.png", "photo.bmp", 100},           {"photo.png", "photo_16bit.png", 100},
                 {"photo.png", "photo_interlaced.png", 100}, {"photo.gif", "photo_interlaced.gif", 100},
                 {"photo_q90.jpg", "photo_jpeg_named.png", 100}, {"photo.png", "photo_q90.jpg", 90},
                 {"photo.png", "photo_progressive.jpg", 90}, {"photo.png", "photo_cmyk.jpg", 90},
                 {"photo.png", "photo_q50.jpg", 80},         {"photo.png", "photo_half.png", 80},
                 {"shapes.emf", "shapes.wmf", 97},           {"clear.emf", "clear.wmf", 97}};
    for (const auto& P : Pairs)
        EXPECT_GE(PictureSimilarity(Sample(P.A), Sample(P.B)), P.AtLeast) << P.A << " / " << P.B;
    EXPECT_EQ(PictureSimilarity(Sample("photo.png"), Sample("photo_negative.png")), 0.0);
    EXPECT_EQ(PictureSimilarity(Sample("photo.png"), Sample("photo_half.png")),
              PictureSimilarity(Sample("photo_half.png"), Sample("photo.png")));
}

// Icons are decoded only under ".ico" and metafiles only under ".wmf" or
// ".emf", whatever the content; types that are not decoded, and pictures
// narrower or lower than 2 pixels, compare as nothing.
TEST_F(PictureFiles, TheTypeRulesDecideWhatIsDecoded) {
    const std::string Icon = ReadAll(Sample("icon.ico")), Emf = ReadAll(Sample("shapes.emf"));
    const std::string Wmf = ReadAll(Sample("shapes_std.wmf")), Tiff = "II" + ReadAll(Sample("photo.png")).substr(2);
    const struct {
        const char *A, *B;
        const std::string& Bytes;
        double Similarity;
    } Pairs[] = {{"a.ico", "b.ICO", Icon, 100}, {"c.ico", "c.png", Icon, 0}, {"a.emf", "b.wmf", Emf, 100},
                 {"c.emf", "c.ico", Emf, 0},   {"d.wmf", "d.emf", Wmf, 100}, {"e.wmf", "e.bin", Wmf, 0},
                 {"a.tif", "b.tif", Tiff, 0}};
    for (const auto& P : Pairs)
        EXPECT_EQ(PictureSimilarity(Make(P.A, P.Bytes), Make(P.B, P.Bytes)), P.Similarity) << P.A << " / " << P.B;
    QImage Picture;
    EXPECT_FALSE(LoadPicture(Save("w1.png", Filled(1, 50, Qt::red)), Picture));
    EXPECT_FALSE(LoadPicture(Save("h1.bmp", Filled(50, 1, Qt::red)), Picture));
    EXPECT_TRUE(LoadPicture(Save("two.png", Filled(2, 2, Qt::red)), Picture));
    EXPECT_EQ(PictureSimilarity(Path("w1.png"), Save("wide.png", Filled(50, 50, Qt::red))), 0.0);
}

// Cut short at several points, or noise after the signature: no format
// decodes, each says why, and a pair with the damaged file compares as 0.0.
TEST_F(PictureFiles, DamagedFilesOfEveryFormatNeverLoadAndCompareAsNothing) {
    for (const char* Name : {"photo_q90.jpg", "photo_progressive.jpg", "photo.png", "photo_interlaced.png", "photo.gif",
                             "photo.bmp", "icon.ico", "shapes.emf", "shapes.wmf", "shapes_std.wmf"}) {
        const std::string Whole = ReadAll(Sample(Name)), CutName = std::string("cut") + std::strrchr(Name, '.');
        std::string Noise = Whole.substr(0, 2);
        for (unsigned State = 7; Noise.size() < Whole.size();)
            Noise += char((State = State * 1103515245u + 12345u) >> 24);
        const size_t N = Whole.size();
        for (size_t Keep : {size_t(2), size_t(10), size_t(30), N / 3, N / 2, N * 9 / 10, N}) {
            const std::string Cut = Make(CutName, Keep < N ? Whole.substr(0, Keep) : Noise);
            QImage Picture;
            std::string Error;
            EXPECT_FALSE(LoadPicture(Cut, Picture, &Error)) << Name << " cut to " << Keep;
            EXPECT_FALSE(Error.empty()) << Name << " cut to " << Keep;
            // A JPEG's error carries the codec's own number.
            EXPECT_TRUE(!std::strstr(Name, ".jpg") || Error.rfind("JPEG error #", 0) == 0) << Error;
            EXPECT_EQ(PictureSimilarity(Sample(Name), Cut), 0.0) << Name << " cut to " << Keep;
        }
    }
}

// Header fields are checked before a converter or an allocation trusts them
// (the first two were found by fuzzing: a read past the data, a 2 GB
// allocation); a header that claims more pixels than the cap is refused.
TEST_F(PictureFiles, HeaderFieldsAreCheckedBeforeTheyAreTrusted) {
    QImage Picture;
    std::string Emf = ReadAll(Sample("shapes.emf"));
    const uint32_t Offset = uint32_t(Emf.size() - 4);  // an EMF description with no terminator after it
    for (int I = 0; I < 4; ++I) Emf[64 + I] = char(Offset >> (8 * I));
    Emf[60] = Emf[61] = Emf[62] = Emf[63] = 0;
    EXPECT_TRUE(LoadPicture(Make("desc.emf", Emf), Picture));  // an empty text past the header
    Emf[64] = char(88), Emf[65] = Emf[66] = Emf[67] = 0;       // inside, but nothing ends it
    EXPECT_TRUE(LoadPicture(Make("desc2.emf", Emf), Picture));
    Emf[60] = char(200);  // 200 characters cannot fit
    EXPECT_FALSE(LoadPicture(Make("desc3.emf", Emf), Picture));
    std::string Wmf = ReadAll(Sample("shapes_std.wmf")), Error;
    Wmf[12] = '\x14', Wmf[13] = 0, Wmf[14] = 0, Wmf[15] = '\x41';  // largest record: 0x41000014 words
    EXPECT_TRUE(LoadPicture(Make("big.wmf", Wmf), Picture));
    Wmf[12] = 1, Wmf[15] = 0;  // smaller than its records
    EXPECT_TRUE(LoadPicture(Make("small.wmf", Wmf), Picture));
    Wmf[18] = '\xFF';  // the first record runs past the data
    EXPECT_FALSE(CheckWmfRecords(Bytes(Wmf), Wmf.size(), Error, kPictureMaxPixels));
    // A bitmap record whose header claims more than its few bytes hold (found
    // by fuzzing: 65535 x 65535 run-length pixels, 2^32 colours; 12 GB each).
    const std::string Found = ReadAll(Sample("../../fuzz/seeds/pictures/huge_bitmap.wmf")).substr(1);
    const struct { const char* Name; int Side, Bits, Compression; uint32_t Colours; bool Converts; } Bitmaps[] = {
        {"OverThePixelLimit", 2048, 8, 1, 2, false}, {"RowsOutsideTheRecord", 16, 8, 0, 2, false},
        {"PaletteOutsideTheRecord", 16, 1, 1, ~0u, false}, {"Small", 16, 8, 1, 2, true}};
    for (const auto& B : Bitmaps) {
        Wmf = Found;
        for (int At : {70, 74}) Wmf[At] = char(B.Side), Wmf[At + 1] = char(B.Side >> 8);
        Wmf[80] = char(B.Bits), Wmf[82] = char(B.Compression);
        for (int I = 0; I < 4; ++I) Wmf[98 + I] = char(B.Colours >> (8 * I));
        TMetafileSvg Svg;
        std::string Why;
        EXPECT_EQ(WmfToSvg(Bytes(Wmf), Wmf.size(), Svg, Why, 1 << 20), B.Converts) << B.Name << ": " << Why;
    }
    Emf = ReadAll(Sample("shapes.emf"));
    Emf[4] = '\x6D';  // header record size not a multiple of 4
    EXPECT_FALSE(CheckEmfRecords(Bytes(Emf), Emf.size(), Error));
    // A bitmap whose rows times row size overflow 64 bits.
    std::string Bmp = ReadAll(Sample("photo.bmp")).substr(0, 200);
    for (int At : {18, 22}) Bmp[At] = '\xFF', Bmp[At + 1] = '\xFF', Bmp[At + 2] = '\xFF', Bmp[At + 3] = '\x7F';
    Bmp[28] = 32;
    EXPECT_FALSE(LoadPicture(Make("huge.bmp", Bmp), Picture));
    // An icon directory that says 48 x 256: the picture inside counts.
    std::string Icon = ReadAll(Sample("icon.ico"));
    Icon[7] = 0;
    ASSERT_TRUE(LoadPicture(Make("odd.ico", Icon), Picture));
    EXPECT_EQ(Picture.size(), QSize(48, 48));
    for (const char* Name : {"photo.png", "photo_q90.jpg", "photo.gif", "photo.bmp"}) {
        EXPECT_FALSE(LoadPicture(Sample(Name), Picture, &Error, 1000)) << Name;
        EXPECT_TRUE(Picture.isNull()) << Name;
    }
}

// ---- ancillary data costs no more than its bytes ---------------------------------

// A PNG chunk; Declared, when given, is the length its header claims.
std::string PngChunk(const std::string& Type, const std::string& Data, uint32_t Declared = 0) {
    const std::string Body = Type + Data;
    std::string Out;
    for (uint32_t V : {Declared ? Declared : uint32_t(Data.size()), uint32_t(crc32(0, Bytes(Body), uInt(Body.size())))})
        for (int Shift = 24; Shift >= 0; Shift -= 8) Out.push_back(char(V >> Shift));
    return Out.substr(0, 4) + Body + Out.substr(4);
}

std::string JpegMarker(int Code, size_t Length) {
    return std::string{'\xFF', char(Code), char(Length >> 8), char(Length & 0xFF)} + std::string(Length - 2, 'm');
}

// How far, in MiB, the peak resident memory of a child process that decodes
// Data rises above what this process holds now; none when no child could run.
std::optional<long> DecodeGrowthMiB(const std::string& Data, int Type) {
    long Before = 0;  // this process's own peak may hold an earlier decode
    std::ifstream Status("/proc/self/status");
    for (std::string Key; Status >> Key;)
        if (Key == "VmRSS:" && Status >> Before) break;
    rusage Usage{};
    const pid_t Child = ::fork();
    if (Child == 0) {
        QImage Picture;
        LoadPictureData(Bytes(Data), Data.size(), Type, Picture);
        ::_exit(0);
    }
    int Result = 0;
    if (Child < 0 || ::wait4(Child, &Result, 0, &Usage) != Child || !WIFEXITED(Result)) return std::nullopt;
    return (Usage.ru_maxrss - Before) / 1024;
}

// Each sample with Extra inserted at At: a PNG's after its header chunk, a
// JPEG's after its start marker, a GIF's after its colour table.
TEST(DecodeCost, ChunksMarkersAndCommentsCostNoMoreThanTheirBytes) {
    std::string Markers, Comment = "\x21\xFE"s;
    for (int Code = 0xE1; Code <= 0xEF; ++Code) Markers += JpegMarker(Code, 65535);
    for (int I = 0; I < 4000; ++I) Comment += '\xFF' + std::string(255, 'c');
    const std::string Huge(20, 'x'), Big(300000, 'b'), Png = "half_transparent.png", Jpeg = "photo_q90.jpg";
    const struct {
        std::string Name, Sample;
        size_t At;
        std::string Extra;
        bool Loads;  // and then as the sample does
    } Cases[] = {{"png_huge_iTXt", Png, 33, PngChunk("iTXt", Huge, 0x7FFFFFF0), false},
                 {"png_huge_sPLT", Png, 33, PngChunk("sPLT", Huge, 0x7FFFFFF0), false},
                 {"png_whole_chunks", Png, 33, PngChunk("tEXt", "Comment\0"s + Big) + PngChunk("prVt", Big), true},
                 {"gif_long_comment", "photo.gif", 13 + 768, Comment + '\0', true},
                 {"jpeg_many_markers", Jpeg, 2, Markers + JpegMarker(0xFE, 65535), true},
                 {"jpeg_marker_past_end", Jpeg, 2, JpegMarker(0xE1, 100).replace(2, 2, "\xFF\xFF"), false}};
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        const std::string Data = ReadAll(Sample(C.Sample)).insert(C.At, C.Extra);
        const int Type = PictureFileType(Sample(C.Sample));
        QImage Picture, Want;
        ASSERT_EQ(LoadPictureData(Bytes(Data), Data.size(), Type, Picture), C.Loads);
        EXPECT_TRUE(!C.Loads || (LoadPicture(Sample(C.Sample), Want) && Picture == Want));
        const std::optional<long> Growth = DecodeGrowthMiB(Data, Type);
        ASSERT_TRUE(Growth.has_value());
        EXPECT_LT(*Growth, 32);
    }
}

// ---- likeness ----------------------------------------------------------------------

// A byte below 128 is class 0, from 128 class 255; pixels match where the
// classes of all three channels agree.
TEST(CompareBitmaps, ColourClassesSplitBetween127And128) {
    const QImage Grey = Filled(5, 5, QColor(128, 128, 128));
    EXPECT_EQ(CompareBitmaps(Grey, Filled(5, 5, Qt::white)), 100.0);
    EXPECT_EQ(CompareBitmaps(Filled(5, 5, QColor(127, 127, 127)), Filled(5, 5, Qt::black)), 100.0);
    for (const QColor& Other : {QColor(127, 128, 128), QColor(128, 127, 128), QColor(128, 128, 127)})
        EXPECT_EQ(CompareBitmaps(Grey, Filled(5, 5, Other)), 0.0) << Other.name().toStdString();
}

// Below 100 x 100 every pixel is compared, else the cross of five cells of
// a 3 x 3 grid whose cells are a third of the sides, rounded up.
TEST(CompareBitmaps, WholeBelow100ElseTheCross) {
    const struct {
        int Width, Height;
        double Compared;
    } Cases[] = {{99, 99, 9801},  {100, 100, 5644},  {100, 2, 134},         {2, 100, 134},
                 {2, 2, 4},       {300, 300, 50000}, {99, 100, 34 * 99 + 66 * 33}, {101, 7, 3 * 101 + 4 * 34}};
    for (const auto& C : Cases) {
        TPixelCounts Counts;
        EXPECT_EQ(CompareBitmaps(Noise(C.Width, C.Height, 3), Noise(C.Width, C.Height, 3), &Counts), 100.0);
        EXPECT_EQ(Counts.Compared, C.Compared) << C.Width << " x " << C.Height;
    }
}

// The width and height ratios, rounded to two decimals, must agree.
TEST(Proportions, RatiosRoundedToTwoDecimals) {
    const struct {
        int W1, H1, W2, H2;
        bool Agree;
    } Cases[] = {{800, 600, 400, 300, true},   {800, 600, 640, 481, true},  {800, 600, 640, 490, false},
                 {300, 300, 300, 301, true},   {400, 300, 300, 400, false}, {1600, 1200, 2000, 1500, true},
                 {1000, 1000, 996, 991, false}};
    for (const auto& C : Cases)
        EXPECT_EQ(ProportionsAgree(C.W1, C.H1, C.W2, C.H2), C.Agree) << C.W2 << " x " << C.H2 << " to " << C.W1;
}

// ScaledPicture against the area mean written out pixel by pixel: the
// weight of source row j in target row y is the rounded cumulative overlap
// up to its end less that up to its start, in 1/4096 of the target's span.
uint32_t OverlapWeight(int Target, int Source, int T, int S) {
    auto Cumulative = [&](uint64_t Part) { return uint32_t((Part * 8192 + Source) / (uint64_t(Source) * 2)); };
    const uint64_t Lo = uint64_t(T) * Source, Hi = uint64_t(T + 1) * Source;
    const uint64_t From = std::max(Lo, uint64_t(S) * Target), To = std::min(Hi, uint64_t(S + 1) * Target);
    return From >= To ? 0 : Cumulative(To - Lo) - Cumulative(From - Lo);
}

TEST(ScaledPicture, EqualsTheAreaMeanAndKeepsASingleColour) {
    // Slightly smaller, a third or less, larger, larger one way and smaller
    // the other, rows shorter than the eight-byte steps.
    const QSize Cases[][2] = {{{163, 122}, {160, 120}}, {{97, 61}, {31, 19}}, {{40, 30}, {97, 73}},
                              {{60, 60}, {59, 61}},     {{2, 2}, {1, 1}},     {{3, 50}, {2, 17}},
                              {{250, 4}, {9, 3}},       {{17, 13}, {17, 13}}};
    for (const auto& [From, To] : Cases) {
        SCOPED_TRACE(::testing::Message() << From.width() << "x" << From.height() << " to width " << To.width());
        const QImage Source = Noise(From.width(), From.height(), unsigned(From.width() * 7 + To.width()));
        const QImage Scaled = ScaledPicture(Source, To.width(), To.height());
        ASSERT_EQ(Scaled.size(), To);
        for (int Y = 0; Y < To.height(); ++Y)
            for (int X = 0; X < To.width(); ++X)
                for (int C = 0; C < 3; ++C) {
                    uint64_t Sum = 0;
                    for (int J = 0; J < From.height(); ++J) {
                        const uint64_t Wy = OverlapWeight(To.height(), From.height(), Y, J);
                        for (int I = 0; Wy && I < From.width(); ++I)
                            Sum += Wy * OverlapWeight(To.width(), From.width(), X, I) *
                                   Source.constScanLine(J)[3 * I + C];
                    }
                    ASSERT_EQ(Scaled.constScanLine(Y)[3 * X + C], uchar((Sum + (1u << 23)) >> 24)) << X << "," << Y;
                }
        const QColor Odd(127, 128, 255);  // the weights sum to one exactly
        EXPECT_EQ(ScaledPicture(Filled(From.width(), From.height(), Odd), To.width(), To.height()),
                  Filled(To.width(), To.height(), Odd));
    }
}

// Of two sizes of one proportion the wider is scaled to the other, whichever
// comes first; with equal widths the second to the first. A missing file is
// no likeness, first or second.
TEST_F(PictureFiles, SimilarityScalesTheWiderDown) {
    const QImage Picture = Noise(240, 180, 21);
    const std::string Big = Save("big.png", Picture), Small = Save("small.png", ScaledPicture(Picture, 120, 90));
    EXPECT_EQ(PictureSimilarity(Big, Small), 100.0);
    EXPECT_EQ(PictureSimilarity(Small, Big), 100.0);
    EXPECT_EQ(PictureSimilarity(Big, Save("odd.png", Noise(240, 100, 2))), 0.0);  // proportions differ
    const QImage Square = Noise(300, 300, 8), Taller = Noise(300, 301, 9);
    EXPECT_EQ(PictureSimilarity(Save("sq.png", Square), Save("tall.png", Taller)),
              CompareBitmaps(Square, ScaledPicture(Taller, 300, 300)));
    EXPECT_EQ(PictureSimilarity(Path("tall.png"), Path("sq.png")),
              CompareBitmaps(ScaledPicture(Square, 300, 301), Taller));
    EXPECT_EQ(PictureSimilarity(Big, Path("missing.png")) + PictureSimilarity(Path("missing.png"), Big), 0.0);
}

// ---- the scan's comparer equals the reference wherever it reaches the threshold

class ComparerTest : public PictureFiles {
protected:
    std::vector<std::string> Paths;

    void SetUp() override {
        // Near copies with a known number of flipped pixels, other sizes of
        // one proportion, other proportions, tiny and unreadable files.
        const QImage Base = Noise(160, 120, 42);
        Paths.push_back(Save("base.png", Base));
        for (int Flips : {1, 50, 300, 1200, 4000}) {
            QImage Copy = Base;
            for (unsigned I = 0, State = unsigned(Flips); I < unsigned(Flips); ++I) {
                State = State * 1103515245u + 12345u;
                const int X = int(State >> 8) % 160, Y = int(State >> 20) % 120;
                const QColor Old = Copy.pixelColor(X, Y);
                Copy.setPixelColor(X, Y, QColor(255 - Old.red(), 255 - Old.green(), 255 - Old.blue()));
            }
            Paths.push_back(Save("flip" + std::to_string(Flips) + ".png", Copy));
        }
        Paths.push_back(Save("half.png", ScaledPicture(Base, 80, 60)));
        Paths.push_back(Save("double.bmp", ScaledPicture(Base, 320, 240)));
        Paths.push_back(Save("almost.png", ScaledPicture(Base, 161, 121)));
        Paths.push_back(Save("other.png", Noise(160, 90, 3)));
        // One size taller than the other: scaling shrinks one way, enlarges the other.
        Paths.push_back(Save("square.png", Noise(300, 300, 77)));
        Paths.push_back(Save("square_tall.png", ScaledPicture(Noise(300, 300, 77), 300, 301)));
        QImage Inverted = Base;
        Inverted.invertPixels();
        Paths.push_back(Save("negative.png", Inverted));
        Paths.push_back(Make("cut.png", ReadAll(Path("base.png")).substr(0, 500)));
        for (const char* Name : {"photo_q75.jpg", "photo.gif", "shapes.emf", "shapes.wmf", "icon.ico"})
            Paths.push_back(Make(Name, ReadAll(Sample(Name))));
        Paths.push_back(Path("missing.png"));
    }

    void ExpectSameAsReference(TPictureComparer& Comparer, const std::vector<double>& Thresholds) {
        for (const std::string& A : Paths)
            for (const std::string& B : Paths) {
                const double Reference = PictureSimilarity(A, B);
                for (double Threshold : Thresholds) {
                    const double Fast = Comparer.Similarity(A, B, Threshold);
                    if (Reference >= Threshold)
                        EXPECT_EQ(Fast, Reference) << A << " / " << B << " at " << Threshold;
                    else
                        EXPECT_LT(Fast, Threshold) << A << " / " << B << " at " << Threshold;
                }
            }
    }
};

TEST_F(ComparerTest, SameResultWhereverTheThresholdIsReached) {
    TPictureComparer Comparer;
    ExpectSameAsReference(Comparer, {0.0, 50.0, 90.0, 99.0, 100.0});
    EXPECT_GT(Comparer.Stats().EarlyStops, 0);
    // A cap smaller than one picture evicts all the time and changes nothing.
    TPictureComparer Tiny(1);
    ExpectSameAsReference(Tiny, {0.0, 90.0});
    EXPECT_GT(Tiny.Stats().Evictions, 0);
}

// Thresholds at, just above and just below each exact value.
TEST_F(ComparerTest, ThresholdsAtTheExactValue) {
    TPictureComparer Comparer;
    for (const std::string& B : Paths) {
        const double Reference = PictureSimilarity(Paths[0], B), Above = std::nextafter(Reference, 200.0);
        EXPECT_EQ(Comparer.Similarity(Paths[0], B, Reference), Reference) << B;
        EXPECT_EQ(Comparer.Similarity(Paths[0], B, std::nextafter(Reference, -1.0)), Reference) << B;
        EXPECT_LT(Comparer.Similarity(Paths[0], B, Above), Above) << B;
    }
}

// Two pictures with the same colours in the same counts, alike in their
// first rows only: neither the counts nor the first pass may settle the
// pair at the threshold they only reach as a bound; at 100 % it stays short,
// also the second time, when its counts are known.
TEST_F(PictureFiles, ComparerNeverTakesABoundForAMatch) {
    QImage A = Filled(30, 30, Qt::red), B = A;
    for (int Y = 10; Y < 30; ++Y)
        for (int X = 0; X < 30; ++X) (X < 15 ? B : A).setPixelColor(X, Y, Qt::blue);
    const std::string PathA = Save("a.png", A), PathB = Save("b.png", B);
    TPictureComparer Comparer;
    EXPECT_LT(Comparer.Similarity(PathA, PathB, 100.0), 100.0);
    EXPECT_LT(Comparer.Similarity(PathA, PathB, 100.0), 100.0);
    EXPECT_EQ(Comparer.Similarity(PathA, PathB, 0.0), PictureSimilarity(PathA, PathB));
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);  // the metafiles are drawn through QPainter
    QTemporaryDir Runtime;
    setenv("XDG_RUNTIME_DIR", Runtime.path().toLocal8Bit().constData(), 1);
    QGuiApplication App(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
