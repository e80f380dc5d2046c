// The ID3 readers. ID3v1: samples written by lame, hand-made tags for the
// version rule and the padding, and files too short, empty or missing.
// ID3v2: samples written by mutagen (2.3, 2.4) and a hand-made 2.2 tag, then
// tags built here for the frame walk, the encodings and damage.
#include "tags/ID3v1.h"
#include "tags/ID3v2.h"

#include <gtest/gtest.h>

#include "tests/common/TempTree.h"
#include "tests/tags/TagTestKit.h"

using namespace tags;
using namespace tagtest;

namespace {

TEST(ID3v1, Samples)
{
    const std::pair<const char*, std::string> Rows[] = {
        {"id3v1_only.mp3", "1 v2|Song Title|Some Artist|The Album|2004|A comment|5|17"},
        {"id3v10.mp3", "1 v1|Thirty byte title xxxxxxxxxxxx|Artist|||Comment of thirty bytes, full.|0|255"}};
    for (const auto& [File, Expected] : Rows) {
        TID3v1 T;
        ASSERT_TRUE(T.ReadFromFile(Sample(File)));
        EXPECT_EQ(Join({std::to_string(T.Exists) + " v" + std::to_string(T.VersionID), T.Title, T.Artist, T.Album, T.Year,
                        T.Comment, std::to_string(T.Track), std::to_string(T.GenreID)}),
                  Expected);
    }
}

// 128 bytes of tag behind some audio bytes; bytes 125 and 126 decide 1.0 or 1.1.
Bytes V1Tag(const std::string& Title, uint8_t B125, uint8_t B126)
{
    Bytes Tag = B("TAG") + B(Title) + Bytes(94 - Title.size()) + Bytes(28, 'c') + Bytes{B125, B126, 0};
    return Bytes(200, 0xFF) + Tag;
}

// Rows: version, title, comment length, track.
class ID3v1Tags : public ::testing::TestWithParam<Row> {};

TEST_P(ID3v1Tags, Read)
{
    TID3v1 T;
    const bool Ok = T.ReadFromBytes(GetParam().File.data(), GetParam().File.size());
    EXPECT_EQ(Join({(Ok ? "v" : "failed v") + std::to_string(T.VersionID), T.Title, std::to_string(T.Comment.size()),
                    std::to_string(T.Track)}),
              GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ID3v1Tags, ::testing::Values(
    Row{{"ZeroAndTrackIsV11"}, V1Tag("T", 0x00, 0x05), "v2|T|28|5"},
    Row{{"BlankAndTrackIsV11"}, V1Tag("T", 0x20, 0x07), "v2|T|28|7"},
    Row{{"BlanksAreV10"}, V1Tag("T", 0x20, 0x20), "v1|T|28|0"}, Row{{"NoTrackIsV10"}, V1Tag("T", 0x00, 0x00), "v1|T|28|0"},
    Row{{"CommentToTheEndIsV10"}, V1Tag("T", 'c', 'c'), "v1|T|30|0"},
    Row{{"InnerZeroStays"}, V1Tag(std::string("AB\0CD", 5), 0, 0), std::string("v1|AB\0CD|28|0", 13)},
    Row{{"OnlyTrailingPaddingGoes"}, V1Tag("  Padded \x01\x1F    ", 0, 0), "v1|  Padded|28|0"},
    Row{{"Latin1BecomesUtf8"}, V1Tag("Caf\xE9", 0, 0), "v1|Caf\xC3\xA9|28|0"},
    Row{{"Utf8Stays"}, V1Tag("Caf\xC3\xA9", 0, 0), "v1|Caf\xC3\xA9|28|0"},
    Row{{"ExactlyATag"}, B("TAG") + Bytes(125), "v1||0|0"}, Row{{"ShortOfATag"}, B("TAG") + Bytes(124), "failed v1||0|0"}),
    RowName());

TEST(ID3, EmptyMissingAndFolderCannotBeRead)
{
    corvane_test::TempTree Tree;
    for (const std::string& Path : {Tree.File("empty.mp3"), Tree.Path("missing.mp3"), Tree.Root()})
        EXPECT_FALSE(TID3v1().ReadFromFile(Path) || TID3v2().ReadFromFile(Path)) << Path;
}

Bytes SizeBytes(uint32_t N, int Version)
{
    if (Version == 2) return Be(N, 3);
    if (Version == 4) return Bytes{uint8_t(N >> 21 & 127), uint8_t(N >> 14 & 127), uint8_t(N >> 7 & 127), uint8_t(N & 127)};
    return Be(N, 4);
}

Bytes Frame(const std::string& ID, const Bytes& Data, int Version = 3, uint8_t Flags2 = 0)
{
    return B(ID) + SizeBytes(uint32_t(Data.size()), Version) + (Version == 2 ? Bytes{} : Bytes{0, Flags2}) + Data;
}

// ISO-8859-1 text frame data.
Bytes Latin(const std::string& S) { return Bytes{0} + B(S); }

// A tag with the given frames and padding, followed by some audio bytes.
Bytes Tag(int Version, const Bytes& Frames, size_t Padding = 16, uint8_t Flags = 0)
{
    return B("ID3") + Bytes{uint8_t(Version), 0, Flags} + SizeBytes(uint32_t(Frames.size() + Padding), 4) + Frames +
           Bytes(Padding, 0) + Bytes(64, 0xFF);
}

TID3v2 Read(const Bytes& File)
{
    TID3v2 T;
    EXPECT_TRUE(T.ReadFromBytes(File.data(), File.size()));
    return T;
}

std::string Summary(const TID3v2& T) { return Join({T.Title, T.Artist, T.Comment}); }

// Samples, then the tag header: its size (a footer adds ten, a size beyond
// the file gives 0 and no walk), and input too short or not a tag.
TEST(ID3v2, SamplesAndHeaders)
{
    const Bytes Title = Frame("TIT2", Latin("T")), Nine = B("ID3") + Bytes{3, 0, 0, 0, 0, 0};
    const std::pair<Bytes, std::string> Rows[] = {
        {Load("id3v23_latin1.mp3"), "1 1 v3 346|Caf\xC3\xA9 Song|The Artist|Album|1999|Rock|Latin comment"}, // 00 00 02 50
        // U+00FF stays, and a character beyond U+FFFF comes out whole.
        {Load("id3v23_utf16.mp3"),
         "1 1 v3 769|\xE6\x97\xA5\xE6\x9C\xAC \xC3\xBF Title \xF0\x9F\x8E\xB5|K\xC3\xB6nig||||Unicode comment " +
             std::string(200, 'y')},
        // UTF-8 and UTF-16BE; the comment lies behind a picture of more than 127 bytes.
        {Load("id3v24_utf8.mp3"), "1 1 v4 580|\xC3\x9C" "ber Song|Big Endian||2004||UTF-8 comment " + std::string(200, 'x')},
        {Load("id3v24_fallback.mp3"), "1 1 v4 139|Group Title||Original Album||Jazz|"},
        {Load("id3v22.mp3"), "1 1 v2 108|Old Title|Old Artist||1987||Old comment"},
        {Load("id3_both.mp3"), "1 1 v3 1075|V2 Title|V2 Artist||||"}, {Load("id3_none.mp3"), "1 0 v0 0||||||"},
        {Tag(3, Title, 16, 0x10), "1 1 v3 48|T|||||"}, {Tag(3, Title), "1 1 v3 38|T|||||"},
        {Resized(Tag(3, Title, 16, 0x10), 40), "1 1 v3 0||||||"}, // the tag claims more than the file holds
        {B("ID3") + Bytes{3, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF} + Title, "1 1 v3 0||||||"}, // size bytes taken whole
        {Tag(5, Title), "1 1 v5 38||||||"},                                          // unknown version: no texts
        {Nine, "0 0 v0 0||||||"}, {Nine + Bytes{0}, "1 1 v3 10||||||"}, {B("Just some text file."), "1 0 v0 0||||||"}};
    for (const auto& [File, Expected] : Rows) {
        TID3v2 T;
        const bool Ok = T.ReadFromBytes(File.data(), File.size());
        EXPECT_EQ(Join({std::to_string(Ok) + " " + std::to_string(T.Exists) + " v" + std::to_string(T.VersionID) + " " +
                            std::to_string(T.Size),
                        T.Title, T.Artist, T.Album, T.Year, T.Genre, T.Comment}),
                  Expected);
    }
}

// Rows: the title, artist and comment read.
class ID3v2Frames : public ::testing::TestWithParam<Row> {};

TEST_P(ID3v2Frames, Read) { EXPECT_EQ(Summary(Read(GetParam().File)), GetParam().Expected); }

// A frame with flags of the given version, then a second-choice title that
// shows when the first is not taken.
Bytes Flagged(int Version, uint8_t FrameFlags, const Bytes& Data, uint8_t TagFlags = 0)
{
    return Tag(Version, Frame("TIT2", Data, Version, FrameFlags) + Frame("TIT1", Latin("Group"), Version), 16, TagFlags);
}
Bytes Title4(const Bytes& Data) { return Tag(4, Frame("TIT2", Data, 4)); }

const Bytes Art = Frame("TPE1", Latin("Art"));
const Bytes Utf16AB = {1, 0xFF, 0xFE, 0x41, 0, 0x42, 0};
const Bytes StoredAB = {1, 0xFF, 0x00, 0xFE, 0x41, 0, 0x42, 0}; // FF FE unsynchronised

const std::string CutUtf8 = std::string(498, 'a') + "\xC3\xA9" + std::string(100, 'b');

INSTANTIATE_TEST_SUITE_P(Tags, ID3v2Frames, ::testing::Values(
    Row{{"LongFrameGivesItsFirst500Bytes"}, Tag(3, Frame("TIT2", Latin(std::string(1999, 'a'))) + Art),
        std::string(499, 'a') + "|Art|"},
    Row{{"ZeroPaddingEndsTheWalk"}, Tag(3, Frame("TIT2", Latin("T")) + Bytes(4, 0) + Art, 0), "T||"},
    Row{{"LaterFrameWins"}, Tag(3, Frame("TIT2", Latin("One")) + Frame("TIT2", Latin("Two"))), "Two||"},
    // 200 bytes: synchsafe 00 00 01 48, which read plainly would be 328.
    Row{{"V24FrameSizesAreSynchsafe"},
        Tag(4, Frame("TXXX", Latin(std::string(199, 'p')), 4) + Frame("TIT2", B("\3After"), 4)), "After||"},
    // Bytes that look like an extended header while flag 0x40 is clear end the walk.
    Row{{"ExtendedHeaderWithoutFlag"}, Tag(3, Bytes{0, 0, 0, 6, 0, 0, 0, 0, 0, 0} + Frame("TIT2", Latin("T"))), "||"},
    // 2.3: a size of 6 without its own 4 bytes; 2.4: a synchsafe size counting itself.
    Row{{"V23ExtendedHeader"}, Tag(3, Bytes{0, 0, 0, 6, 0, 0, 0, 0, 0, 0} + Frame("TIT2", Latin("T")), 16, 0x40), "T||"},
    Row{{"V24ExtendedHeader"}, Tag(4, Bytes{0, 0, 0, 6, 1, 0} + Frame("TIT2", Latin("T"), 4), 16, 0x40), "T||"},
    Row{{"ExtendedHeaderBeyondTheTag"}, Tag(3, Bytes{0x7F, 0xFF, 0xFF, 0xFF} + Frame("TIT2", Latin("T")), 16, 0x40), "||"},
    Row{{"V22CompressedTag"}, Tag(2, Frame("TT2", Latin("T"), 2), 16, 0x40), "||"},
    // Header flag 0x80 in 2.3: FF FE stored as FF 00 FE, the frame's size counting the restored 7 bytes.
    Row{{"V23WholeTagUnsynchronised"}, Tag(3, B("TIT2") + Be(7, 4) + Bytes{0, 0} + StoredAB + Art, 16, 0x80), "AB|Art|"},
    Row{{"V22WholeTagUnsynchronised"},
        Tag(2, B("TT2") + Bytes{0, 0, 0xFF, 0x00} + Latin(std::string(254, 't')) + Frame("TP1", Latin("Art"), 2), 16, 0x80),
        std::string(254, 't') + "|Art|"},
    Row{{"WithoutFlagFF00Stays"}, Tag(3, Frame("TIT2", Bytes{0, 0x41, 0xFF, 0x00, 0x42})), std::string("A\xC3\xBF\0B||", 7)},
    Row{{"HugeFrameEndsTheWalk"},
        Tag(3, Art + B("TIT2") + Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0} + Latin("T") + Frame("TIT1", Latin("Lost"))), "|Art|"},
    Row{{"FrameRunsPastTheFile"}, Resized(B("ID3") + Bytes{3, 0, 0, 0, 0, 0, 30} + Art + B("TIT2") + Be(50, 6) + Latin("X"), 40),
        "|Art|"},
    Row{{"V24DataLengthIndicator"}, Flagged(4, 0x01, Bytes{0, 0, 0, 7} + Utf16AB), "AB||"},
    Row{{"V24GroupAndDataLength"}, Flagged(4, 0x41, Bytes{0x80, 0, 0, 0, 3, 0, 0x54, 0x69}), "Ti||"},
    Row{{"V24FrameUnsynchronised"}, Flagged(4, 0x02, StoredAB), "AB||"},
    Row{{"V24TagUnsynchronised"}, Flagged(4, 0, StoredAB, 0x80), "AB||"},
    Row{{"V24UnsyncAndDataLength"}, Flagged(4, 0x03, Bytes{0, 0, 0, 7} + StoredAB), "AB||"},
    Row{{"V24Compressed"}, Flagged(4, 0x09, Bytes{0, 0, 0, 9, 0x78, 0x9C, 0x63, 0x48, 0x4C, 0x02, 0, 1, 0x24}), "Group||"},
    Row{{"V24Encrypted"}, Flagged(4, 0x04, Bytes{0x80, 0x41, 0x42, 0x43}), "Group||"},
    Row{{"V23Compressed"}, Flagged(3, 0x80, Latin("Zip")), "Group||"},
    Row{{"V23Encrypted"}, Flagged(3, 0x40, Bytes{0x80, 0x41, 0x42, 0x43}), "Group||"},
    Row{{"V23GroupByte"}, Flagged(3, 0x20, Bytes{0x41, 0, 0x54, 0x69}), "Ti||"},
    Row{{"V23PlainFFKept"}, Flagged(3, 0, Bytes{1, 0xFF, 0xFE, 0xFF, 0x00, 0x41, 0}), "\xC3\xBF" "A||"},
    Row{{"Latin1"}, Title4(Latin("Caf\xE9")), "Caf\xC3\xA9||"},
    Row{{"Latin1TwoValues"}, Title4(Latin(std::string("A\0B\0\0", 5))), std::string("A\0B||", 5)},
    Row{{"Latin1FillingTheBlockKeepsItsLastLetter"}, Title4(Latin("\xE9" + std::string(497, 'a') + "\xE9" + std::string(9, 'b'))),
        "\xC3\xA9" + std::string(497, 'a') + "\xC3\xA9||"},
    // Only 500 bytes of a frame are read: a UTF-8 text may end inside a sequence.
    Row{{"Utf8CutInASequence"}, Title4(B("\3" + CutUtf8)), std::string(498, 'a') + "||"},
    Row{{"Latin1CutInAUtf8Sequence"}, Title4(Latin(CutUtf8)), std::string(498, 'a') + "||"},
    Row{{"Utf16LittleEndianMark"}, Title4(Utf16AB), "AB||"},
    Row{{"Utf16BigEndianMark"}, Title4(Bytes{1, 0xFE, 0xFF, 0, 0x41, 0, 0x42}), "AB||"},
    Row{{"Utf16NoMarkIsLittleEndian"}, Title4(Bytes{1, 0x41, 0, 0x42, 0}), "AB||"},
    Row{{"Utf16StopsAtZeroUnit"}, Title4(Bytes{1, 0xFF, 0xFE, 0x41, 0, 0, 0, 0x42, 0}), "A||"},
    Row{{"Utf16BE"}, Title4(Bytes{2, 0, 0x41, 0x65, 0xE5}), "A\xE6\x97\xA5||"},
    Row{{"Utf8"}, Title4(B("\3 \xC3\x9C" "ber ")), "\xC3\x9C" "ber||"},
    Row{{"UnknownEncodingDropped"}, Title4(B("\4Text")), "||"},
    // A comment's language and description are skipped.
    Row{{"CommentUtf16"}, Tag(3, Frame("COMM", Bytes{1} + B("eng") + Bytes{0x41, 0, 0, 0, 0xFF, 0xFE, 0x54, 0, 0x78, 0})),
        "||Tx"},
    Row{{"CommentLatin1"}, Tag(3, Frame("COMM", Latin(std::string("engdesc\0Latin text", 18)))), "||Latin text"},
    Row{{"CommentUtf8"}, Tag(4, Frame("COMM", B(std::string("\3engd\0\xC3\xA9t\xC3\xA9", 11)), 4)), "||\xC3\xA9t\xC3\xA9"},
    Row{{"CommentUtf16BE"}, Tag(4, Frame("COMM", Bytes{2} + B("eng") + Bytes{0, 0x41, 0, 0, 0, 0x42}, 4)), "||B"}),
    RowName());

// The genre after the last parenthesis; a track that is no 32-bit number is 0.
TEST(ID3v2, DerivedFields)
{
    for (const auto& [Text, Genre] : {std::pair<const char*, const char*>{"(13)", ""}, {"(1)(2)Mix", "Mix"}, {"Rock", "Rock"}})
        EXPECT_EQ(Read(Tag(3, Frame("TCON", Latin(Text)))).Genre, Genre) << Text;
    for (const char* Text : {"three", "99999999999"}) EXPECT_EQ(Read(Tag(3, Frame("TRCK", Latin(Text)))).Track, 0) << Text;
    EXPECT_EQ(TID3v2::ExtractText(Bytes{1, 0x41}.data(), 2, true), ""); // too short for the language
}

} // namespace
