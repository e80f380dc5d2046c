#pragma once
// How alike two pictures are, as a percentage of compared pixels whose
// colour classes match (0.0 to 100.0).
#include <cstddef>
#include <memory>
#include <string>

// The picture type from the file's first two bytes; 0 when it does not exist.
int PictureFileType(const std::string& Path);

// Decodes both files and compares them; 0.0 when either cannot be loaded or
// their proportions disagree.
double PictureSimilarity(const std::string& FirstPath, const std::string& SecondPath);

// The same percentages for a whole scan: each picture is decoded once and
// kept as packed colour classes under a memory cap.
class TPictureComparer {
public:
    explicit TPictureComparer(size_t MemoryCapBytes = size_t(256) << 20);
    ~TPictureComparer();
    TPictureComparer(const TPictureComparer&) = delete;
    TPictureComparer& operator=(const TPictureComparer&) = delete;

    // Exact when the result reaches Threshold; otherwise some value below it,
    // so a comparison may stop as soon as Threshold is out of reach.
    double Similarity(const std::string& FirstPath, const std::string& SecondPath, double Threshold);

private:
    struct Impl;
    std::unique_ptr<Impl> FImpl;
};
