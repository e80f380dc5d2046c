// The pixel comparison, the proportion test and scaling, and the scan's
// comparer against the one-pair reference.
#include "finder/pictures/PictureLoader.h"
#include "finder/pictures/PictureSimilarity.h"
#include "test_pictures_support.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <vector>

namespace {

// ---- colour classes ----------------------------------------------------------

struct TClassCase {
    int R1, G1, B1, R2, G2, B2;
    bool Same;
};

class ColourClassTest : public ::testing::TestWithParam<TClassCase> {};

TEST_P(ColourClassTest, BorderBetween127And128)
{
    const TClassCase& C = GetParam();
    EXPECT_EQ(SameColourClass(uint8_t(C.R1), uint8_t(C.G1), uint8_t(C.B1), uint8_t(C.R2), uint8_t(C.G2), uint8_t(C.B2)),
              C.Same);
    // The same border through whole bitmaps.
    const double Expected = C.Same ? 100.0 : 0.0;
    EXPECT_EQ(CompareBitmaps(Filled(5, 5, QColor(C.R1, C.G1, C.B1)), Filled(5, 5, QColor(C.R2, C.G2, C.B2))), Expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ColourClassTest,
                         ::testing::Values(TClassCase{127, 200, 0, 0, 255, 100, true},
                                           TClassCase{128, 0, 0, 127, 0, 0, false},
                                           TClassCase{0, 128, 0, 0, 127, 0, false},
                                           TClassCase{0, 0, 128, 0, 0, 127, false},
                                           TClassCase{128, 128, 128, 255, 255, 255, true},
                                           TClassCase{127, 127, 127, 0, 0, 0, true},
                                           TClassCase{255, 0, 255, 128, 127, 200, true}));

// ---- which pixels are compared -------------------------------------------------

struct TCountCase {
    int Width, Height;
    double Compared;
};

class ComparedCount : public ::testing::TestWithParam<TCountCase> {};

TEST_P(ComparedCount, WholeBelow100ElseTheCross)
{
    const TCountCase& C = GetParam();
    TPixelCounts Counts;
    const QImage Picture = Noise(C.Width, C.Height, 3);
    EXPECT_EQ(CompareBitmaps(Picture, Picture, &Counts), 100.0);
    EXPECT_EQ(Counts.Compared, C.Compared);
    EXPECT_EQ(Counts.Matched, C.Compared);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ComparedCount,
                         ::testing::Values(TCountCase{99, 99, 9801}, TCountCase{100, 100, 5644},
                                           TCountCase{100, 2, 134}, TCountCase{2, 100, 134},
                                           TCountCase{99, 100, 34 * 99 + 66 * 33}, TCountCase{300, 300, 50000},
                                           TCountCase{2, 2, 4}, TCountCase{101, 7, 3 * 101 + 4 * 34}));

// 100 x 2: cw = 34, ch = 1; row 0 is compared at columns 34..67 only, row 1
// whole, and there is no bottom band.
TEST(CompareBitmaps, HundredByTwoGrid)
{
    const QImage Base = Filled(100, 2, Qt::black);
    auto With = [&](int X, int Y) {
        QImage Changed = Base;
        Changed.setPixelColor(X, Y, Qt::white);
        return Changed;
    };
    TPixelCounts Counts;
    for (int X : {0, 33, 68, 99}) EXPECT_EQ(CompareBitmaps(Base, With(X, 0)), 100.0) << X;
    for (int X : {34, 50, 67}) {
        CompareBitmaps(Base, With(X, 0), &Counts);
        EXPECT_EQ(Counts.Matched, 133.0) << X;
    }
    for (int X : {0, 99}) {
        CompareBitmaps(Base, With(X, 1), &Counts);
        EXPECT_EQ(Counts.Matched, 133.0) << X;
    }
}

TEST(CompareBitmaps, CrossLeavesTheCornersOut)
{
    const QImage Base = Noise(120, 90, 5);
    QImage Corners = Base;
    const QImage Inverted = Negative(Base);
    for (int Y = 0; Y < 30; ++Y)
        for (int X = 0; X < 40; ++X) Corners.setPixelColor(X, Y, Inverted.pixelColor(X, Y));
    EXPECT_EQ(CompareBitmaps(Base, Corners), 100.0);
    EXPECT_EQ(CompareBitmaps(Base, Negative(Base)), 0.0);
}

// ---- proportions and scaling ---------------------------------------------------

struct TProportionCase {
    int W1, H1, W2, H2;
    bool Agree;
};

class Proportions : public ::testing::TestWithParam<TProportionCase> {};

TEST_P(Proportions, RatiosRoundedToTwoDecimals)
{
    const TProportionCase& C = GetParam();
    EXPECT_EQ(ProportionsAgree(C.W1, C.H1, C.W2, C.H2), C.Agree);
}

INSTANTIATE_TEST_SUITE_P(Table, Proportions,
                         ::testing::Values(TProportionCase{800, 600, 400, 300, true},
                                           TProportionCase{800, 600, 640, 481, true},
                                           TProportionCase{800, 600, 640, 490, false},
                                           TProportionCase{300, 300, 300, 301, true},
                                           TProportionCase{400, 300, 300, 400, false},
                                           TProportionCase{1600, 1200, 2000, 1500, true}));

// ScaledPicture against the area mean written out pixel by pixel: the
// weight of source row j in target row y is the rounded cumulative overlap
// up to its end less that up to its start, in 1/4096 of the target's span.
uint32_t Cumulative(uint64_t Part, uint64_t Whole) { return uint32_t((Part * 8192 + Whole) / (Whole * 2)); }

uint32_t OverlapWeight(int Target, int Source, int T, int S)
{
    const uint64_t Lo = uint64_t(T) * Source, Hi = uint64_t(T + 1) * Source;
    const uint64_t From = std::max(Lo, uint64_t(S) * Target), To = std::min(Hi, uint64_t(S + 1) * Target);
    if (From >= To) return 0;
    return Cumulative(To - Lo, Source) - Cumulative(From - Lo, Source);
}

QImage AreaMean(const QImage& Source, int Width, int Height)
{
    QImage Result(Width, Height, QImage::Format_RGB888);
    for (int Y = 0; Y < Height; ++Y)
        for (int X = 0; X < Width; ++X)
            for (int C = 0; C < 3; ++C) {
                uint64_t Sum = 0;
                for (int J = 0; J < Source.height(); ++J) {
                    const uint32_t Wy = OverlapWeight(Height, Source.height(), Y, J);
                    for (int I = 0; Wy && I < Source.width(); ++I)
                        Sum += uint64_t(Wy) * OverlapWeight(Width, Source.width(), X, I) *
                               Source.constScanLine(J)[3 * I + C];
                }
                Result.scanLine(Y)[3 * X + C] = uchar((Sum + (1u << 23)) >> 24);
            }
    return Result;
}

struct TScaleCase {
    int Sw, Sh, Width, Height;
};

class ScaledPictureTest : public ::testing::TestWithParam<TScaleCase> {};

TEST_P(ScaledPictureTest, EqualsTheAreaMean)
{
    const TScaleCase& C = GetParam();
    const QImage Source = Noise(C.Sw, C.Sh, unsigned(C.Sw * 7 + C.Width));
    const QImage Scaled = ScaledPicture(Source, C.Width, C.Height);
    ASSERT_EQ(Scaled.size(), QSize(C.Width, C.Height));
    const QImage Expected = AreaMean(Source, C.Width, C.Height);
    for (int Y = 0; Y < C.Height; ++Y)
        ASSERT_EQ(0, std::memcmp(Scaled.constScanLine(Y), Expected.constScanLine(Y), size_t(C.Width) * 3)) << Y;
    // A single colour stays that colour: the weights sum to one exactly.
    EXPECT_EQ(ScaledPicture(Filled(C.Sw, C.Sh, QColor(127, 128, 255)), C.Width, C.Height),
              Filled(C.Width, C.Height, QColor(127, 128, 255)));
}

// Slightly smaller (two source pixels a target pixel), a third or less
// (several), larger, larger one way and smaller the other, rows shorter
// than the eight-byte steps.
INSTANTIATE_TEST_SUITE_P(Sizes, ScaledPictureTest,
                         ::testing::Values(TScaleCase{163, 122, 160, 120}, TScaleCase{97, 61, 31, 19},
                                           TScaleCase{40, 30, 97, 73}, TScaleCase{60, 60, 59, 61},
                                           TScaleCase{2, 2, 1, 1}, TScaleCase{3, 50, 2, 17},
                                           TScaleCase{250, 4, 9, 3}, TScaleCase{17, 13, 17, 13}));

class Similarity : public TPictureTemp {};

TEST_F(Similarity, CopiesAndNegatives)
{
    const QImage Picture = Noise(150, 120, 11);
    const std::string Png = Save("a.png", Picture), Bmp = Save("a.bmp", Picture, "BMP");
    EXPECT_EQ(PictureSimilarity(Png, Bmp), 100.0);
    EXPECT_EQ(PictureSimilarity(Png, Png), 100.0);
    EXPECT_EQ(PictureSimilarity(Png, Save("n.png", Negative(Picture))), 0.0);
}

TEST_F(Similarity, MissingOrUnreadableGivesZero)
{
    const std::string Png = Save("a.png", Noise(20, 20, 1));
    EXPECT_EQ(PictureSimilarity(Png, Path("missing.png")), 0.0);
    EXPECT_EQ(PictureSimilarity(Path("missing.png"), Png), 0.0);
    EXPECT_EQ(PictureSimilarity(Png, Make("short.png", "\x89")), 0.0);
    EXPECT_EQ(PictureSimilarity(Make("empty.jpg", ""), Png), 0.0);
    EXPECT_EQ(PictureSimilarity(Png, Dir.path().toStdString()), 0.0);
}

// The wider is scaled to the other's size, whichever comes first; with equal
// widths the second takes the first's size.
TEST_F(Similarity, ScalesTheWiderDown)
{
    const QImage Big = Noise(240, 180, 21);
    const QImage Small = ScaledPicture(Big, 120, 90);
    const std::string BigPath = Save("big.png", Big), SmallPath = Save("small.png", Small);
    EXPECT_EQ(PictureSimilarity(BigPath, SmallPath), 100.0);
    EXPECT_EQ(PictureSimilarity(SmallPath, BigPath), 100.0);
    EXPECT_EQ(PictureSimilarity(BigPath, Save("odd.png", Noise(240, 100, 2))), 0.0); // proportions differ

    const QImage Square = Noise(300, 300, 8), Taller = Noise(300, 301, 9);
    const double Expected = CompareBitmaps(Square, ScaledPicture(Taller, 300, 300));
    EXPECT_EQ(PictureSimilarity(Save("sq.png", Square), Save("tall.png", Taller)), Expected);
    EXPECT_EQ(PictureSimilarity(Path("tall.png"), Path("sq.png")), CompareBitmaps(ScaledPicture(Square, 300, 301), Taller));
}

// Figures for a photo-like picture and its copies (printed for the record).
TEST(SampleFigures, PhotoCopies)
{
    const std::string Photo = Sample("photo.png");
    const double Q90 = PictureSimilarity(Photo, Sample("photo_q90.jpg"));
    const double Q75 = PictureSimilarity(Photo, Sample("photo_q75.jpg"));
    const double Q50 = PictureSimilarity(Photo, Sample("photo_q50.jpg"));
    const double Half = PictureSimilarity(Photo, Sample("photo_half.png"));
    const double HalfReverse = PictureSimilarity(Sample("photo_half.png"), Photo);
    std::printf("photo.png against: q90 %.2f, q75 %.2f, q50 %.2f, half size %.2f (reversed %.2f)\n", Q90, Q75, Q50,
                Half, HalfReverse);
    EXPECT_EQ(PictureSimilarity(Photo, Sample("photo.bmp")), 100.0);
    EXPECT_EQ(PictureSimilarity(Photo, Sample("photo_negative.png")), 0.0);
    EXPECT_GT(Q90, 90.0);
    EXPECT_GT(Q50, 80.0);
    EXPECT_GE(Q90, Q50);
    EXPECT_GT(Half, 80.0);
    EXPECT_EQ(Half, HalfReverse);
}

// ---- the scan's comparer equals the reference wherever it reaches the threshold

class ComparerTest : public TPictureTemp {
protected:
    std::vector<std::string> Paths;

    void SetUp() override
    {
        // Near copies with a known number of flipped pixels, other sizes of
        // one proportion, other proportions, tiny and unreadable files.
        const QImage Base = Noise(160, 120, 42);
        Paths.push_back(Save("base.png", Base));
        for (int Flips : {1, 50, 300, 1200, 4000}) {
            QImage Copy = Base;
            unsigned State = unsigned(Flips);
            for (int I = 0; I < Flips; ++I) {
                State = State * 1103515245u + 12345u;
                const int X = int(State >> 8) % 160, Y = int(State >> 20) % 120;
                const QColor Old = Copy.pixelColor(X, Y);
                Copy.setPixelColor(X, Y, QColor(255 - Old.red(), 255 - Old.green(), 255 - Old.blue()));
            }
            Paths.push_back(Save("flip" + std::to_string(Flips) + ".png", Copy));
        }
        Paths.push_back(Save("half.png", ScaledPicture(Base, 80, 60)));
        Paths.push_back(Save("double.bmp", ScaledPicture(Base, 320, 240), "BMP"));
        Paths.push_back(Save("almost.png", ScaledPicture(Base, 161, 121)));
        Paths.push_back(Save("other.png", Noise(160, 90, 3)));
        // One size taller than the other: scaling shrinks one way, enlarges the other.
        const QImage Square = Noise(300, 300, 77);
        Paths.push_back(Save("square.png", Square));
        Paths.push_back(Save("square_tall.png", ScaledPicture(Square, 300, 301)));
        Paths.push_back(Save("small.png", Noise(40, 30, 4)));
        Paths.push_back(Save("negative.png", Negative(Base)));
        Paths.push_back(Save("line.png", Filled(160, 1, Qt::red)));
        Paths.push_back(Make("cut.png", ReadAll(Path("base.png")).substr(0, 500)));
        Paths.push_back(Make("photo.jpg", ReadAll(Sample("photo_q75.jpg"))));
        Paths.push_back(Make("photo.gif", ReadAll(Sample("photo.gif"))));
        Paths.push_back(Make("shapes.emf", ReadAll(Sample("shapes.emf"))));
        Paths.push_back(Make("shapes.wmf", ReadAll(Sample("shapes.wmf"))));
        Paths.push_back(Make("icon.ico", ReadAll(Sample("icon.ico"))));
        Paths.push_back(Save("icon_big.png", ScaledPicture(QImage(QString::fromStdString(Sample("icon.ico"))), 96, 96)));
        Paths.push_back(Path("missing.png"));
    }

    void ExpectSameAsReference(TPictureComparer& Comparer, const std::vector<double>& Thresholds)
    {
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

TEST_F(ComparerTest, SameResultWhereverTheThresholdIsReached)
{
    TPictureComparer Comparer;
    ExpectSameAsReference(Comparer, {0.0, 50.0, 90.0, 99.0, 100.0});
    EXPECT_GT(Comparer.Stats().EarlyStops, 0);
}

// A cap smaller than one picture evicts all the time and changes nothing.
TEST_F(ComparerTest, TinyMemoryCapGivesTheSameResults)
{
    TPictureComparer Comparer(1);
    ExpectSameAsReference(Comparer, {0.0, 90.0});
    EXPECT_GT(Comparer.Stats().Evictions, 0);
}

// Thresholds at, just above and just below each exact value.
TEST_F(ComparerTest, ThresholdsAtTheExactValue)
{
    TPictureComparer Comparer;
    for (const std::string& B : Paths) {
        const double Reference = PictureSimilarity(Paths[0], B);
        EXPECT_EQ(Comparer.Similarity(Paths[0], B, Reference), Reference) << B;
        EXPECT_EQ(Comparer.Similarity(Paths[0], B, std::nextafter(Reference, -1.0)), Reference) << B;
        EXPECT_LT(Comparer.Similarity(Paths[0], B, std::nextafter(Reference, 200.0)), std::nextafter(Reference, 200.0))
            << B;
    }
}

TEST_F(ComparerTest, DecodesEachPictureOnce)
{
    TPictureComparer Comparer;
    for (int Round = 0; Round < 3; ++Round)
        for (size_t I = 1; I <= 5; ++I) Comparer.Similarity(Paths[0], Paths[I], 90.0);
    EXPECT_EQ(Comparer.Stats().Decodes, 6);
}

} // namespace

CORVANE_PICTURE_TEST_MAIN
