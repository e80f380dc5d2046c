#include "finder/pictures/PictureSimilarity.h"

#include "finder/pictures/PictureLoader.h"

#include <QImage>

#include <bit>
#include <cmath>
#include <cstring>
#include <list>
#include <mutex>
#include <atomic>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

#include <immintrin.h>

namespace {

bool FileExists(const std::string& Path)
{
    struct stat Info;
    return ::stat(Path.c_str(), &Info) == 0 && S_ISREG(Info.st_mode);
}

inline int ColourClass(uint8_t Value) { return Value < 128 ? 0 : 255; }

QImage As24Bit(const QImage& Picture)
{
    return Picture.format() == QImage::Format_RGB888 ? Picture : Picture.convertToFormat(QImage::Format_RGB888);
}

// The grid of the cross: cw = ceil(W / 3), ch = ceil(H / 3).
int GridCell(int Length) { return (Length + 2) / 3; }

bool ComparesWhole(int Width, int Height) { return Width < 100 && Height < 100; }

// Read before any scan; the CPU model is filled in first, whatever the
// order of static initialisation.
const bool kHaveAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();

} // namespace

bool SameColourClass(uint8_t Red1, uint8_t Green1, uint8_t Blue1, uint8_t Red2, uint8_t Green2, uint8_t Blue2)
{
    return ColourClass(Red1) == ColourClass(Red2) && ColourClass(Green1) == ColourClass(Green2) &&
           ColourClass(Blue1) == ColourClass(Blue2);
}

double CompareBitmaps(const QImage& FirstPicture, const QImage& SecondPicture, TPixelCounts* Counts)
{
    const QImage First = As24Bit(FirstPicture), Second = As24Bit(SecondPicture);
    const int Width = First.width(), Height = First.height();
    double Matched = 0.0, Compared = 0.0;
    auto CompareRow = [&](int Y, int FromX, int ToX) {
        const uchar* A = First.constScanLine(Y);
        const uchar* B = Second.constScanLine(Y);
        for (int X = FromX; X < ToX; ++X) {
            // Format_RGB888 keeps red, green, blue in that order.
            if (SameColourClass(A[3 * X], A[3 * X + 1], A[3 * X + 2], B[3 * X], B[3 * X + 1], B[3 * X + 2]))
                Matched += 1.0;
            Compared += 1.0;
        }
    };
    if (Second.width() == Width && Second.height() == Height && Width > 0 && Height > 0) {
        if (ComparesWhole(Width, Height)) {
            for (int Y = 0; Y < Height; ++Y) CompareRow(Y, 0, Width);
        } else {
            const int Cw = GridCell(Width), Ch = GridCell(Height);
            for (int Y = 0; Y < Height; ++Y) {
                if (Y < Ch || Y >= 2 * Ch)
                    CompareRow(Y, Cw, std::min(2 * Cw, Width));
                else
                    CompareRow(Y, 0, Width);
            }
        }
    }
    if (Counts) *Counts = {Matched, Compared};
    // Nothing compared (mismatched sizes) is no likeness, never a division by 0.
    return Compared > 0.0 ? Matched / Compared * 100.0 : 0.0;
}

bool ProportionsAgree(int FirstWidth, int FirstHeight, int SecondWidth, int SecondHeight)
{
    if (FirstWidth <= 0 || FirstHeight <= 0) return false;
    // Both ratios are rounded to two decimals: 800 x 600 and 640 x 481 agree
    // (0.80 and 0.80), 800 x 600 and 640 x 490 do not (0.80 and 0.82).
    const double WidthRatio = double(SecondWidth) / double(FirstWidth);
    const double HeightRatio = double(SecondHeight) / double(FirstHeight);
    return std::llround(WidthRatio * 100.0) == std::llround(HeightRatio * 100.0);
}

namespace {

// Weights in 1/4096: cumulative rounding makes each set sum to exactly 4096.
constexpr uint32_t kWeightOne = 4096;

inline uint32_t CumulativeWeight(uint64_t Part, uint64_t Whole)
{
    return uint32_t((Part * kWeightOne * 2 + Whole) / (Whole * 2));
}

// The source pixels each target pixel covers along one axis: target t takes
// source pixels First[t], First[t] + 1, ... with the weights
// Weights[Offset[t]] ... Weights[Offset[t + 1] - 1]. Target pixel t spans
// [t * Source, (t + 1) * Source) and source pixel i spans
// [i * Target, (i + 1) * Target), so every overlap is a whole number.
struct TTaps {
    std::vector<uint32_t> First, Offset, Weights;
    size_t MostTaps = 0; // 2 for enlarging, 3 for shrinking by less than half
};

TTaps MakeTaps(int Source, int Target)
{
    TTaps T;
    T.First.resize(size_t(Target));
    T.Offset.resize(size_t(Target) + 1);
    T.Weights.reserve(size_t(Source) + size_t(Target) * 2);
    for (int X = 0; X < Target; ++X) {
        const uint64_t Lo = uint64_t(X) * uint64_t(Source), Hi = uint64_t(X + 1) * uint64_t(Source);
        uint64_t I = Lo / uint64_t(Target);
        T.First[size_t(X)] = uint32_t(I);
        T.Offset[size_t(X)] = uint32_t(T.Weights.size());
        uint32_t Before = 0;
        for (; I * uint64_t(Target) < Hi; ++I) {
            const uint64_t To = std::min(Hi, (I + 1) * uint64_t(Target));
            const uint32_t Upto = CumulativeWeight(To - Lo, uint64_t(Source));
            T.Weights.push_back(Upto - Before);
            Before = Upto;
        }
        T.MostTaps = std::max(T.MostTaps, T.Weights.size() - T.Offset[size_t(X)]);
    }
    T.Offset[size_t(Target)] = uint32_t(T.Weights.size());
    return T;
}

// Column[K] = the sum of Weights[R] * Rows[R][K] for K in From..To-1: at
// most 4096 * 255.
void SumRowsPlain(uint32_t* __restrict Column, const uchar* const* Rows, const uint32_t* Weights, size_t Count,
                  size_t From, size_t To)
{
    for (size_t K = From; K < To; ++K) Column[K] = Weights[0] * Rows[0][K];
    for (size_t R = 1; R < Count; ++R) {
        const uchar* Row = Rows[R];
        const uint32_t Weight = Weights[R];
        for (size_t K = From; K < To; ++K) Column[K] += Weight * Row[K];
    }
}

// The same, eight bytes at a time.
__attribute__((target("avx2"))) void SumRowsAvx2(uint32_t* Column, const uchar* const* Rows, const uint32_t* Weights,
                                                 size_t Count, size_t From, size_t To)
{
    size_t K = From;
    for (; K + 8 <= To; K += 8) {
        __m256i Sum = _mm256_setzero_si256();
        for (size_t R = 0; R < Count; ++R) {
            const __m256i Bytes = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(Rows[R] + K)));
            Sum = _mm256_add_epi32(Sum, _mm256_mullo_epi32(Bytes, _mm256_set1_epi32(int(Weights[R]))));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(Column + K), Sum);
    }
    if (K < To) SumRowsPlain(Column, Rows, Weights, Count, K, To);
}

// With at most three source pixels a target pixel: its source offset in
// Column and the three weights (missing taps have weight 0 and read the
// pixels that follow; Column has room for them past the last source pixel).
struct TThreeTaps {
    uint32_t Base, W0, W1, W2;
};
static_assert(sizeof(TThreeTaps) == 16, "read as one 128-bit lane set");

// Target pixels From..To-1 of one row from the column sums.
void SpreadRowPlain(const uint32_t* __restrict Column, const TThreeTaps* Taps, uchar* __restrict Out, size_t From,
                    size_t To)
{
    for (size_t X = From; X < To; ++X) {
        const uint32_t* P = Column + Taps[X].Base;
        const uint32_t A = Taps[X].W0, B = Taps[X].W1, D = Taps[X].W2;
        Out[3 * X] = uchar((A * P[0] + B * P[3] + D * P[6] + (1u << 23)) >> 24);
        Out[3 * X + 1] = uchar((A * P[1] + B * P[4] + D * P[7] + (1u << 23)) >> 24);
        Out[3 * X + 2] = uchar((A * P[2] + B * P[5] + D * P[8] + (1u << 23)) >> 24);
    }
}

// The same with the three channels of a pixel side by side; each pixel
// writes a fourth byte that the next one overwrites (Out has room for the
// last), and reads a tenth column sum (Column has room for it).
__attribute__((target("avx2"))) void SpreadRowAvx2(const uint32_t* Column, const TThreeTaps* Taps, uchar* Out,
                                                   size_t From, size_t To)
{
    const __m128i Half = _mm_set1_epi32(1 << 23);
    const __m128i LowBytes = _mm_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    for (size_t X = From; X < To; ++X) {
        const __m128i Tap = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Taps + X));
        const uint32_t* P = Column + Taps[X].Base;
        __m128i Sum = _mm_add_epi32(Half, _mm_mullo_epi32(_mm_shuffle_epi32(Tap, 0x55),
                                                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(P))));
        Sum = _mm_add_epi32(Sum, _mm_mullo_epi32(_mm_shuffle_epi32(Tap, 0xAA),
                                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 3))));
        Sum = _mm_add_epi32(Sum, _mm_mullo_epi32(_mm_shuffle_epi32(Tap, 0xFF),
                                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 6))));
        const int Bytes = _mm_cvtsi128_si32(_mm_shuffle_epi8(_mm_srli_epi32(Sum, 24), LowBytes));
        std::memcpy(Out + 3 * X, &Bytes, sizeof Bytes);
    }
}

// Area averaging: each target pixel is the weighted mean of the source area
// it covers, the overlaps as 12-bit weights. Each target row first sums the
// source rows it covers (per source byte, at most 4096 * 255), then each
// target pixel the source columns it covers (at most 4096 * 4096 * 255, so
// the sums stay in 32 bits); integer sums are exact, so the order of the two
// passes does not change a value. A target pixel's value depends only on its
// own source area, so computing some pixels (CrossOnly: the compared cross)
// gives them the same values as computing all. Works for enlarging as well.
// Row(Y, Bytes, From, To) receives each target row: pixel X at Bytes + 3 * X,
// pixels From..To-1 computed.
template <class TRowSink>
void AreaScale(const QImage& Picture, int Width, int Height, bool CrossOnly, TRowSink&& Row)
{
    const QImage Source = As24Bit(Picture);
    const int Sw = Source.width(), Sh = Source.height();
    if (Width <= 0 || Height <= 0 || Sw <= 0 || Sh <= 0) return;
    const TTaps Across = MakeTaps(Sw, Width), Down = MakeTaps(Sh, Height);
    const bool ThreeTaps = Across.MostTaps <= 3;
    std::vector<TThreeTaps> Taps;
    if (ThreeTaps) {
        Taps.resize(size_t(Width));
        for (size_t X = 0; X < size_t(Width); ++X) {
            const uint32_t* W = Across.Weights.data() + Across.Offset[X];
            const uint32_t Count = Across.Offset[X + 1] - Across.Offset[X];
            Taps[X] = {3 * Across.First[X], W[0], Count > 1 ? W[1] : 0, Count > 2 ? W[2] : 0};
        }
    }
    const bool Cross = CrossOnly && !ComparesWhole(Width, Height);
    const int Cw = GridCell(Width), Ch = GridCell(Height);
    std::vector<uint32_t> Column(size_t(Sw) * 3 + 7, 0);
    std::vector<uchar> Out(size_t(Width) * 3 + 1);
    const auto SpreadRow = kHaveAvx2 ? SpreadRowAvx2 : SpreadRowPlain;
    std::vector<const uchar*> Rows;
    const auto SumRows = kHaveAvx2 ? SumRowsAvx2 : SumRowsPlain;
    for (int Y = 0; Y < Height; ++Y) {
        int From = 0, To = Width;
        if (Cross && (Y < Ch || Y >= 2 * Ch)) From = Cw, To = std::min(2 * Cw, Width);
        if (From >= To) continue;
        const uint32_t FirstRow = Down.First[size_t(Y)];
        const uint32_t* RowWeights = Down.Weights.data() + Down.Offset[size_t(Y)];
        const size_t RowCount = Down.Offset[size_t(Y) + 1] - Down.Offset[size_t(Y)];
        Rows.resize(RowCount);
        for (size_t R = 0; R < RowCount; ++R) Rows[R] = Source.constScanLine(int(FirstRow + R));
        // Only the source columns the row's pixels cover.
        const size_t SourceFrom = Across.First[size_t(From)];
        const size_t SourceTo = Across.First[size_t(To) - 1] + (Across.Offset[size_t(To)] - Across.Offset[size_t(To) - 1]);
        SumRows(Column.data(), Rows.data(), RowWeights, RowCount, 3 * SourceFrom, 3 * SourceTo);
        const uint32_t* __restrict C = Column.data();
        uchar* __restrict O = Out.data();
        if (ThreeTaps) {
            SpreadRow(C, Taps.data(), O, size_t(From), size_t(To));
        } else {
            for (size_t X = size_t(From); X < size_t(To); ++X) {
                const uint32_t* P = C + 3 * size_t(Across.First[X]);
                uint32_t R = 1u << 23, G = 1u << 23, B = 1u << 23;
                for (uint32_t K = Across.Offset[X]; K < Across.Offset[X + 1]; ++K, P += 3) {
                    const uint32_t W = Across.Weights[K];
                    R += W * P[0], G += W * P[1], B += W * P[2];
                }
                O[3 * X] = uchar(R >> 24), O[3 * X + 1] = uchar(G >> 24), O[3 * X + 2] = uchar(B >> 24);
            }
        }
        Row(Y, static_cast<const uchar*>(O), From, To);
    }
}

} // namespace

QImage ScaledPicture(const QImage& Picture, int Width, int Height)
{
    QImage Result(std::max(Width, 0), std::max(Height, 0), QImage::Format_RGB888);
    if (Result.isNull()) return Result;
    Result.fill(0);
    AreaScale(Picture, Width, Height, false, [&](int Y, const uchar* Bytes, int From, int To) {
        std::memcpy(Result.scanLine(Y) + 3 * From, Bytes + 3 * From, size_t(To - From) * 3);
    });
    return Result;
}

double PictureSimilarity(const std::string& FirstPath, const std::string& SecondPath)
{
    if (!FileExists(FirstPath) || !FileExists(SecondPath)) return 0.0;
    QImage First, Second;
    // Both loads run, as the second may be the one that fails.
    const bool FirstLoaded = LoadPicture(FirstPath, First);
    const bool SecondLoaded = LoadPicture(SecondPath, Second);
    if (!FirstLoaded || !SecondLoaded) return 0.0;
    if (First.size() == Second.size()) return CompareBitmaps(First, Second);
    if (!ProportionsAgree(First.width(), First.height(), Second.width(), Second.height())) return 0.0;
    if (First.width() > Second.width())
        First = ScaledPicture(First, Second.width(), Second.height());
    else
        Second = ScaledPicture(Second, First.width(), First.height());
    return CompareBitmaps(First, Second);
}

// ---- TPictureComparer ------------------------------------------------------
//
// Each picture is decoded once; its colour classes over the compared pixels
// (the whole picture or the cross) are packed 3 bits a pixel, 21 pixels a
// 64-bit word, in the walk order of CompareBitmaps. Two pictures of one size
// walk the same positions, so word i of one lines up with word i of the
// other. A picture scaled for a partner of another size is kept under its
// own key (path and size), made by the same area averaging as
// ScaledPicture from the same decode (only the cross is computed and it is
// packed row by row as it comes), so every count equals CompareBitmaps'
// count.

namespace {

constexpr int kPixelsPerWord = 21;
constexpr uint64_t kTripletLowBits = 0x1249249249249249ULL; // bits 0, 3, ..., 60

// Per run of kBlockWords words (1092 pixels of the walk), how many pixels
// fall in each of the 8 colour classes. Two pictures can match in a run at
// most the sum over classes of the smaller count, so these alone bound the
// result from above; most pairs that cannot reach the threshold are told
// apart without reading their pixels.
constexpr size_t kBlockWords = 52;

struct TClasses {
    std::vector<uint64_t> Words;
    std::vector<uint16_t> Histograms; // 8 counts per block
    uint64_t Pixels = 0;
    size_t Bytes() const { return Words.size() * sizeof(uint64_t) + Histograms.size() * sizeof(uint16_t) + 128; }
};

uint64_t MatchBoundPlain(const uint16_t* Ha, const uint16_t* Hb, size_t From, size_t To)
{
    uint64_t Bound = 0;
    for (size_t I = From; I < To; ++I) Bound += std::min(Ha[I], Hb[I]);
    return Bound;
}

// Sixteen counts at a time; a count is at most 1092, so pairs of minimums
// add up in 32-bit lanes without overflow for any picture size allowed.
__attribute__((target("avx2"))) uint64_t MatchBoundAvx2(const uint16_t* Ha, const uint16_t* Hb, size_t Count)
{
    size_t I = 0;
    uint64_t Bound = 0;
    const __m256i Ones = _mm256_set1_epi16(1);
    while (I + 16 <= Count) {
        // At most 2^16 rounds into one set of lanes (2 * 1092 * 2^16 < 2^31).
        __m256i Sums = _mm256_setzero_si256();
        for (size_t Rounds = 0; Rounds < 65536 && I + 16 <= Count; ++Rounds, I += 16) {
            const __m256i A = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Ha + I));
            const __m256i B = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(Hb + I));
            Sums = _mm256_add_epi32(Sums, _mm256_madd_epi16(_mm256_min_epu16(A, B), Ones));
        }
        alignas(32) uint32_t Lanes[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(Lanes), Sums);
        for (uint32_t Lane : Lanes) Bound += Lane;
    }
    return Bound + MatchBoundPlain(Ha, Hb, I, Count);
}

// The sum of the per-block, per-class minimums: no pair matches more.
uint64_t MatchBound(const std::vector<uint16_t>& A, const std::vector<uint16_t>& B)
{
    const size_t Count = std::min(A.size(), B.size());
    return kHaveAvx2 ? MatchBoundAvx2(A.data(), B.data(), Count) : MatchBoundPlain(A.data(), B.data(), 0, Count);
}

__attribute__((target("popcnt"))) uint64_t MismatchesPopcnt(const uint64_t* Wa, const uint64_t* Wb, size_t From,
                                                            size_t To)
{
    uint64_t Count = 0;
    for (size_t I = From; I < To; ++I) {
        const uint64_t X = Wa[I] ^ Wb[I];
        Count += uint64_t(__builtin_popcountll((X | X >> 1 | X >> 2) & kTripletLowBits));
    }
    return Count;
}

uint64_t MismatchesPortable(const uint64_t* Wa, const uint64_t* Wb, size_t From, size_t To)
{
    uint64_t Count = 0;
    for (size_t I = From; I < To; ++I) {
        const uint64_t X = Wa[I] ^ Wb[I];
        Count += uint64_t(std::popcount((X | X >> 1 | X >> 2) & kTripletLowBits));
    }
    return Count;
}

const bool kHavePopcnt = __builtin_cpu_supports("popcnt");

__attribute__((target("popcnt"))) uint64_t MismatchesAgainstPopcnt(const uint64_t* W, uint64_t Pattern, size_t From,
                                                                    size_t To)
{
    uint64_t Count = 0;
    for (size_t I = From; I < To; ++I) {
        const uint64_t X = W[I] ^ Pattern;
        Count += uint64_t(__builtin_popcountll((X | X >> 1 | X >> 2) & kTripletLowBits));
    }
    return Count;
}

uint64_t MismatchesAgainstPortable(const uint64_t* W, uint64_t Pattern, size_t From, size_t To)
{
    uint64_t Count = 0;
    for (size_t I = From; I < To; ++I) {
        const uint64_t X = W[I] ^ Pattern;
        Count += uint64_t(std::popcount((X | X >> 1 | X >> 2) & kTripletLowBits));
    }
    return Count;
}

// Pixels of words From..To-1 whose classes differ from the one class that
// Pattern repeats in every triplet.
inline uint64_t MismatchesAgainst(const uint64_t* W, uint64_t Pattern, size_t From, size_t To)
{
    return kHavePopcnt ? MismatchesAgainstPopcnt(W, Pattern, From, To) : MismatchesAgainstPortable(W, Pattern, From, To);
}

// Pixels of words From..To-1 whose colour classes differ.
inline uint64_t Mismatches(const uint64_t* Wa, const uint64_t* Wb, size_t From, size_t To)
{
    return kHavePopcnt ? MismatchesPopcnt(Wa, Wb, From, To) : MismatchesPortable(Wa, Wb, From, To);
}

// Class counts per block, from the packed words: a triplet equals class C
// where the word xor C-in-every-triplet has a zero triplet. The unused
// triplets of the last word read as class 0 and are taken off again.
void FillHistograms(TClasses& Classes)
{
    const size_t Words = Classes.Words.size();
    const size_t Blocks = (Words + kBlockWords - 1) / kBlockWords;
    Classes.Histograms.assign(Blocks * 8, 0);
    for (size_t Block = 0; Block < Blocks; ++Block) {
        const size_t From = Block * kBlockWords, To = std::min(Words, From + kBlockWords);
        for (uint64_t Class = 0; Class < 8; ++Class) {
            const uint64_t Pattern = Class * kTripletLowBits;
            const uint64_t Differ = MismatchesAgainst(Classes.Words.data(), Pattern, From, To);
            Classes.Histograms[Block * 8 + Class] = uint16_t((To - From) * kPixelsPerWord - Differ);
        }
    }
    if (Blocks) Classes.Histograms[(Blocks - 1) * 8] -= uint16_t(Words * kPixelsPerWord - Classes.Pixels);
}

// The walk of a Width x Height picture: every pixel below 100 x 100, else
// the cross; From..To-1 are the compared columns of row Y.
struct TWalk {
    bool Whole;
    int Width, Cw, Ch;
    TWalk(int W, int H) : Whole(ComparesWhole(W, H)), Width(W), Cw(GridCell(W)), Ch(GridCell(H)) {}
    void Columns(int Y, int& From, int& To) const
    {
        From = 0, To = Width;
        if (!Whole && (Y < Ch || Y >= 2 * Ch)) From = Cw, To = std::min(2 * Cw, Width);
    }
    static uint64_t Pixels(int W, int H)
    {
        const TWalk Walk(W, H);
        if (Walk.Whole) return uint64_t(W) * uint64_t(H);
        return uint64_t(Walk.Ch) * uint64_t(W) +
               uint64_t(H - Walk.Ch) * uint64_t(std::max(0, std::min(2 * Walk.Cw, W) - Walk.Cw));
    }
};

// Packs pixels given as red, green, blue bytes in walk order. The top bit
// of every byte is its channel's class; eight bytes give eight bits at once,
// a stream of red, green, blue bits per pixel that is cut into 63-bit words
// (21 pixels) with each triplet turned round (red the high bit).
class TClassPacker {
public:
    explicit TClassPacker(TClasses& Into) : FWords(Into.Words) {}

    void Append(const uchar* Bytes, size_t Pixels)
    {
        const size_t Count = Pixels * 3;
        size_t K = 0;
        for (; K + 64 <= Count; K += 64) {
            uint64_t Bits = 0;
            for (int Part = 0; Part < 8; ++Part) Bits |= TopBits(Bytes + K + 8 * Part) << (8 * Part);
            Push(Bits, 64);
        }
        for (; K + 8 <= Count; K += 8) Push(TopBits(Bytes + K), 8);
        for (; K < Count; ++K) Push(uint64_t(Bytes[K] >> 7), 1);
    }

    void Finish()
    {
        if (FFill) Emit(uint64_t(FStream));
        FStream = 0, FFill = 0;
    }

private:
    static constexpr uint64_t kLow = kTripletLowBits;
    std::vector<uint64_t>& FWords;
    unsigned __int128 FStream = 0;
    unsigned FFill = 0; // bits in FStream, below 63 between calls

    // The top bit of byte i of the eight as bit i.
    static uint64_t TopBits(const uchar* Eight)
    {
        // Little-endian byte order: byte i of the word is Eight[i].
        static_assert(std::endian::native == std::endian::little);
        uint64_t Word;
        std::memcpy(&Word, Eight, sizeof Word);
        return ((Word & 0x8080808080808080ULL) * 0x0002040810204081ULL) >> 56;
    }

    void Push(uint64_t Bits, unsigned Count) // Count up to 64
    {
        FStream |= static_cast<unsigned __int128>(Bits) << FFill;
        FFill += Count;
        while (FFill >= 63) {
            Emit(uint64_t(FStream) & ((uint64_t(1) << 63) - 1));
            FStream >>= 63;
            FFill -= 63;
        }
    }

    void Emit(uint64_t Stream) { FWords.push_back((Stream & kLow << 1) | (Stream & kLow) << 2 | (Stream >> 2 & kLow)); }
};

std::shared_ptr<TClasses> PackClasses(const QImage& Picture)
{
    auto Result = std::make_shared<TClasses>();
    const int Width = Picture.width(), Height = Picture.height();
    const TWalk Walk(Width, Height);
    Result->Pixels = TWalk::Pixels(Width, Height);
    Result->Words.reserve(size_t((Result->Pixels + kPixelsPerWord - 1) / kPixelsPerWord));
    TClassPacker Packer(*Result);
    for (int Y = 0; Y < Height; ++Y) {
        int From, To;
        Walk.Columns(Y, From, To);
        if (From < To) Packer.Append(Picture.constScanLine(Y) + 3 * From, size_t(To - From));
    }
    Packer.Finish();
    FillHistograms(*Result);
    return Result;
}

// The classes of the picture scaled to Width x Height, computed over the
// cross alone and packed as they come.
std::shared_ptr<TClasses> PackScaledClasses(const QImage& Picture, int Width, int Height)
{
    auto Result = std::make_shared<TClasses>();
    Result->Pixels = TWalk::Pixels(Width, Height);
    Result->Words.reserve(size_t((Result->Pixels + kPixelsPerWord - 1) / kPixelsPerWord));
    TClassPacker Packer(*Result);
    AreaScale(Picture, Width, Height, true, [&](int, const uchar* Bytes, int From, int To) {
        Packer.Append(Bytes + 3 * From, size_t(To - From));
    });
    Packer.Finish();
    // A picture that gave no rows (never one that was decoded) compares as
    // nothing rather than as an empty match.
    if (Result->Words.size() != size_t((Result->Pixels + kPixelsPerWord - 1) / kPixelsPerWord)) {
        Result->Words.clear();
        Result->Pixels = 0;
    }
    FillHistograms(*Result);
    return Result;
}

struct TInfo {
    bool Loadable = false; // a loaded type whose size, once known, is at least 2 x 2
    bool SizeKnown = false;
    int Width = 0;
    int Height = 0;
};

} // namespace

struct TPictureComparer::Impl {
    // Everything below is shared by the matching thread and the threads that
    // prepare pictures ahead of it, and guarded by M; the reading, decoding
    // and packing happen outside it.
    std::mutex M;
    size_t Cap;
    TPictureComparerStats Stats;
    std::unordered_map<std::string, TInfo> Infos;
    // Two kinds of entry, evicted differently. A scan compares every new
    // picture with every group's first picture in the same order, a cycle
    // that defeats "least recently used": once the cache overflows, each
    // entry would be evicted just before it is needed again. Pictures at
    // their own size therefore stay in the order they came and the newest
    // goes first, so the oldest groups stay cached; scaled copies, needed
    // only by partners of another size, go before any of them, least
    // recently used first.
    struct TEntry {
        std::shared_ptr<TClasses> Classes;
        std::list<std::string>::iterator Place;
        bool Native;
    };
    std::unordered_map<std::string, TEntry> Cache;
    std::list<std::string> Natives; // in the order they came
    std::list<std::string> Scaled;  // least recently used first
    // The picture last compared as the second of a pair: the matcher holds
    // one candidate against every group in turn, so it stays while the
    // groups' pictures come and go.
    std::shared_ptr<TClasses> Candidate;
    // The class counts of every picture built, kept whatever the cap: they
    // are a twentieth of the packed classes and settle most comparisons, so
    // a picture evicted from the cache is decoded again only for a pair
    // that may reach the threshold.
    struct TSummary {
        std::vector<uint16_t> Histograms;
        uint64_t Pixels;
    };
    std::unordered_map<std::string, TSummary> Summaries;
    size_t Used = 0;
    const uint64_t Id = NextId();

    static uint64_t NextId()
    {
        static std::atomic<uint64_t> Last{0};
        return ++Last;
    }

    // One decoder per thread: the last full decode stays, so a picture
    // scaled for partners of several sizes is decoded once, not once a size.
    struct TDecoder {
        uint64_t Owner = 0;
        std::string Path;
        QImage Picture;
    };
    static TDecoder& Decoder()
    {
        thread_local TDecoder D;
        return D;
    }
    void ForgetDecode()
    {
        TDecoder& D = Decoder();
        if (D.Owner == Id) D = TDecoder();
    }

    // Whether the file exists, its type and its size are read once a scan: a
    // stat for every pair would cost more than comparing most pairs.
    TInfo Info(const std::string& Path)
    {
        {
            std::lock_guard<std::mutex> Lock(M);
            auto Found = Infos.find(Path);
            if (Found != Infos.end()) return Found->second;
        }
        TInfo Result;
        const int Type = FileExists(Path) ? PictureFileType(Path) : 0;
        Result.Loadable = IsLoadedPictureType(Type);
        const bool FromHeader = Result.Loadable && ReadPictureSize(Path, Type, Result.Width, Result.Height);
        if (FromHeader) {
            Result.SizeKnown = true;
            if (Result.Width < 2 || Result.Height < 2) Result.Loadable = false;
        }
        std::lock_guard<std::mutex> Lock(M);
        auto [It, Fresh] = Infos.try_emplace(Path, Result);
        if (Fresh && FromHeader) ++Stats.HeaderReads;
        return It->second;
    }
    void Learn(const std::string& Path, const TInfo& Info)
    {
        std::lock_guard<std::mutex> Lock(M);
        Infos[Path] = Info;
    }

    // The full decode; a failure marks the picture as one that cannot load.
    const QImage* Decode(const std::string& Path, TInfo& Info)
    {
        TDecoder& D = Decoder();
        if (D.Owner == Id && D.Path == Path && !D.Picture.isNull()) return &D.Picture;
        // Decoded over the previous picture's bitmap when the sizes agree.
        D.Owner = Id;
        D.Path.clear();
        {
            std::lock_guard<std::mutex> Lock(M);
            ++Stats.Decodes;
        }
        if (!LoadPicture(Path, D.Picture)) {
            Info.Loadable = false;
            Learn(Path, Info);
            return nullptr;
        }
        D.Path = Path;
        Info.SizeKnown = true;
        Info.Width = D.Picture.width();
        Info.Height = D.Picture.height();
        Learn(Path, Info);
        return &D.Picture;
    }

    static std::string Key(const std::string& Path, int Width, int Height)
    {
        return Path + '\0' + std::to_string(Width) + 'x' + std::to_string(Height);
    }

    // Evicts one unpinned entry of the list, from its front or its back.
    bool EvictFrom(std::list<std::string>& List, bool FromBack)
    {
        auto Evict = [&](std::list<std::string>::iterator Place) {
            auto Found = Cache.find(*Place);
            if (Found->second.Classes.use_count() > 1) return false; // in use by a comparison
            Used -= Found->second.Classes->Bytes();
            Cache.erase(Found);
            List.erase(Place);
            ++Stats.Evictions;
            return true;
        };
        if (FromBack) {
            for (auto Place = List.end(); Place != List.begin();)
                if (Evict(--Place)) return true;
        } else {
            for (auto Place = List.begin(); Place != List.end(); ++Place)
                if (Evict(Place)) return true;
        }
        return false;
    }

    // Under M. A picture another thread built meanwhile is kept instead.
    std::shared_ptr<TClasses> Insert(const std::string& Key, std::shared_ptr<TClasses> Classes, bool Native)
    {
        auto Found = Cache.find(Key);
        if (Found != Cache.end()) return Found->second.Classes;
        Summaries.try_emplace(Key, TSummary{Classes->Histograms, Classes->Pixels});
        if (!Native) ++Stats.Scalings;
        const size_t Bytes = Classes->Bytes();
        while (Used + Bytes > Cap && (EvictFrom(Scaled, false) || EvictFrom(Natives, true))) {
        }
        std::list<std::string>& List = Native ? Natives : Scaled;
        List.push_back(Key);
        Cache[Key] = {Classes, std::prev(List.end()), Native};
        Used += Bytes;
        Stats.PeakCacheBytes = std::max(Stats.PeakCacheBytes, Used);
        return Classes;
    }

    // Classes of the picture at Width x Height (its own size or scaled down).
    // Null when it cannot load, or when its decode showed another size than
    // its header (Info then holds the true size and the caller starts over).
    std::shared_ptr<TClasses> Classes(const std::string& Path, TInfo& Info, int Width, int Height, bool& SizeChanged)
    {
        const std::string K = Key(Path, Width, Height);
        {
            std::lock_guard<std::mutex> Lock(M);
            auto Found = Cache.find(K);
            if (Found != Cache.end()) {
                ++Stats.CacheHits;
                if (!Found->second.Native) Scaled.splice(Scaled.end(), Scaled, Found->second.Place);
                return Found->second.Classes;
            }
        }
        const int HeaderWidth = Info.Width, HeaderHeight = Info.Height;
        const QImage* Picture = Decode(Path, Info);
        if (!Picture) return nullptr;
        if (Picture->width() != HeaderWidth || Picture->height() != HeaderHeight) {
            SizeChanged = true;
            if (Info.Width < 2 || Info.Height < 2) {
                Info.Loadable = false;
                Learn(Path, Info);
            }
            return nullptr;
        }
        const bool Native = Picture->width() == Width && Picture->height() == Height;
        std::shared_ptr<TClasses> Result = Native ? PackClasses(*Picture) : PackScaledClasses(*Picture, Width, Height);
        std::lock_guard<std::mutex> Lock(M);
        return Insert(K, std::move(Result), Native);
    }

    // The upper bound of two summarised pictures' likeness, when both are.
    bool SummaryBound(const std::string& KeyA, const std::string& KeyB, double& Bound)
    {
        std::lock_guard<std::mutex> Lock(M);
        const auto A = Summaries.find(KeyA);
        const auto B = Summaries.find(KeyB);
        if (A == Summaries.end() || B == Summaries.end() || A->second.Pixels == 0 ||
            A->second.Pixels != B->second.Pixels)
            return false;
        Bound = double(MatchBound(A->second.Histograms, B->second.Histograms)) / double(A->second.Pixels) * 100.0;
        return true;
    }

    void Count(long long TPictureComparerStats::*Counter)
    {
        std::lock_guard<std::mutex> Lock(M);
        ++(Stats.*Counter);
    }

    // Counts mismatches in passes over cache-line blocks spread across the
    // whole picture (block p, p + 64, p + 128, ... in pass p), so that a pair
    // far apart is seen after reading a small sample of both, wherever in
    // the picture the differences lie.
    double Compare(const TClasses& A, const TClasses& B, double Threshold)
    {
        if (A.Pixels == 0 || B.Pixels != A.Pixels) return 0.0;
        const size_t Words = A.Words.size();
        const double Compared = double(A.Pixels);
        constexpr size_t kBlock = 8, kPasses = 64;
        const size_t Blocks = (Words + kBlock - 1) / kBlock;
        const double Bound = double(MatchBound(A.Histograms, B.Histograms)) / Compared * 100.0;
        if (Bound < Threshold) {
            Count(&TPictureComparerStats::EarlyStops);
            return Bound;
        }
        uint64_t Mismatched = 0;
        const uint64_t* Wa = A.Words.data();
        const uint64_t* Wb = B.Words.data();
        for (size_t Pass = 0; Pass < kPasses; ++Pass) {
            for (size_t Block = Pass; Block < Blocks; Block += kPasses)
                Mismatched += Mismatches(Wa, Wb, Block * kBlock, std::min(Words, (Block + 1) * kBlock));
            // The best that is still possible, in the same arithmetic as the
            // final result: it can only fall as more mismatches are found.
            const double Best = double(A.Pixels - Mismatched) / Compared * 100.0;
            if (Best < Threshold && Pass + 1 < kPasses) {
                Count(&TPictureComparerStats::EarlyStops);
                return Best;
            }
        }
        return double(A.Pixels - Mismatched) / Compared * 100.0;
    }
};

TPictureComparer::TPictureComparer(size_t MemoryCapBytes) : FImpl(std::make_unique<Impl>())
{
    FImpl->Cap = MemoryCapBytes;
}

TPictureComparer::~TPictureComparer() { FImpl->ForgetDecode(); }

TPictureComparerStats TPictureComparer::Stats() const
{
    std::lock_guard<std::mutex> Lock(FImpl->M);
    return FImpl->Stats;
}

double TPictureComparer::Similarity(const std::string& FirstPath, const std::string& SecondPath, double Threshold)
{
    Impl& I = *FImpl;
    I.Count(&TPictureComparerStats::Comparisons);
    TInfo First = I.Info(FirstPath);
    TInfo Second = I.Info(SecondPath);
    // A size learnt from a decode rather than the header takes one more round.
    for (int Round = 0; Round < 3; ++Round) {
        if (!First.Loadable || !Second.Loadable) return 0.0;
        if (!First.SizeKnown && !I.Decode(FirstPath, First)) return 0.0;
        if (!Second.SizeKnown && !I.Decode(SecondPath, Second)) return 0.0;
        if (First.Width < 2 || First.Height < 2 || Second.Width < 2 || Second.Height < 2) {
            First.Loadable = First.Loadable && First.Width >= 2 && First.Height >= 2;
            Second.Loadable = Second.Loadable && Second.Width >= 2 && Second.Height >= 2;
            I.Learn(FirstPath, First);
            I.Learn(SecondPath, Second);
            return 0.0;
        }
        int FirstWidth = First.Width, FirstHeight = First.Height;
        int SecondWidth = Second.Width, SecondHeight = Second.Height;
        if (FirstWidth != SecondWidth || FirstHeight != SecondHeight) {
            if (!ProportionsAgree(FirstWidth, FirstHeight, SecondWidth, SecondHeight)) return 0.0;
            if (FirstWidth > SecondWidth)
                FirstWidth = SecondWidth, FirstHeight = SecondHeight;
            else
                SecondWidth = FirstWidth, SecondHeight = FirstHeight;
        }
        // Both pictures summarised before: their class counts may settle it.
        double Bound = 0;
        if (I.SummaryBound(Impl::Key(FirstPath, FirstWidth, FirstHeight),
                           Impl::Key(SecondPath, SecondWidth, SecondHeight), Bound) &&
            Bound < Threshold) {
            I.Count(&TPictureComparerStats::EarlyStops);
            return Bound;
        }
        bool SizeChanged = false;
        std::shared_ptr<TClasses> A = I.Classes(FirstPath, First, FirstWidth, FirstHeight, SizeChanged);
        if (SizeChanged) continue;
        if (!A) return 0.0;
        std::shared_ptr<TClasses> B = I.Classes(SecondPath, Second, SecondWidth, SecondHeight, SizeChanged);
        if (SizeChanged) continue;
        if (!B) return 0.0;
        {
            std::lock_guard<std::mutex> Lock(I.M);
            I.Candidate = B;
        }
        return I.Compare(*A, *B, Threshold);
    }
    return 0.0;
}

bool TPictureComparer::Prepare(const std::string& Path, const std::vector<std::pair<int, int>>& Sizes, bool Native)
{
    Impl& I = *FImpl;
    TInfo Info = I.Info(Path);
    for (int Round = 0; Round < 3; ++Round) {
        if (!Info.Loadable) return false;
        if (!Info.SizeKnown && !I.Decode(Path, Info)) return false;
        if (Info.Width < 2 || Info.Height < 2) return false;
        bool SizeChanged = false;
        if (Native) I.Classes(Path, Info, Info.Width, Info.Height, SizeChanged);
        for (const auto& [Width, Height] : Sizes) {
            if (SizeChanged) break;
            // Only as Similarity would scale it: the wider of a pair, the
            // proportions agreeing.
            if (Width >= Info.Width || !ProportionsAgree(Info.Width, Info.Height, Width, Height)) continue;
            I.Classes(Path, Info, Width, Height, SizeChanged);
        }
        if (!SizeChanged) return true;
    }
    return false;
}

bool TPictureComparer::KnownSize(const std::string& Path, int& Width, int& Height)
{
    std::lock_guard<std::mutex> Lock(FImpl->M);
    const auto Found = FImpl->Infos.find(Path);
    if (Found == FImpl->Infos.end() || !Found->second.Loadable || !Found->second.SizeKnown) return false;
    Width = Found->second.Width;
    Height = Found->second.Height;
    return true;
}
