// Categories by extension and the file filter.
#include <gtest/gtest.h>

#include "finder/core/FileFilter.h"
#include "tests/finder/core/CoreTestSupport.h"

using namespace finder;

TEST(Category, ByTheLastExtensionWithoutLetterCase) {
    const std::tuple<const char*, int, bool> Cases[] = {
        {"Report.DOC", catDocuments, true}, {"letter.rtf", catDocuments, false}, {"letter.rft", catDocuments, true},
        {"photo.JPEG", catJpeg, true},      {"scan.tiff", catPictures, false},   {"scan.tif", catPictures, true},
        {"clip.mp4", catMusic, true},       {"clip.mp4", catVideo, true},        {"song.flac", catMusic, false},
        {"song.flac", catFlac, true},       {"movie.rm", catMusic, false},       {"movie.rm", catRm, true},
        {"song.MP3", catMusic, true},       {"song.mp3", catMp3, true},          {"song.wma", catMusic, true},
        {"song.wma", catWma, true},         {"song.ogg", catMusic, true},        {"song.ogg", catOgg, true},
        {"pic.bmp", catPictures, true},     {"pic.bmp", catBmp, true},           {"pic.gif", catPictures, true},
        {"pic.gif", catGif, true},          {"pic.png", catPictures, true},      {"pic.png", catPng, true},
        {"lib.DLL", catSystem, true},       {"draw.emf", catWmf, true},          {"hosts", catDocuments, false},
        {"/a.txt/readme", catDocuments, false}, {"archive.tar.gz", catDocuments, false},
        {"a.txt", -1, false},               {"a.txt", 36, false}};
    for (const auto& [Name, Category, Expected] : Cases)
        EXPECT_EQ(IsFileOfCategory(Category, Name), Expected) << Name << " in " << Category;
    EXPECT_EQ(LowerExtension("archive.tar.GZ"), ".gz");
    EXPECT_EQ(LowerExtension("dir.d/file"), "");
    // Custom entries stand for their text without the "*", not lowered.
    const std::vector<std::string> Custom = {"*.abc", "*.XYZ"};
    EXPECT_TRUE(IsFileOfCategory(catCustom, "data.ABC", Custom));
    EXPECT_FALSE(IsFileOfCategory(catCustom, "data.XYZ", Custom));
}

struct FilterCase {
    const char* Label;
    TFilterOptions Options;
    const char* Name;
    int64_t Size;
    bool Expected;
};

class FilterTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FilterTest, Passes) {
    const FilterCase& C = GetParam();
    EXPECT_EQ(PassesFileFilter(C.Options, C.Name, C.Size), C.Expected);
}

static TFilterOptions Opt(auto Change) { TFilterOptions O; Change(O); return O; }

const auto Limit = Opt([](auto& O) { O.SizeLimit = true; });
const auto Specific = [](auto& O) { O.Mode = 3, O.MusicAll = O.Mp3 = O.Wma = O.Rm = O.Ogg = false; };

INSTANTIATE_TEST_SUITE_P(
    Filters, FilterTest,
    ::testing::Values(
        FilterCase{"dll protected under all files", {}, "x.dll", 100, false},
        FilterCase{"dll protected in music", Opt([](auto& O) { O.Mode = 3; }), "x.dll", 100, false},
        FilterCase{"one byte short of 10 KB", Limit, "a.txt", 10239, false},
        FilterCase{"exactly 10 KB", Limit, "a.txt", 10240, true},
        FilterCase{"3 GiB is not smaller than 10 KB", Limit, "a.txt", int64_t(3) << 30, true},
        FilterCase{"size limit takes over skip zero",
                   Opt([](auto& O) { O.SizeLimit = O.SkipZero = true; O.SizeLimitKB = 0; }), "a.txt", 0, true},
        FilterCase{"skip zero", Opt([](auto& O) { O.SkipZero = true; }), "a.txt", 0, false},
        FilterCase{"4 GiB is not zero size", Opt([](auto& O) { O.SkipZero = true; }), "a.txt", int64_t(4) << 30, true},
        FilterCase{"custom", Opt([](auto& O) { O.BasicType = TBasicType::Custom; O.CustomFileTypes = {"*.abc"}; }),
                   "a.abc", 5, true},
        FilterCase{"zero size type", Opt([](auto& O) { O.BasicType = TBasicType::Zero; }), "a.abc", 0, true},
        FilterCase{"4 GiB is not of the zero size type", Opt([](auto& O) { O.BasicType = TBasicType::Zero; }), "a.abc",
                   int64_t(4) << 30, false},
        FilterCase{"all music leaves flac out", Opt([](auto& O) { O.Mode = 3; }), "a.flac", 5, false},
        FilterCase{"specific flac", Opt(Specific), "a.flac", 5, true},
        FilterCase{"specific flac leaves mp3 out", Opt(Specific), "a.mp3", 5, false},
        FilterCase{"specific pictures png only", Opt([](auto& O) {
                       O.Mode = 4; O.PhotoAll = false; O.Bmp = O.Jpeg = O.Gif = O.Wmf = O.Ico = false; }),
                   "a.jpg", 5, false},
        FilterCase{"outlook passes nothing", Opt([](auto& O) { O.Mode = 2; }), "a.txt", 5, false}),
    [](const auto& Info) { return core_test::RowName(Info.param.Label); });
