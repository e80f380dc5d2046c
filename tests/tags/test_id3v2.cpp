// ID3v2 reader: samples written by mutagen (2.3, 2.4) and a hand-made 2.2
// tag, then built tags for the frame walk, the encodings and damaged input.
#include "tags/ID3v2.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

using namespace tags;

namespace {

const std::string Samples = CORVANE_SAMPLES;
using Bytes = std::vector<uint8_t>;

Bytes B(const std::string& S) { return Bytes(S.begin(), S.end()); }
Bytes operator+(Bytes A, const Bytes& C)
{
    A.insert(A.end(), C.begin(), C.end());
    return A;
}

Bytes SizeBytes(uint32_t N, int Version)
{
    if (Version == 2) return {uint8_t(N >> 16), uint8_t(N >> 8), uint8_t(N)};
    if (Version == 4) return {uint8_t(N >> 21 & 127), uint8_t(N >> 14 & 127), uint8_t(N >> 7 & 127), uint8_t(N & 127)};
    return {uint8_t(N >> 24), uint8_t(N >> 16), uint8_t(N >> 8), uint8_t(N)};
}

Bytes Frame(const std::string& ID, const Bytes& Data, int Version = 3, uint8_t Flags2 = 0)
{
    Bytes F = B(ID) + SizeBytes(uint32_t(Data.size()), Version);
    if (Version != 2) F = F + Bytes{0, Flags2};
    return F + Data;
}

// A tag with the given frames and padding, followed by some audio bytes.
Bytes Tag(int Version, const Bytes& Frames, size_t Padding = 16, uint8_t Flags = 0)
{
    uint32_t N = uint32_t(Frames.size() + Padding);
    Bytes Header = B("ID3") + Bytes{uint8_t(Version), 0, Flags} + SizeBytes(N, 4);
    return Header + Frames + Bytes(Padding, 0) + Bytes(64, 0xFF);
}

TID3v2 Read(const Bytes& File)
{
    TID3v2 T;
    EXPECT_TRUE(T.ReadFromBytes(File.data(), File.size()));
    return T;
}

TEST(ID3v2Samples, Version23Latin1EveryField)
{
    TID3v2 T;
    ASSERT_TRUE(T.ReadFromFile(Samples + "/id3v23_latin1.mp3"));
    EXPECT_TRUE(T.Exists);
    EXPECT_EQ(T.VersionID, 3);
    EXPECT_EQ(T.Size, 2 * 128 + 0x50 + 10); // synchsafe 00 00 02 50
    EXPECT_EQ(T.Title, "Caf\xC3\xA9 Song");
    EXPECT_EQ(T.Artist, "The Artist");
    EXPECT_EQ(T.Album, "Album");
    EXPECT_EQ(T.Track, 3);
    EXPECT_EQ(T.TrackString, "3/12");
    EXPECT_EQ(T.Year, "1999");
    EXPECT_EQ(T.Genre, "Rock");
    EXPECT_EQ(T.Comment, "Latin comment");
    EXPECT_EQ(T.Composer, "Composer");
    EXPECT_EQ(T.Encoder, "Encoder");
    EXPECT_EQ(T.Copyright, "Copyright");
    EXPECT_EQ(T.Language, "eng");
    EXPECT_EQ(T.Link, "http://example.org/");
    EXPECT_EQ(T.OrigArtist, "Original");
}

TEST(ID3v2Samples, Version23Utf16WithPictureBeforeComment)
{
    TID3v2 T;
    ASSERT_TRUE(T.ReadFromFile(Samples + "/id3v23_utf16.mp3"));
    // The letter U+00FF stays, and a character beyond U+FFFF comes out whole.
    EXPECT_EQ(T.Title, "\xE6\x97\xA5\xE6\x9C\xAC \xC3\xBF Title \xF0\x9F\x8E\xB5");
    EXPECT_EQ(T.Artist, "K\xC3\xB6nig");
    EXPECT_EQ(T.Comment, "Unicode comment " + std::string(200, 'y'));
}

TEST(ID3v2Samples, Version24Utf8Utf16BEAndSynchsafeFrameSizes)
{
    TID3v2 T;
    ASSERT_TRUE(T.ReadFromFile(Samples + "/id3v24_utf8.mp3"));
    EXPECT_EQ(T.VersionID, 4);
    EXPECT_EQ(T.Title, "\xC3\x9C" "ber Song");
    EXPECT_EQ(T.Artist, "Big Endian");
    EXPECT_EQ(T.Year, "2004");
    EXPECT_EQ(T.Composer, "After Picture");
    // The comment lies behind a picture of more than 127 bytes.
    EXPECT_EQ(T.Comment, "UTF-8 comment " + std::string(200, 'x'));
}

TEST(ID3v2Samples, SecondChoiceFramesAndOtherFormats)
{
    TID3v2 T;
    ASSERT_TRUE(T.ReadFromFile(Samples + "/id3v24_fallback.mp3"));
    EXPECT_EQ(T.Title, "Group Title");
    EXPECT_EQ(T.Album, "Original Album");
    EXPECT_EQ(T.Genre, "Jazz");

    ASSERT_TRUE(T.ReadFromFile(Samples + "/id3v22.mp3"));
    EXPECT_EQ(T.VersionID, 2);
    EXPECT_EQ(T.Title, "Old Title");
    EXPECT_EQ(T.Artist, "Old Artist");
    EXPECT_EQ(T.Year, "1987");
    EXPECT_EQ(T.Comment, "Old comment");

    ASSERT_TRUE(T.ReadFromFile(Samples + "/id3_both.mp3"));
    EXPECT_EQ(T.Title, "V2 Title");

    for (const char* Name : {"id3_none.mp3", "id3v1_only.mp3", "wma_mono.wma"}) {
        EXPECT_TRUE(T.ReadFromFile(Samples + "/" + Name)) << Name;
        EXPECT_FALSE(T.Exists) << Name;
        EXPECT_EQ(T.Size, 0);
    }
}

TEST(ID3v2Header, FooterAddsTenAndOversizeGivesZero)
{
    Bytes File = Tag(3, Frame("TIT2", B(std::string("\0T", 2))), 16, 0x10);
    TID3v2 T = Read(File);
    EXPECT_EQ(T.Size, int32_t(Frame("TIT2", B(std::string("\0T", 2))).size() + 16 + 20));
    EXPECT_EQ(T.Title, "T");

    File.resize(40); // the tag claims more than the file holds
    T = Read(File);
    EXPECT_TRUE(T.Exists);
    EXPECT_EQ(T.Size, 0);
    EXPECT_EQ(T.Title, "");

    // Size bytes are taken whole: 0xFF makes an absurd size, not a crash.
    Bytes Absurd = B("ID3") + Bytes{3, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF} + Frame("TIT2", B(std::string("\0T", 2)));
    T = Read(Absurd);
    EXPECT_EQ(T.Size, 0);
}

TEST(ID3v2Header, UnknownVersionKeepsSizeButNoTexts)
{
    Bytes File = Tag(5, Frame("TIT2", B(std::string("\0T", 2))));
    TID3v2 T = Read(File);
    EXPECT_TRUE(T.Exists);
    EXPECT_EQ(T.VersionID, 5);
    EXPECT_GT(T.Size, 0);
    EXPECT_EQ(T.Title, "");
}

TEST(ID3v2Walk, LongFrameCountsFirst500BytesAndIsSkippedWhole)
{
    Bytes Long = B(std::string(1, '\0')) + B(std::string(1999, 'a'));
    Bytes File = Tag(3, Frame("TIT2", Long) + Frame("TPE1", B(std::string("\0Next", 5))));
    TID3v2 T = Read(File);
    EXPECT_EQ(T.Title, std::string(499, 'a'));
    EXPECT_EQ(T.Artist, "Next");
}

TEST(ID3v2Walk, PaddingExtendedHeaderAndFlaggedFramesStopOrSkip)
{
    // Zero padding ends the walk: nothing behind it is read.
    Bytes File = Tag(3, Frame("TIT2", B(std::string("\0T", 2))) + Bytes(4, 0) + Frame("TPE1", B(std::string("\0A", 2))), 0);
    TID3v2 T = Read(File);
    EXPECT_EQ(T.Title, "T");
    EXPECT_EQ(T.Artist, "");

    // Bytes that look like an extended header while the header's flag 0x40
    // is clear are taken for frames, and end the walk.
    T = Read(Tag(3, Bytes{0, 0, 0, 6, 0, 0, 0, 0, 0, 0} + Frame("TIT2", B(std::string("\0T", 2)))));
    EXPECT_EQ(T.Title, "");

    // Bit 0x80 of the second flag byte (compressed in 2.3): not taken.
    T = Read(Tag(3, Frame("TIT2", B(std::string("\0Zip", 4)), 3, 0x80) + Frame("TIT1", B(std::string("\0Group", 6)))));
    EXPECT_EQ(T.Title, "Group");
}

TEST(ID3v2Walk, LongUtf8TextCutInASequenceStaysUtf8)
{
    // Only 500 bytes of the frame are read: the block ends inside the "é".
    const std::string Text = std::string(498, 'a') + "\xC3\xA9" + std::string(100, 'b');
    for (char Encoding : {'\3', '\0'}) {
        TID3v2 T = Read(Tag(4, Frame("TIT2", B(std::string(1, Encoding) + Text), 4)));
        EXPECT_EQ(T.Title, std::string(498, 'a')) << int(Encoding);
    }
    // ISO-8859-1 text that fills the block keeps its last letter.
    const std::string Latin = "\xE9" + std::string(497, 'a') + "\xE9" + std::string(100, 'b');
    TID3v2 T = Read(Tag(3, Frame("TIT2", B(std::string(1, '\0') + Latin))));
    EXPECT_EQ(T.Title, "\xC3\xA9" + std::string(497, 'a') + "\xC3\xA9");
}

TEST(ID3v2Walk, AnExtendedHeaderIsPassedOver)
{
    const Bytes Title = Frame("TIT2", B(std::string("\0T", 2)));
    // 2.3: a size of 6 that does not count its own 4 bytes (flags, padding size).
    TID3v2 T = Read(Tag(3, Bytes{0, 0, 0, 6, 0, 0, 0, 0, 0, 0} + Title, 16, 0x40));
    EXPECT_EQ(T.Title, "T");
    // 2.4: a synchsafe size of 6 that counts itself (flag byte count, flags).
    T = Read(Tag(4, Bytes{0, 0, 0, 6, 1, 0} + Frame("TIT2", B(std::string("\0T", 2)), 4), 16, 0x40));
    EXPECT_EQ(T.Title, "T");
    // A size beyond the tag: nothing is read, and nothing outside the file.
    T = Read(Tag(3, Bytes{0x7F, 0xFF, 0xFF, 0xFF} + Title, 16, 0x40));
    EXPECT_TRUE(T.Exists);
    EXPECT_EQ(T.Title, "");
    // 2.2 with flag 0x40: a compressed tag, not read.
    T = Read(Tag(2, Frame("TT2", B(std::string("\0T", 2)), 2), 16, 0x40));
    EXPECT_EQ(T.Title, "");
}

TEST(ID3v2Walk, AWholeUnsynchronisedTagIsRestoredBeforeTheWalk)
{
    // 2.3, header flag 0x80: the UTF-16 mark FF FE was stored as FF 00 FE,
    // and the frame's size counts the restored bytes (7), not the stored 8.
    const Bytes Stored = B("TIT2") + Bytes{0, 0, 0, 7, 0, 0} + Bytes{1, 0xFF, 0x00, 0xFE, 0x41, 0, 0x42, 0};
    TID3v2 T = Read(Tag(3, Stored + Frame("TPE1", B(std::string("\0Art", 4))), 16, 0x80));
    EXPECT_EQ(T.Title, "AB");
    EXPECT_EQ(T.Artist, "Art");
    // 2.2 alike, and a frame size byte of FF stored as FF 00.
    const Bytes Old = B("TT2") + Bytes{0, 0, 0xFF, 0x00} + Bytes{0} + B(std::string(254, 't')) + Frame("TP1", B(std::string("\0Art", 4)), 2);
    T = Read(Tag(2, Old, 16, 0x80));
    EXPECT_EQ(T.Title, std::string(254, 't'));
    EXPECT_EQ(T.Artist, "Art");
    // Without the flag, FF 00 stays as it is.
    T = Read(Tag(3, Frame("TIT2", Bytes{0, 0x41, 0xFF, 0x00, 0x42}) + Frame("TPE1", B(std::string("\0Art", 4)))));
    EXPECT_EQ(T.Title, std::string("A\xC3\xBF\0B", 5));
}

TEST(ID3v2Walk, LaterFrameReplacesEarlierOne)
{
    TID3v2 T = Read(Tag(3, Frame("TIT2", B(std::string("\0One", 4))) + Frame("TIT2", B(std::string("\0Two", 4)))));
    EXPECT_EQ(T.Title, "Two");
}

TEST(ID3v2Walk, Version24FrameSizesAreSynchsafe)
{
    // 200 bytes: synchsafe 00 00 01 48, which read plainly would be 328.
    Bytes Big = Bytes{0} + B(std::string(199, 'p'));
    TID3v2 T = Read(Tag(4, Frame("TXXX", Big, 4) + Frame("TIT2", B(std::string("\3After", 6)), 4)));
    EXPECT_EQ(T.Title, "After");
}

struct FlagCase {
    const char* Name;
    int Version;
    uint8_t TagFlags;
    uint8_t FrameFlags;
    Bytes Data; // the frame's data as stored
    std::string Title;
};

class ID3v2FrameFlags : public ::testing::TestWithParam<FlagCase> {};

// The frame's extra bytes are skipped, unsynchronised bytes restored, and a
// compressed or encrypted frame gives way to the second-choice title.
TEST_P(ID3v2FrameFlags, TitleComesOutRight)
{
    const FlagCase& C = GetParam();
    TID3v2 T = Read(Tag(C.Version, Frame("TIT2", C.Data, C.Version, C.FrameFlags) +
                                       Frame("TIT1", B(std::string("\0Group", 6)), C.Version), 16, C.TagFlags));
    EXPECT_EQ(T.Title, C.Title);
}

INSTANTIATE_TEST_SUITE_P(Table, ID3v2FrameFlags, ::testing::Values(
    FlagCase{"V24DataLengthIndicator", 4, 0, 0x01, Bytes{0, 0, 0, 7, 1, 0xFF, 0xFE, 0x41, 0, 0x42, 0}, "AB"},
    FlagCase{"V24GroupAndDataLength", 4, 0, 0x41, Bytes{0x80, 0, 0, 0, 3, 0, 0x54, 0x69}, "Ti"},
    FlagCase{"V24FrameUnsynchronised", 4, 0, 0x02, Bytes{1, 0xFF, 0x00, 0xFE, 0x41, 0, 0x42, 0}, "AB"},
    FlagCase{"V24TagUnsynchronised", 4, 0x80, 0, Bytes{1, 0xFF, 0x00, 0xFE, 0x41, 0, 0x42, 0}, "AB"},
    FlagCase{"V24UnsyncAndDataLength", 4, 0, 0x03, Bytes{0, 0, 0, 7, 1, 0xFF, 0x00, 0xFE, 0x41, 0, 0x42, 0}, "AB"},
    FlagCase{"V24Compressed", 4, 0, 0x09, Bytes{0, 0, 0, 9, 0x78, 0x9C, 0x63, 0x48, 0x4C, 0x02, 0, 0x01, 0x24}, "Group"},
    FlagCase{"V24Encrypted", 4, 0, 0x04, Bytes{0x80, 0x41, 0x42, 0x43}, "Group"},
    FlagCase{"V23Encrypted", 3, 0, 0x40, Bytes{0x80, 0x41, 0x42, 0x43}, "Group"},
    FlagCase{"V23GroupByte", 3, 0, 0x20, Bytes{0x41, 0, 0x54, 0x69}, "Ti"},
    FlagCase{"V23PlainFFKept", 3, 0, 0, Bytes{1, 0xFF, 0xFE, 0xFF, 0x00, 0x41, 0}, "\xC3\xBF" "A"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(ID3v2Walk, Version22UsesThreeLetterIDs)
{
    TID3v2 T = Read(Tag(2, Frame("TT2", B(std::string("\0Two", 4)), 2) + Frame("TIT2", B(std::string("\0X", 2)), 2)));
    EXPECT_EQ(T.Title, "Two");
}

struct TextCase {
    const char* Name;
    Bytes Data;
    std::string Expected;
};

class ID3v2Encoding : public ::testing::TestWithParam<TextCase> {};

TEST_P(ID3v2Encoding, TitleDecodes)
{
    TID3v2 T = Read(Tag(4, Frame("TIT2", GetParam().Data, 4)));
    EXPECT_EQ(T.Title, GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ID3v2Encoding, ::testing::Values(
    TextCase{"Latin1", B(std::string("\0Caf\xE9", 5)), "Caf\xC3\xA9"},
    TextCase{"Latin1HoldingUtf8", B(std::string("\0Caf\xC3\xA9", 6)), "Caf\xC3\xA9"},
    TextCase{"Latin1TwoValues", B(std::string("\0A\0B\0\0", 6)), std::string("A\0B", 3)},
    TextCase{"Utf16LittleEndianMark", Bytes{1, 0xFF, 0xFE, 0x41, 0, 0x42, 0}, "AB"},
    TextCase{"Utf16BigEndianMark", Bytes{1, 0xFE, 0xFF, 0, 0x41, 0, 0x42}, "AB"},
    TextCase{"Utf16NoMarkIsLittleEndian", Bytes{1, 0x41, 0, 0x42, 0}, "AB"},
    TextCase{"Utf16StopsAtZeroUnit", Bytes{1, 0xFF, 0xFE, 0x41, 0, 0, 0, 0x42, 0}, "A"},
    TextCase{"Utf16KeepsLetterFF", Bytes{1, 0xFF, 0xFE, 0xFF, 0x00, 0xFF, 0x30}, "\xC3\xBF\xE3\x83\xBF"},
    TextCase{"Utf16BE", Bytes{2, 0, 0x41, 0x65, 0xE5}, "A\xE6\x97\xA5"},
    TextCase{"Utf8", B("\3 \xC3\x9C" "ber "), "\xC3\x9C" "ber"},
    TextCase{"UnknownEncodingDropped", B("\4Text"), ""}),
    [](const auto& Info) { return std::string(Info.param.Name); });

struct DeriveCase {
    const char* Name;
    std::string FrameID;
    std::string Text;
    std::string Field;
    std::string Expected;
};

class ID3v2Derive : public ::testing::TestWithParam<DeriveCase> {};

TEST_P(ID3v2Derive, Field)
{
    const DeriveCase& C = GetParam();
    TID3v2 T = Read(Tag(3, Frame(C.FrameID, B(std::string(1, '\0') + C.Text))));
    std::string Got = C.Field == "Genre" ? T.Genre : C.Field == "Year" ? T.Year
                    : C.Field == "Track" ? std::to_string(T.Track) : T.TrackString;
    EXPECT_EQ(Got, C.Expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ID3v2Derive, ::testing::Values(
    DeriveCase{"GenreNumberOnly", "TCON", "(13)", "Genre", ""},
    DeriveCase{"GenreNumberAndName", "TCON", "(17)Rock", "Genre", "Rock"},
    DeriveCase{"GenreLastParen", "TCON", "(1)(2)Mix", "Genre", "Mix"},
    DeriveCase{"GenrePlain", "TCON", "Rock", "Genre", "Rock"},
    DeriveCase{"TrackOfTotal", "TRCK", "3/12", "Track", "3"},
    DeriveCase{"TrackStringKept", "TRCK", "3/12", "TrackString", "3/12"},
    DeriveCase{"TrackNotANumber", "TRCK", "three", "Track", "0"},
    DeriveCase{"TrackTooLarge", "TRCK", "99999999999", "Track", "0"},
    DeriveCase{"YearFromRecordingTime", "TDRC", "2004-05-06", "Year", "2004"},
    DeriveCase{"YearFirstChoice", "TYER", "1999", "Year", "1999"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(ID3v2Comment, DescriptionAndLanguageAreSkipped)
{
    // UTF-16 description "A" (41 00), terminator 00 00, then the text.
    Bytes Comm = Bytes{1} + B("eng") + Bytes{0x41, 0, 0, 0, 0xFF, 0xFE, 0x54, 0, 0x78, 0};
    TID3v2 T = Read(Tag(3, Frame("COMM", Comm)));
    EXPECT_EQ(T.Comment, "Tx");

    T = Read(Tag(3, Frame("COMM", B(std::string("\0engdesc\0Latin text", 19)))));
    EXPECT_EQ(T.Comment, "Latin text");

    T = Read(Tag(4, Frame("COMM", B(std::string("\3engd\0\xC3\xA9t\xC3\xA9", 11)), 4)));
    EXPECT_EQ(T.Comment, "\xC3\xA9t\xC3\xA9");

    T = Read(Tag(4, Frame("COMM", Bytes{2} + B("eng") + Bytes{0, 0x41, 0, 0, 0, 0x42}, 4)));
    EXPECT_EQ(T.Comment, "B");

    T = Read(Tag(3, Frame("WXXX", B(std::string("\0home\0http://x/", 15)))));
    EXPECT_EQ(T.Link, "http://x/");

    // Too short to hold even the language: no out-of-range read.
    EXPECT_EQ(TID3v2::ExtractText(Bytes{1, 0x41}.data(), 2, true), "");
}

TEST(ID3v2Damaged, TruncatedAndAbsurdFramesEndTheWalkKeepingWhatWasRead)
{
    Bytes File = Tag(3, Frame("TPE1", B(std::string("\0Kept", 5))) + Frame("TIT2", B(std::string("\0Lost title", 11))), 0);
    File.resize(File.size() - 64 - 4); // cut inside the title's data
    TID3v2 T;
    EXPECT_TRUE(T.ReadFromBytes(File.data(), File.size()));
    // The tag is now larger than the file: Size 0 and no walk.
    EXPECT_EQ(T.Size, 0);

    // A frame that claims 4 GiB inside a tag that fits the file.
    Bytes Huge = B("TIT2") + Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0, 0} + B(std::string("\0T", 2));
    T = Read(Tag(3, Frame("TPE1", B(std::string("\0Kept", 5))) + Huge + Frame("TALB", B(std::string("\0Lost", 5)))));
    EXPECT_EQ(T.Artist, "Kept");
    EXPECT_EQ(T.Title, "");
    EXPECT_EQ(T.Album, "");

    // A frame running past the end of the file.
    Bytes Cut = B("ID3") + Bytes{3, 0, 0, 0, 0, 0, 30} + Frame("TPE1", B(std::string("\0Kept", 5))) + B("TIT2") +
                Bytes{0, 0, 0, 50, 0, 0, 0};
    Cut.resize(40);
    T = Read(Cut);
    EXPECT_EQ(T.Artist, "Kept");
    EXPECT_EQ(T.Title, "");
}

TEST(ID3v2Damaged, ShortEmptyMissingAndForeignFiles)
{
    TID3v2 T;
    Bytes Nine = B("ID3") + Bytes{3, 0, 0, 0, 0, 0};
    EXPECT_FALSE(T.ReadFromBytes(Nine.data(), Nine.size()));
    EXPECT_FALSE(T.Exists);
    EXPECT_FALSE(T.ReadFromBytes(nullptr, 0));
    Bytes Header = Nine + Bytes{0};
    EXPECT_TRUE(T.ReadFromBytes(Header.data(), Header.size()));
    EXPECT_TRUE(T.Exists);
    EXPECT_EQ(T.Size, 10);
    Bytes Text = B("Just some text file.");
    EXPECT_TRUE(T.ReadFromBytes(Text.data(), Text.size()));
    EXPECT_FALSE(T.Exists);

    auto Dir = std::filesystem::temp_directory_path() / ("corvane-id3v2-" + std::to_string(::getpid()));
    std::filesystem::create_directories(Dir);
    std::ofstream((Dir / "empty.mp3").string(), std::ios::binary);
    EXPECT_FALSE(T.ReadFromFile((Dir / "empty.mp3").string()));
    EXPECT_FALSE(T.ReadFromFile((Dir / "missing.mp3").string()));
    std::filesystem::remove_all(Dir);
}

TEST(ID3v2Damaged, EveryTruncationOfTheSamplesIsSafe)
{
    for (const char* Name : {"id3v23_utf16.mp3", "id3v24_utf8.mp3", "id3v22.mp3"}) {
        std::ifstream In(Samples + "/" + Name, std::ios::binary);
        Bytes File((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
        ASSERT_GT(File.size(), 100u) << Name;
        TID3v2 Whole = Read(File);
        for (size_t N = 0; N < File.size(); ++N) {
            TID3v2 T;
            EXPECT_EQ(T.ReadFromBytes(File.data(), N), N >= 10) << Name << " " << N;
            // Whatever is read from a cut tag is the whole tag's text or nothing.
            if (!T.Title.empty()) {
                EXPECT_EQ(T.Title, Whole.Title) << Name << " " << N;
            }
        }
    }
}

} // namespace
