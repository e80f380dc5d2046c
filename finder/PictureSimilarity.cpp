#include "finder/PictureSimilarity.h"

#include "finder/PictureLoader.h"

#include <QImage>

#include <bit>
#include <cmath>
#include <list>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

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

} // namespace

// Area averaging: each target pixel is the weighted mean of the source area
// it covers. Target pixel x spans [x * Sw, (x + 1) * Sw) and source pixel i
// spans [i * W, (i + 1) * W), so every overlap is a whole number; the
// overlaps become 12-bit weights and the sums stay in 32 bits. A target
// pixel's value depends only on its own source area, so computing some
// pixels (CrossOnly: the compared cross) gives them the same values as
// computing all. Works for enlarging as well.
static void AreaScaleInto(const QImage& Picture, QImage& Target, int Width, int Height, bool CrossOnly)
{
    const QImage Source = As24Bit(Picture);
    const int Sw = Source.width(), Sh = Source.height();
    if (Target.width() != Width || Target.height() != Height || Target.format() != QImage::Format_RGB888 ||
        !Target.isDetached())
        Target = QImage(std::max(Width, 0), std::max(Height, 0), QImage::Format_RGB888);
    if (Target.isNull() || Sw <= 0 || Sh <= 0) return;
    if (CrossOnly) Target.fill(0);

    // Horizontal weights: target x takes source pixels First[x] ... with the
    // weights Weights[Offset[x] ...].
    std::vector<uint32_t> First(static_cast<size_t>(Width)), Offset(static_cast<size_t>(Width) + 1), Weights;
    Weights.reserve(size_t(Sw) + size_t(Width) * 2);
    for (int X = 0; X < Width; ++X) {
        const uint64_t Lo = uint64_t(X) * Sw, Hi = uint64_t(X + 1) * Sw;
        uint64_t I = Lo / uint64_t(Width);
        First[size_t(X)] = uint32_t(I);
        Offset[size_t(X)] = uint32_t(Weights.size());
        uint32_t Before = 0;
        for (; I * Width < Hi; ++I) {
            const uint64_t To = std::min(Hi, (I + 1) * Width);
            const uint32_t Upto = CumulativeWeight(To - Lo, Sw);
            Weights.push_back(Upto - Before);
            Before = Upto;
        }
    }
    Offset[size_t(Width)] = uint32_t(Weights.size());
    // Shrinking by less than half, or enlarging, every target pixel takes at
    // most two source pixels: a loop without the inner one (a missing second
    // tap has weight 0 and reads the first pixel again).
    bool TwoTaps = true;
    std::vector<uint32_t> Tap0(static_cast<size_t>(Width)), Tap1(static_cast<size_t>(Width));
    std::vector<uint32_t> Second(static_cast<size_t>(Width));
    for (int X = 0; X < Width && TwoTaps; ++X) {
        const uint32_t Taps = Offset[size_t(X) + 1] - Offset[size_t(X)];
        TwoTaps = Taps >= 1 && Taps <= 2;
        Tap0[size_t(X)] = 3 * First[size_t(X)];
        Tap1[size_t(X)] = Taps == 2 ? 3 * (First[size_t(X)] + 1) : 3 * First[size_t(X)];
        Second[size_t(X)] = Taps == 2 ? Weights[Offset[size_t(X)] + 1] : 0;
    }

    // The columns each target row needs: all, or the centre third outside
    // the middle band of the cross.
    const bool Cross = CrossOnly && !ComparesWhole(Width, Height);
    const int Cw = GridCell(Width), Ch = GridCell(Height);
    auto Columns = [&](int Y, int& From, int& To) {
        From = 0, To = Width;
        if (Cross && (Y < Ch || Y >= 2 * Ch)) From = Cw, To = std::min(2 * Cw, Width);
    };

    std::vector<uint32_t> Row(size_t(Width) * 3); // one source row scaled across, in 1/4096
    std::vector<uint32_t> Sum(size_t(Width) * 3, 0); // the open target row, in 1/4096^2
    int Y = 0;
    uint32_t RowBefore = 0; // cumulative weight already given to target row Y
    for (int J = 0; J < Sh && Y < Height; ++J) {
        const uint64_t SourceHi = uint64_t(J + 1) * Height;
        // Columns for every target row this source row reaches.
        int From = Width, To = 0;
        for (int T = Y; T < Height && uint64_t(T) * Sh < SourceHi; ++T) {
            int F, E;
            Columns(T, F, E);
            From = std::min(From, F), To = std::max(To, E);
        }
        const uchar* In = Source.constScanLine(J);
        if (TwoTaps) {
            for (int X = From; X < To; ++X) {
                const uchar* P = In + Tap0[size_t(X)];
                const uchar* Q = In + Tap1[size_t(X)];
                const uint32_t A = Weights[Offset[size_t(X)]], B = Second[size_t(X)];
                Row[3 * size_t(X)] = A * P[0] + B * Q[0];
                Row[3 * size_t(X) + 1] = A * P[1] + B * Q[1];
                Row[3 * size_t(X) + 2] = A * P[2] + B * Q[2];
            }
        } else for (int X = From; X < To; ++X) {
            const uchar* P = In + 3 * size_t(First[size_t(X)]);
            uint32_t R = 0, G = 0, B = 0;
            for (uint32_t K = Offset[size_t(X)]; K < Offset[size_t(X) + 1]; ++K, P += 3) {
                R += Weights[K] * P[0];
                G += Weights[K] * P[1];
                B += Weights[K] * P[2];
            }
            Row[3 * size_t(X)] = R, Row[3 * size_t(X) + 1] = G, Row[3 * size_t(X) + 2] = B;
        }
        while (Y < Height) {
            const uint64_t TargetLo = uint64_t(Y) * Sh, TargetHi = uint64_t(Y + 1) * Sh;
            const uint32_t Upto = CumulativeWeight(std::min(SourceHi, TargetHi) - TargetLo, Sh);
            const uint32_t Weight = Upto - RowBefore;
            RowBefore = Upto;
            int F, E;
            Columns(Y, F, E);
            for (size_t K = size_t(F) * 3; K < size_t(E) * 3; ++K) Sum[K] += Weight * Row[K];
            if (TargetHi > SourceHi) break; // this target row continues in the next source row
            uchar* Out = Target.scanLine(Y);
            for (size_t K = size_t(F) * 3; K < size_t(E) * 3; ++K) {
                Out[K] = uchar((Sum[K] + (1u << 23)) >> 24);
                Sum[K] = 0;
            }
            RowBefore = 0;
            ++Y;
        }
    }
}

QImage ScaledPicture(const QImage& Picture, int Width, int Height)
{
    QImage Result;
    AreaScaleInto(Picture, Result, Width, Height, false);
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
// own key (path and size), made by the same ScaledPicture from the same
// decode, so every count equals CompareBitmaps' count.

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

// The sum of the per-block, per-class minimums: no pair matches more.
uint64_t MatchBound(const std::vector<uint16_t>& A, const std::vector<uint16_t>& B)
{
    const uint16_t* Ha = A.data();
    const uint16_t* Hb = B.data();
    const size_t Count = std::min(A.size(), B.size());
    uint64_t Bound = 0;
    for (size_t I = 0; I < Count; ++I) Bound += std::min(Ha[I], Hb[I]);
    return Bound;
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

std::shared_ptr<TClasses> PackClasses(const QImage& Picture)
{
    auto Result = std::make_shared<TClasses>();
    const int Width = Picture.width(), Height = Picture.height();
    const bool Whole = ComparesWhole(Width, Height);
    const int Cw = GridCell(Width), Ch = GridCell(Height);
    const uint64_t Count = Whole ? uint64_t(Width) * Height
                                 : uint64_t(Ch) * Width + uint64_t(Height - Ch) * uint64_t(std::min(2 * Cw, Width) - Cw);
    Result->Pixels = Count;
    Result->Words.assign(size_t((Count + kPixelsPerWord - 1) / kPixelsPerWord), 0);
    uint64_t* Word = Result->Words.data();
    int Slot = 0;
    uint64_t Current = 0;
    for (int Y = 0; Y < Height; ++Y) {
        int FromX = 0, ToX = Width;
        if (!Whole && (Y < Ch || Y >= 2 * Ch)) FromX = Cw, ToX = std::min(2 * Cw, Width);
        const uchar* P = Picture.constScanLine(Y) + 3 * FromX;
        for (int X = FromX; X < ToX;) {
            // Fill the current word with as many pixels as it and the row hold.
            const int Take = std::min(kPixelsPerWord - Slot, ToX - X);
            uint64_t Bits = 0;
            for (int K = Take - 1; K >= 0; --K)
                Bits = Bits << 3 | uint64_t(P[3 * K] >> 7) << 2 | uint64_t(P[3 * K + 1] >> 7) << 1 |
                       uint64_t(P[3 * K + 2] >> 7);
            Current |= Bits << (3 * Slot);
            P += 3 * Take;
            X += Take;
            Slot += Take;
            if (Slot == kPixelsPerWord) {
                *Word++ = Current;
                Current = 0;
                Slot = 0;
            }
        }
    }
    if (Slot) *Word = Current;
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
    // The last full decode: a candidate scaled for groups of several sizes
    // is decoded once, not once per size.
    std::string LastPath;
    QImage LastPicture;
    QImage ScaledBuffer; // reused for every scaled picture

    TInfo& Info(const std::string& Path)
    {
        auto Found = Infos.find(Path);
        if (Found != Infos.end()) return Found->second;
        TInfo& Result = Infos[Path];
        const int Type = PictureFileType(Path);
        Result.Loadable = IsLoadedPictureType(Type);
        if (Result.Loadable && ReadPictureSize(Path, Type, Result.Width, Result.Height)) {
            ++Stats.HeaderReads;
            Result.SizeKnown = true;
            if (Result.Width < 2 || Result.Height < 2) Result.Loadable = false;
        }
        return Result;
    }

    // The full decode; a failure marks the picture as one that cannot load.
    const QImage* Decode(const std::string& Path, TInfo& Info)
    {
        if (LastPath == Path && !LastPicture.isNull()) return &LastPicture;
        // Decoded over the previous picture's bitmap when the sizes agree.
        LastPath.clear();
        ++Stats.Decodes;
        if (!LoadPicture(Path, LastPicture)) {
            Info.Loadable = false;
            return nullptr;
        }
        LastPath = Path;
        Info.SizeKnown = true;
        Info.Width = LastPicture.width();
        Info.Height = LastPicture.height();
        return &LastPicture;
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
            if (Found->second.Classes.use_count() > 1) return false; // in use by this comparison
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

    void Insert(const std::string& Key, std::shared_ptr<TClasses> Classes, bool Native)
    {
        const size_t Bytes = Classes->Bytes();
        while (Used + Bytes > Cap && (EvictFrom(Scaled, false) || EvictFrom(Natives, true))) {
        }
        std::list<std::string>& List = Native ? Natives : Scaled;
        List.push_back(Key);
        Cache[Key] = {std::move(Classes), std::prev(List.end()), Native};
        Used += Bytes;
        Stats.PeakCacheBytes = std::max(Stats.PeakCacheBytes, Used);
    }

    // Classes of the picture at Width x Height (its own size or scaled down).
    // Null when it cannot load, or when its decode showed another size than
    // its header (Info then holds the true size and the caller starts over).
    std::shared_ptr<TClasses> Classes(const std::string& Path, TInfo& Info, int Width, int Height, bool& SizeChanged)
    {
        const std::string K = Key(Path, Width, Height);
        auto Found = Cache.find(K);
        if (Found != Cache.end()) {
            ++Stats.CacheHits;
            if (!Found->second.Native) Scaled.splice(Scaled.end(), Scaled, Found->second.Place);
            return Found->second.Classes;
        }
        const int HeaderWidth = Info.Width, HeaderHeight = Info.Height;
        const QImage* Picture = Decode(Path, Info);
        if (!Picture) return nullptr;
        if (Picture->width() != HeaderWidth || Picture->height() != HeaderHeight) {
            SizeChanged = true;
            if (Info.Width < 2 || Info.Height < 2) Info.Loadable = false;
            return nullptr;
        }
        if (Picture->width() == Width && Picture->height() == Height) {
            std::shared_ptr<TClasses> Result = PackClasses(*Picture);
            Summaries.try_emplace(K, TSummary{Result->Histograms, Result->Pixels});
            Insert(K, Result, true);
            return Result;
        }
        AreaScaleInto(*Picture, ScaledBuffer, Width, Height, true);
        std::shared_ptr<TClasses> Result = PackClasses(ScaledBuffer);
        Summaries.try_emplace(K, TSummary{Result->Histograms, Result->Pixels});
        Insert(K, Result, false);
        return Result;
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
            ++Stats.EarlyStops;
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
                ++Stats.EarlyStops;
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

TPictureComparer::~TPictureComparer() = default;

const TPictureComparerStats& TPictureComparer::Stats() const { return FImpl->Stats; }

double TPictureComparer::Similarity(const std::string& FirstPath, const std::string& SecondPath, double Threshold)
{
    Impl& I = *FImpl;
    ++I.Stats.Comparisons;
    if (!FileExists(FirstPath) || !FileExists(SecondPath)) return 0.0;
    TInfo& First = I.Info(FirstPath);
    TInfo& Second = I.Info(SecondPath);
    // A size learnt from a decode rather than the header takes one more round.
    for (int Round = 0; Round < 3; ++Round) {
        if (!First.Loadable || !Second.Loadable) return 0.0;
        if (!First.SizeKnown && !I.Decode(FirstPath, First)) return 0.0;
        if (!Second.SizeKnown && !I.Decode(SecondPath, Second)) return 0.0;
        if (First.Width < 2 || First.Height < 2 || Second.Width < 2 || Second.Height < 2) {
            First.Loadable = First.Loadable && First.Width >= 2 && First.Height >= 2;
            Second.Loadable = Second.Loadable && Second.Width >= 2 && Second.Height >= 2;
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
        const auto SummaryA = I.Summaries.find(Impl::Key(FirstPath, FirstWidth, FirstHeight));
        const auto SummaryB = I.Summaries.find(Impl::Key(SecondPath, SecondWidth, SecondHeight));
        if (SummaryA != I.Summaries.end() && SummaryB != I.Summaries.end() && SummaryA->second.Pixels > 0 &&
            SummaryA->second.Pixels == SummaryB->second.Pixels) {
            const double Bound = double(MatchBound(SummaryA->second.Histograms, SummaryB->second.Histograms)) /
                                 double(SummaryA->second.Pixels) * 100.0;
            if (Bound < Threshold) {
                ++I.Stats.EarlyStops;
                return Bound;
            }
        }
        bool SizeChanged = false;
        std::shared_ptr<TClasses> A = I.Classes(FirstPath, First, FirstWidth, FirstHeight, SizeChanged);
        if (SizeChanged) continue;
        if (!A) return 0.0;
        std::shared_ptr<TClasses> B = I.Classes(SecondPath, Second, SecondWidth, SecondHeight, SizeChanged);
        if (SizeChanged) continue;
        if (!B) return 0.0;
        I.Candidate = B;
        return I.Compare(*A, *B, Threshold);
    }
    return 0.0;
}
