// ID3v1 reader: samples written by lame, hand-made tags for the version rule
// and the padding, and damaged files.
#include "tags/ID3v1.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

using namespace tags;

namespace {

const std::string Samples = CORVANE_SAMPLES;

// 128 bytes of tag behind some audio bytes.
std::vector<uint8_t> TagFile(const std::string& Title, uint8_t B125, uint8_t B126, size_t AudioBytes = 200)
{
    std::vector<uint8_t> File(AudioBytes, 0xFF);
    uint8_t Tag[128] = {};
    std::memcpy(Tag, "TAG", 3);
    std::memcpy(Tag + 3, Title.data(), std::min<size_t>(Title.size(), 30));
    std::memcpy(Tag + 33, "Artist", 6);
    std::memcpy(Tag + 93, "1999", 4);
    std::memset(Tag + 97, 'c', 28);
    Tag[125] = B125;
    Tag[126] = B126;
    Tag[127] = 17;
    File.insert(File.end(), Tag, Tag + 128);
    return File;
}

TEST(ID3v1Samples, ReadsVersion11FromLame)
{
    TID3v1 T;
    ASSERT_TRUE(T.ReadFromFile(Samples + "/id3v1_only.mp3"));
    EXPECT_TRUE(T.Exists);
    EXPECT_EQ(T.VersionID, 2);
    EXPECT_EQ(T.Title, "Song Title");
    EXPECT_EQ(T.Artist, "Some Artist");
    EXPECT_EQ(T.Album, "The Album");
    EXPECT_EQ(T.Year, "2004");
    EXPECT_EQ(T.Comment, "A comment");
    EXPECT_EQ(T.Track, 5);
    EXPECT_EQ(T.GenreID, 17);
}

TEST(ID3v1Samples, ReadsVersion10WithFullComment)
{
    TID3v1 T;
    ASSERT_TRUE(T.ReadFromFile(Samples + "/id3v10.mp3"));
    EXPECT_TRUE(T.Exists);
    EXPECT_EQ(T.VersionID, 1);
    EXPECT_EQ(T.Title, "Thirty byte title xxxxxxxxxxxx");
    EXPECT_EQ(T.Comment, "Comment of thirty bytes, full.");
    EXPECT_EQ(T.Track, 0);
}

TEST(ID3v1Samples, FileWithoutTagIsReadButHasNone)
{
    for (const char* Name : {"id3_none.mp3", "id3v23_latin1.mp3", "wma_mono.wma"}) {
        TID3v1 T;
        EXPECT_TRUE(T.ReadFromFile(Samples + "/" + Name)) << Name;
        EXPECT_FALSE(T.Exists) << Name;
        EXPECT_EQ(T.GenreID, 255);
        EXPECT_EQ(T.Title, "");
    }
}

struct VersionCase {
    uint8_t B125, B126;
    uint8_t Version;
    uint8_t Track;
    size_t CommentLength;
};

class ID3v1Version : public ::testing::TestWithParam<VersionCase> {};

TEST_P(ID3v1Version, FollowsBytes125And126)
{
    const VersionCase& C = GetParam();
    std::vector<uint8_t> File = TagFile("T", C.B125, C.B126);
    TID3v1 T;
    ASSERT_TRUE(T.ReadFromBytes(File.data(), File.size()));
    EXPECT_EQ(T.VersionID, C.Version);
    EXPECT_EQ(T.Track, C.Track);
    EXPECT_EQ(T.Comment.size(), C.CommentLength);
}

INSTANTIATE_TEST_SUITE_P(Table, ID3v1Version, ::testing::Values(
    VersionCase{0x00, 0x05, 2, 5, 28},     // zero byte and a track: 1.1
    VersionCase{0x20, 0x07, 2, 7, 28},     // blank and a track: 1.1
    VersionCase{0x20, 0x20, 1, 0, 28},     // blanks: 1.0, comment trimmed
    VersionCase{0x00, 0x00, 1, 0, 28},     // no track: 1.0, padding trimmed
    VersionCase{'c', 'c', 1, 0, 30}));     // comment runs to the end: 1.0

TEST(ID3v1Text, TrailingPaddingGoesInnerZeroStays)
{
    std::vector<uint8_t> File = TagFile(std::string("AB\0CD", 5), 0, 0);
    TID3v1 T;
    ASSERT_TRUE(T.ReadFromBytes(File.data(), File.size()));
    EXPECT_EQ(T.Title, std::string("AB\0CD", 5));

    File = TagFile("  Padded \x01\x1F    ", 0, 0);
    ASSERT_TRUE(T.ReadFromBytes(File.data(), File.size()));
    EXPECT_EQ(T.Title, "  Padded"); // only the trailing side is trimmed here
}

TEST(ID3v1Text, Latin1BecomesUtf8AndUtf8Stays)
{
    std::vector<uint8_t> File = TagFile("Caf\xE9", 0, 0);
    TID3v1 T;
    ASSERT_TRUE(T.ReadFromBytes(File.data(), File.size()));
    EXPECT_EQ(T.Title, "Caf\xC3\xA9");
    File = TagFile("Caf\xC3\xA9", 0, 0);
    ASSERT_TRUE(T.ReadFromBytes(File.data(), File.size()));
    EXPECT_EQ(T.Title, "Caf\xC3\xA9");
}

TEST(ID3v1Damaged, ShortEmptyAndMissingFilesGiveFalse)
{
    std::vector<uint8_t> File = TagFile("T", 0, 0, 0);
    TID3v1 T;
    EXPECT_TRUE(T.ReadFromBytes(File.data(), 128)); // exactly a tag
    EXPECT_TRUE(T.Exists);
    EXPECT_FALSE(T.ReadFromBytes(File.data(), 127));
    EXPECT_FALSE(T.Exists); // a failed read leaves nothing of the last one
    EXPECT_EQ(T.Title, "");
    EXPECT_FALSE(T.ReadFromBytes(nullptr, 0));

    auto Dir = std::filesystem::temp_directory_path() / ("corvane-id3v1-" + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
    std::ofstream((Dir / "empty.mp3").string(), std::ios::binary);
    EXPECT_FALSE(T.ReadFromFile((Dir / "empty.mp3").string()));
    EXPECT_FALSE(T.ReadFromFile((Dir / "missing.mp3").string()));
    EXPECT_FALSE(T.ReadFromFile(Dir.string())); // a folder
    std::filesystem::remove_all(Dir);
}

} // namespace
