#pragma once
// How alike two pictures are, as a percentage of compared pixels whose
// colour classes match (0.0 to 100.0).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QImage;

// The picture type from the file's first two bytes; 0 when it does not exist.
int PictureFileType(const std::string& Path);

// Decodes both files and compares them; 0.0 when either cannot be loaded or
// their proportions disagree.
double PictureSimilarity(const std::string& FirstPath, const std::string& SecondPath);

// Colour classes of two pixels, each given as red, green, blue: a byte below
// 128 is class 0, 128 and above class 255; all three classes must agree.
bool SameColourClass(uint8_t Red1, uint8_t Green1, uint8_t Blue1, uint8_t Red2, uint8_t Green2, uint8_t Blue2);

struct TPixelCounts {
    double Matched = 0.0;
    double Compared = 0.0;
};

// Percentage of matching pixels of two bitmaps of equal size: all pixels
// below 100 x 100, else the cross of five cells of a 3 x 3 grid.
double CompareBitmaps(const QImage& First, const QImage& Second, TPixelCounts* Counts = nullptr);

// Whether two pictures of different sizes may be scaled onto each other:
// the width ratio and the height ratio, rounded to two decimals, are equal.
bool ProportionsAgree(int FirstWidth, int FirstHeight, int SecondWidth, int SecondHeight);

// The picture stretched to Width x Height by area averaging (exact integer
// arithmetic), as a 24-bit bitmap.
QImage ScaledPicture(const QImage& Picture, int Width, int Height);

struct TPictureComparerStats {
    long long Comparisons = 0;
    long long Decodes = 0;       // full decodes of a file
    long long HeaderReads = 0;   // sizes read from headers
    long long CacheHits = 0;     // colour classes found cached
    long long EarlyStops = 0;    // comparisons ended once the threshold was out of reach
    long long Evictions = 0;
    long long Scalings = 0;      // pictures scaled to a partner's size
    size_t PeakCacheBytes = 0;
};

// The same percentages for a whole scan: each picture is decoded once and
// kept as packed colour classes under a memory cap.
class TPictureComparer {
public:
    // The cap bounds the packed classes (about 0.4 MB for 2 megapixels);
    // the class counts that settle most pairs (a twentieth of that) are kept
    // beyond it.
    explicit TPictureComparer(size_t MemoryCapBytes = size_t(256) << 20);
    ~TPictureComparer();
    TPictureComparer(const TPictureComparer&) = delete;
    TPictureComparer& operator=(const TPictureComparer&) = delete;

    // Exact when the result reaches Threshold; otherwise some value below it,
    // so a comparison may stop as soon as Threshold is out of reach.
    double Similarity(const std::string& FirstPath, const std::string& SecondPath, double Threshold);

    // Reads and packs ahead what Similarity will want of Path: its colour
    // classes at its own size, unless Native is false, and scaled to each of
    // Sizes that it is wider than with the same proportions, all from one
    // decode. Safe on any thread, each with its own decoder; false when it
    // cannot be loaded.
    bool Prepare(const std::string& Path, const std::vector<std::pair<int, int>>& Sizes = {}, bool Native = true);
    // The picture's size once it is known and it can be loaded.
    bool KnownSize(const std::string& Path, int& Width, int& Height);

    TPictureComparerStats Stats() const;

private:
    struct Impl;
    std::unique_ptr<Impl> FImpl;
};
