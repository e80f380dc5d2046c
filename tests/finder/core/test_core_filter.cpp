// Categories by extension and the file filter.
#include <gtest/gtest.h>

#include "finder/core/FileFilter.h"

using namespace finder;

struct CategoryCase {
    const char* Name;
    int Category;
    bool Expected;
};

class CategoryTest : public ::testing::TestWithParam<CategoryCase> {};

TEST_P(CategoryTest, ByExtension)
{
    const CategoryCase& C = GetParam();
    EXPECT_EQ(IsFileOfCategory(C.Category, C.Name), C.Expected) << C.Name << " in " << C.Category;
}

INSTANTIATE_TEST_SUITE_P(Categories, CategoryTest,
                         ::testing::Values(CategoryCase{"Report.DOC", catDocuments, true},
                                           CategoryCase{"photo.JPEG", catPictures, true},
                                           CategoryCase{"photo.JPEG", catJpeg, true},
                                           CategoryCase{"clip.mp4", catMusic, true},
                                           CategoryCase{"clip.mp4", catVideo, true},
                                           CategoryCase{"song.flac", catFlac, true},
                                           CategoryCase{"song.flac", catMusic, false},
                                           CategoryCase{"movie.rm", catMusic, false},
                                           CategoryCase{"movie.rm", catVideo, true},
                                           CategoryCase{"movie.rm", catRm, true},
                                           CategoryCase{"scan.tiff", catPictures, false},
                                           CategoryCase{"scan.tif", catPictures, true},
                                           CategoryCase{"letter.rtf", catDocuments, false},
                                           CategoryCase{"letter.rft", catDocuments, true},
                                           CategoryCase{"hosts", catDocuments, false},
                                           CategoryCase{"/a.txt/readme", catDocuments, false},
                                           CategoryCase{"archive.tar.gz", catDocuments, false},
                                           CategoryCase{"lib.DLL", catSystem, true},
                                           CategoryCase{"icon.ico", catIco, true},
                                           CategoryCase{"draw.emf", catWmf, true},
                                           CategoryCase{"song.MP3", catMusic, true},
                                           CategoryCase{"song.mp3", catMp3, true},
                                           CategoryCase{"song.wma", catMusic, true},
                                           CategoryCase{"song.wma", catWma, true},
                                           CategoryCase{"song.ogg", catMusic, true},
                                           CategoryCase{"song.ogg", catOgg, true},
                                           CategoryCase{"pic.bmp", catPictures, true},
                                           CategoryCase{"pic.bmp", catBmp, true},
                                           CategoryCase{"pic.gif", catPictures, true},
                                           CategoryCase{"pic.gif", catGif, true},
                                           CategoryCase{"pic.png", catPictures, true},
                                           CategoryCase{"pic.png", catPng, true},
                                           CategoryCase{"a.txt", 7, false},
                                           CategoryCase{"a.txt", -1, false},
                                           CategoryCase{"a.txt", 36, false}),
                         [](const auto& Info) {
                             std::string S = std::string(Info.param.Name) + "_in_" + std::to_string(Info.param.Category);
                             for (char& C : S)
                                 if (!isalnum(static_cast<unsigned char>(C))) C = '_';
                             return S;
                         });

TEST(CategoryTest, ExtensionKeepsItsDot)
{
    EXPECT_EQ(LowerExtension("archive.tar.GZ"), ".gz");
    EXPECT_EQ(LowerExtension("name."), ".");
    EXPECT_EQ(LowerExtension("dir.d/file"), "");
    EXPECT_EQ(LowerExtension("noext"), "");
}

TEST(CategoryTest, CustomEntriesAreNotLowered)
{
    const std::vector<std::string> Custom = {"*.abc", "*.XYZ"};
    EXPECT_TRUE(IsFileOfCategory(catCustom, "data.ABC", Custom));
    EXPECT_FALSE(IsFileOfCategory(catCustom, "data.xyz", Custom));
    EXPECT_FALSE(IsFileOfCategory(catCustom, "data.XYZ", Custom));
    EXPECT_FALSE(IsFileOfCategory(catCustom, "data.abc", {}));
}

struct FilterCase {
    const char* Label;
    TFilterOptions Options;
    const char* Name;
    int64_t Size;
    bool Expected;
};

class FilterTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FilterTest, Passes)
{
    const FilterCase& C = GetParam();
    EXPECT_EQ(PassesFileFilter(C.Options, C.Name, C.Size), C.Expected) << C.Label;
}

static TFilterOptions Opt(auto Change)
{
    TFilterOptions O;
    Change(O);
    return O;
}

INSTANTIATE_TEST_SUITE_P(
    Filters, FilterTest,
    ::testing::Values(
        FilterCase{"dll protected under all files", Opt([](auto&) {}), "x.dll", 100, false},
        FilterCase{"dll passes unprotected", Opt([](auto& O) { O.ProtectSystemFiles = false; }), "x.dll", 100, true},
        FilterCase{"dll protected in music", Opt([](auto& O) { O.Mode = 3; }), "x.dll", 100, false},
        FilterCase{"one byte short of 10 KB",
                   Opt([](auto& O) { O.SizeLimit = true; }), "a.txt", 10239, false},
        FilterCase{"exactly 10 KB", Opt([](auto& O) { O.SizeLimit = true; }), "a.txt", 10240, true},
        FilterCase{"3 GiB is not smaller than 10 KB", Opt([](auto& O) { O.SizeLimit = true; }), "a.txt",
                   int64_t(3) << 30, true},
        FilterCase{"size limit takes over skip zero",
                   Opt([](auto& O) { O.SizeLimit = true; O.SizeLimitKB = 0; O.SkipZero = true; }), "a.txt", 0, true},
        FilterCase{"skip zero", Opt([](auto& O) { O.SkipZero = true; }), "a.txt", 0, false},
        FilterCase{"4 GiB is not zero-size", Opt([](auto& O) { O.SkipZero = true; }), "a.txt", int64_t(4) << 30,
                   true},
        FilterCase{"documents", Opt([](auto& O) { O.BasicType = TBasicType::Documents; }), "a.jpg", 5, false},
        FilterCase{"pictures", Opt([](auto& O) { O.BasicType = TBasicType::PicturePhoto; }), "a.jpg", 5, true},
        FilterCase{"video", Opt([](auto& O) { O.BasicType = TBasicType::VideoMovies; }), "a.mkv", 5, false},
        FilterCase{"custom", Opt([](auto& O) { O.BasicType = TBasicType::Custom; O.CustomFileTypes = {"*.abc"}; }),
                   "a.abc", 5, true},
        FilterCase{"zero-size type", Opt([](auto& O) { O.BasicType = TBasicType::Zero; }), "a.abc", 1, false},
        FilterCase{"zero-size type, empty", Opt([](auto& O) { O.BasicType = TBasicType::Zero; }), "a.abc", 0, true},
        FilterCase{"4 GiB is not zero-size type", Opt([](auto& O) { O.BasicType = TBasicType::Zero; }), "a.abc",
                   int64_t(4) << 30, false},
        FilterCase{"all music leaves flac out", Opt([](auto& O) { O.Mode = 3; }), "a.flac", 5, false},
        FilterCase{"specific flac", Opt([](auto& O) { O.Mode = 3; O.MusicAll = false; O.Mp3 = O.Wma = O.Rm = O.Ogg = false; }),
                   "a.flac", 5, true},
        FilterCase{"specific flac, mp3 out",
                   Opt([](auto& O) { O.Mode = 3; O.MusicAll = false; O.Mp3 = O.Wma = O.Rm = O.Ogg = false; }), "a.mp3", 5,
                   false},
        FilterCase{"no music box", Opt([](auto& O) {
                       O.Mode = 3; O.MusicAll = false; O.Mp3 = O.Wma = O.Rm = O.Ogg = O.Flac = false; }),
                   "a.mp3", 5, false},
        FilterCase{"all pictures", Opt([](auto& O) { O.Mode = 4; }), "a.psd", 5, true},
        FilterCase{"specific png only", Opt([](auto& O) {
                       O.Mode = 4; O.PhotoAll = false; O.Bmp = O.Jpeg = O.Gif = O.Wmf = O.Ico = false; }),
                   "a.jpg", 5, false},
        FilterCase{"outlook passes nothing", Opt([](auto& O) { O.Mode = 2; }), "a.txt", 5, false},
        FilterCase{"no mode passes nothing", Opt([](auto& O) { O.Mode = 0; }), "a.txt", 5, false}),
    [](const auto& Info) {
        std::string S = Info.param.Label;
        for (char& C : S)
            if (!isalnum(static_cast<unsigned char>(C))) C = '_';
        return S;
    });
