// ReadMusicTags: the reader chosen by extension, the four trimmed strings,
// and what each kind of bad input gives.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tags/MusicTags.h"
#include "tags/OggVorbis.h"
#include "tags/RealMediaFile.h"
#include "tests/common/TempTree.h"

using namespace tags;

namespace {

std::string LoadSample(const std::string& Name)
{
    std::ifstream In(std::string(CORVANE_SAMPLES) + "/" + Name, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

struct MusicCase {
    const char* Sample;   // "" for an empty file
    const char* Name;     // the name it is read under
    int Count;
    const char* Title = "";
    const char* Artist = "";
    const char* Third = nullptr;  // not compared when null
    const char* Fourth = nullptr;
};

std::ostream& operator<<(std::ostream& Out, const MusicCase& C) { return Out << C.Sample << " as " << C.Name; }

class MusicTagsTable : public ::testing::TestWithParam<MusicCase> {};

} // namespace

TEST_P(MusicTagsTable, ReadsTheFourStrings)
{
    const MusicCase& C = GetParam();
    corvane_test::TempTree T;
    const std::string Path = T.File(C.Name, {.Content = *C.Sample ? LoadSample(C.Sample) : std::string()});
    std::vector<std::string> List = {"stale"};
    ASSERT_EQ(ReadMusicTags(Path, List), C.Count);
    ASSERT_EQ(int(List.size()), C.Count);
    if (C.Count == 0) return;
    EXPECT_EQ(List[0], C.Title);
    EXPECT_EQ(List[1], C.Artist);
    if (C.Third) {
        EXPECT_EQ(List[2], C.Third);
    }
    if (C.Fourth) {
        EXPECT_EQ(List[3], C.Fourth);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, MusicTagsTable, ::testing::Values(
    MusicCase{"vorbis_tags.ogg", "song.ogg", 4, "Song One", "Artist A", "2001", "Hello"},
    MusicCase{"vorbis_padded.ogg", "pad.ogg", 4, "Padded Title", "Perf Only", "", "Desc Only"},
    MusicCase{"vorbis_notags.ogg", "none.ogg", 4, "", "", "", ""},
    MusicCase{"vorbis_longcomment.ogg", "long.ogg", 4, "After Long", "Long Artist", "", ""},
    MusicCase{"flac_tags.flac", "song.flac", 4, "Song One", "Artist A", "2001", "Hello"},
    MusicCase{"flac_picture.flac", "pic.flac", 4, "Padded Title", "Artist B", "", ""},
    MusicCase{"flac_streaminfo_only.flac", "bare.flac", 4, "", "", "", ""},
    MusicCase{"rm_tags.rm", "song.rm", 4, "RM Title", "RM Author", "(c) 2003", "RM Comment"},
    MusicCase{"rm_two_streams.rm", "two.rm", 4, "Two Streams", "Author B"},
    MusicCase{"rm_notags.rm", "none.rm", 4, "", "", "", ""},
    MusicCase{"id3v1_only.mp3", "v1.mp3", 4, "Song Title", "Some Artist", "2004", "A comment"},
    MusicCase{"id3v23_latin1.mp3", "v2.mp3", 4, "Café Song", "The Artist", "1999", "Latin comment"},
    MusicCase{"id3_both.mp3", "both.mp3", 4, "V1 Title", "V1 Artist", "", ""},
    MusicCase{"id3_none.mp3", "none.mp3", 0},
    MusicCase{"wma_mono.wma", "song.wma", 4, "WMA Title", "WMA Artist", "2007", "WMA comment"},
    MusicCase{"tags_padded.wma", "pad.wma", 4, "Padded WMA", "WMA Artist"}));

INSTANTIATE_TEST_SUITE_P(Extensions, MusicTagsTable, ::testing::Values(
    MusicCase{"vorbis_tags.ogg", "SONG.OGG", 4, "Song One", "Artist A"},
    MusicCase{"flac_tags.flac", "Song.FlaC", 4, "Song One", "Artist A"},
    MusicCase{"rm_tags.rm", "SONG.RM", 4, "RM Title", "RM Author"},
    MusicCase{"id3v1_only.mp3", "SONG.MP3", 4, "Song Title", "Some Artist"},
    MusicCase{"wma_mono.wma", "SONG.Wma", 4, "WMA Title", "WMA Artist"},
    MusicCase{"vorbis_tags.ogg", "song", 0},
    MusicCase{"vorbis_tags.ogg", "dir.ogg/song", 0},
    MusicCase{"vorbis_tags.ogg", "song.ogg.bak", 0},
    MusicCase{"id3v1_only.mp3", "song.mp2", 0},
    MusicCase{"id3v1_only.mp3", "song.m4a", 0},
    MusicCase{"rm_tags.rm", "song.ra", 0},
    MusicCase{"vorbis_tags.ogg", ".ogg", 4, "Song One", "Artist A"}));

INSTANTIATE_TEST_SUITE_P(WrongContent, MusicTagsTable, ::testing::Values(
    MusicCase{"flac_tags.flac", "f.ogg", 0},
    MusicCase{"vorbis_tags.ogg", "o.flac", 0},
    MusicCase{"vorbis_tags.ogg", "o.rm", 0},
    MusicCase{"id3_none.mp3", "m.wma", 0},
    MusicCase{"rm_tags.rm", "r.mp3", 0},
    MusicCase{"", "e.ogg", 0},
    MusicCase{"", "e.flac", 0},
    MusicCase{"", "e.rm", 0},
    MusicCase{"", "e.mp3", 0},
    MusicCase{"", "e.wma", 0}));

// An ID3v1 tag (title, artist, year, comment) padded with zero bytes.
std::string ID3v1Tag(const std::string& Title, const std::string& Artist)
{
    std::string Tag = "TAG";
    for (const std::string* S : {&Title, &Artist}) Tag += *S + std::string(30 - S->size(), '\0');
    Tag += std::string(30, '\0') + "1998" + std::string(30, '\0');
    return Tag + '\xFF';
}

TEST(MusicTags, AnID3v1TagComesFirstEvenWithABlankTitle)
{
    corvane_test::TempTree T;
    const std::string V2Only = LoadSample("id3v23_latin1.mp3"); // ID3v2 title "Café Song"
    std::vector<std::string> List;
    ASSERT_EQ(ReadMusicTags(T.File("both.mp3", {.Content = V2Only + ID3v1Tag("V1 Title", "V1 Artist")}), List), 4);
    EXPECT_EQ(List[0], "V1 Title");
    EXPECT_EQ(List[1], "V1 Artist");
    EXPECT_EQ(List[2], "1998");
    ASSERT_EQ(ReadMusicTags(T.File("blank.mp3", {.Content = V2Only + ID3v1Tag("   ", "V1 Artist")}), List), 4);
    EXPECT_EQ(List[0], "");                    // the ID3v2 title is not read
    EXPECT_EQ(List[1], "V1 Artist");
}

TEST(MusicTags, AnID3v1TitleIsTrimmed)
{
    corvane_test::TempTree T;
    std::string Bytes = LoadSample("id3v1_only.mp3");
    const size_t Tag = Bytes.size() - 128;
    Bytes.replace(Tag + 3, 30, std::string("  Pad\t ") + std::string(23, '\0'));
    std::vector<std::string> List;
    ASSERT_EQ(ReadMusicTags(T.File("pad.mp3", {.Content = Bytes}), List), 4);
    EXPECT_EQ(List[0], "Pad");
}

TEST(MusicTags, MissingFiles)
{
    corvane_test::TempTree T;
    std::vector<std::pair<std::string, std::string>> Seen;
    SetRMWarningHandler([&](const std::string& Text, const std::string& Caption) { Seen.emplace_back(Text, Caption); });
    std::vector<std::string> List;
    EXPECT_EQ(ReadMusicTags(T.Path("gone.mp3"), List), 0);
    EXPECT_EQ(ReadMusicTags(T.Path("gone.wma"), List), 0);
    EXPECT_EQ(ReadMusicTags(T.Path("gone.rm"), List), 0);
    EXPECT_EQ(Seen.size(), 1u);  // the RealMedia reader says so itself
    // The Ogg and FLAC readers cannot open them either: no tags.
    EXPECT_EQ(ReadMusicTags(T.Path("gone.ogg"), List), 0);
    EXPECT_EQ(ReadMusicTags(T.Path("gone.flac"), List), 0);
    // A file of another format under ".rm" is an unknown chunk.
    Seen.clear();
    EXPECT_EQ(ReadMusicTags(T.File("ogg.rm", {.Content = LoadSample("vorbis_tags.ogg")}), List), 0);
    ASSERT_EQ(Seen.size(), 1u);
    EXPECT_EQ(Seen[0].first, "在文件0位置，找到未知的标记头标识：OggS");
    SetRMWarningHandler(nullptr);
}
