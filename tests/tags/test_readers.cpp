// What the readers share (text conversions, the bounded byte source) and
// every reader at once: ReadMusicTags (the reader chosen by extension, the
// four trimmed strings, what each kind of bad input gives), and every reader
// on every truncation of a real sample.
#include "tags/MusicTags.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>

#include "tags/ByteReader.h"
#include "tags/FLACfile.h"
#include "tags/ID3v2.h"
#include "tags/OggVorbis.h"
#include "tags/RealMediaFile.h"
#include "tags/TextCodec.h"
#include "tags/WMAfile.h"
#include "tests/common/TempTree.h"
#include "tests/tags/TagTestKit.h"

using namespace tags;
using namespace tagtest;

namespace {

TEST(TextCodec, Utf8Validity)
{
    const std::pair<std::string, bool> Rows[] = {
        {"Title", true}, {std::string("A\0B", 3), true}, {"Caf\xC3\xA9", true}, {"\xE6\x97\xA5", true},
        {"\xF0\x9F\x8E\xB5", true}, {"Caf\xE9", false}, {"\x80", false}, {"\xC0\x80", false},
        {"\xE0\x80\x80", false} /* overlong */, {"\xED\xA0\x80", false} /* surrogate */,
        {"\xF4\x90\x80\x80", false} /* above U+10FFFF */, {"ab\xE6\x97", false}};
    for (const auto& [Text, Valid] : Rows) EXPECT_EQ(IsValidUtf8(Text), Valid) << Text;
}

std::string Decimal(const char* Text)
{
    int32_t V = -99;
    return ParseDecimal(Text, V) ? std::to_string(V) : "no";
}

TEST(TextCodec, Conversions)
{
    const std::pair<std::string, std::string> Rows[] = {
        {Utf16ToUtf8(u"A\xE9\xD83C\xDFB5"), "A\xC3\xA9\xF0\x9F\x8E\xB5"},
        {Utf16ToUtf8(u"A\xD83C"), "A\xEF\xBF\xBD"}, // a lone surrogate, as a cut text leaves it: no invalid UTF-8
        {TrimControl(std::string("\0 \t Title \r\n\0", 13)), "Title"},
        {TrimControl(std::string("A\0B", 3)), std::string("A\0B", 3)},
        {TrimControl("\xC3\xA9 "), "\xC3\xA9"}, {Utf16ToUtf8(TrimControl(std::u16string(u"\0 X\x0001", 4))), "X"},
        {FirstCodePoints("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 4), "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"}, // never cut
        {Decimal("+4") + Decimal("-3") + Decimal("007"), "4-37"},
        {Decimal("2147483647") + " " + Decimal("-2147483648"), "2147483647 -2147483648"},
        {Decimal("2147483648") + Decimal("99999999999999999999") + Decimal("") + Decimal("-") + Decimal("3 ") +
             Decimal("12a") + Decimal("0x1F"),
         "nonononononono"}};
    for (const auto& [Got, Expected] : Rows) EXPECT_EQ(Got, Expected);
}

TEST(ByteSource, ReadsOnlyWhatTheDataHolds)
{
    const uint8_t Data[4] = {1, 2, 3, 4};
    TByteSource S(Data, 4);
    uint8_t Out[4] = {};
    EXPECT_TRUE(S.ReadAt(1, Out, 3));
    EXPECT_EQ(Out[2], 4);
    EXPECT_TRUE(S.ReadAt(4, Out, 0));
    EXPECT_FALSE(S.ReadAt(2, Out, 3));
    EXPECT_FALSE(S.ReadAt(5, Out, 0));
    EXPECT_FALSE(S.ReadAt(UINT64_MAX, Out, 2)); // Offset + Count must not wrap

    corvane_test::TempTree Tree;
    TByteSource File(Tree.File("ten", {.Content = "0123456789"}));
    EXPECT_EQ(File.Size(), 10u);
    EXPECT_TRUE(File.ReadAt(8, Out, 2));
    EXPECT_EQ(std::string(Out, Out + 2), "89");
    EXPECT_FALSE(File.ReadAt(9, Out, 2));
    // Only regular files: a FIFO would block the scan for ever.
    for (const std::string& Path : {Tree.Path("missing"), Tree.Root(), Tree.Fifo("pipe")})
        EXPECT_FALSE(TByteSource(Path).IsOpen()) << Path;
}

std::string Joined(const std::vector<std::string>& List)
{
    std::string S = std::to_string(List.size());
    for (const std::string& Item : List) S += "|" + Item;
    return S;
}

struct MusicRow {
    const char* Sample;   // "" for an empty file
    const char* Name;     // the name it is read under
    std::string Expected; // count, then the strings
    std::string Tail = ""; // bytes put after the sample's
};

class MusicTagsTable : public ::testing::TestWithParam<MusicRow> {};

TEST_P(MusicTagsTable, ReadsTheFourStrings)
{
    corvane_test::TempTree T;
    const Bytes Content = (*GetParam().Sample ? Load(GetParam().Sample) : Bytes{}) + B(GetParam().Tail);
    std::vector<std::string> List = {"stale"};
    const int Count = ReadMusicTags(T.File(GetParam().Name, {.Content = std::string(Content.begin(), Content.end())}), List);
    EXPECT_EQ(Count, int(List.size()));
    EXPECT_EQ(Joined(List), GetParam().Expected);
}

// An ID3v1 tag (title, artist, year) padded with zero bytes.
std::string ID3v1Tag(const std::string& Title, const std::string& Artist)
{
    return "TAG" + Title + std::string(30 - Title.size(), '\0') + Artist + std::string(30 - Artist.size(), '\0') +
           std::string(30, '\0') + "1998" + std::string(30, '\0') + '\xFF';
}

INSTANTIATE_TEST_SUITE_P(Files, MusicTagsTable, ::testing::Values(
    MusicRow{"vorbis_tags.ogg", "song.ogg", "4|Song One|Artist A|2001|Hello"},
    MusicRow{"vorbis_padded.ogg", "pad.ogg", "4|Padded Title|Perf Only||Desc Only"},
    MusicRow{"vorbis_notags.ogg", "none.ogg", "4||||"}, MusicRow{"flac_streaminfo_only.flac", "bare.flac", "4||||"},
    MusicRow{"vorbis_longcomment.ogg", "long.ogg", "4|After Long|Long Artist||"},
    MusicRow{"flac_tags.flac", "song.flac", "4|Song One|Artist A|2001|Hello"},
    MusicRow{"flac_picture.flac", "pic.flac", "4|Padded Title|Artist B||"},
    MusicRow{"rm_tags.rm", "song.rm", "4|RM Title|RM Author|(c) 2003|RM Comment"},
    MusicRow{"rm_two_streams.rm", "two.rm", "4|Two Streams|Author B||"}, MusicRow{"rm_notags.rm", "none.rm", "4||||"},
    MusicRow{"id3v1_only.mp3", "v1.mp3", "4|Song Title|Some Artist|2004|A comment"},
    MusicRow{"id3v23_latin1.mp3", "v2.mp3", "4|Café Song|The Artist|1999|Latin comment"},
    MusicRow{"id3_both.mp3", "both.mp3", "4|V1 Title|V1 Artist||"}, MusicRow{"id3_none.mp3", "none.mp3", "0"},
    // An ID3v1 tag comes first, even with a blank title (trimmed at both ends).
    MusicRow{"id3v23_latin1.mp3", "v1.mp3", "4|V1 Title|V1 Artist|1998|", ID3v1Tag("V1 Title", "V1 Artist")},
    MusicRow{"id3v23_latin1.mp3", "blank.mp3", "4||V1 Artist|1998|", ID3v1Tag("   ", "V1 Artist")},
    MusicRow{"id3v23_latin1.mp3", "pad.mp3", "4|Pad|A|1998|", ID3v1Tag("  Pad\t ", "A")},
    MusicRow{"wma_mono.wma", "song.wma", "4|WMA Title|WMA Artist|2007|WMA comment"},
    MusicRow{"tags_padded.wma", "pad.wma", "4|Padded WMA|WMA Artist||"},
    // The extension decides, in any letter case, from the last dot of the file's own name.
    MusicRow{"vorbis_tags.ogg", "SONG.OGG", "4|Song One|Artist A|2001|Hello"},
    MusicRow{"flac_tags.flac", "Song.FlaC", "4|Song One|Artist A|2001|Hello"},
    MusicRow{"rm_tags.rm", "SONG.RM", "4|RM Title|RM Author|(c) 2003|RM Comment"},
    MusicRow{"id3v1_only.mp3", "SONG.MP3", "4|Song Title|Some Artist|2004|A comment"},
    MusicRow{"wma_mono.wma", "SONG.Wma", "4|WMA Title|WMA Artist|2007|WMA comment"},
    MusicRow{"vorbis_tags.ogg", ".ogg", "4|Song One|Artist A|2001|Hello"}, MusicRow{"vorbis_tags.ogg", "song", "0"},
    MusicRow{"vorbis_tags.ogg", "dir.ogg/song", "0"}, MusicRow{"vorbis_tags.ogg", "song.ogg.bak", "0"},
    MusicRow{"id3v1_only.mp3", "song.mp2", "0"}, MusicRow{"id3v1_only.mp3", "song.m4a", "0"},
    MusicRow{"rm_tags.rm", "song.ra", "0"},
    // Another format's content, or none, under a known extension.
    MusicRow{"flac_tags.flac", "f.ogg", "0"}, MusicRow{"vorbis_tags.ogg", "o.flac", "0"}, MusicRow{"rm_tags.rm", "r.mp3", "0"},
    MusicRow{"vorbis_tags.ogg", "o.rm", "0"}, MusicRow{"id3_none.mp3", "m.wma", "0"}, MusicRow{"", "e.ogg", "0"},
    MusicRow{"", "e.flac", "0"}, MusicRow{"", "e.rm", "0"}, MusicRow{"", "e.mp3", "0"}, MusicRow{"", "e.wma", "0"}),
    [](const auto& Info) {
        std::string Name = std::string(*Info.param.Sample ? Info.param.Sample : "empty") + "_as_" + Info.param.Name;
        for (char& C : Name)
            if (!std::isalnum(static_cast<unsigned char>(C))) C = '_';
        return Name;
    });

TEST(MusicTags, MissingFilesGiveNoTags)
{
    corvane_test::TempTree T;
    std::vector<std::string> Seen;
    SetRMWarningHandler([&](const std::string& Text, const std::string&) { Seen.push_back(Text); });
    std::vector<std::string> List;
    for (const char* Name : {"gone.mp3", "gone.wma", "gone.rm", "gone.ogg", "gone.flac"})
        EXPECT_EQ(ReadMusicTags(T.Path(Name), List), 0) << Name;
    // A file of another format under ".rm" is an unknown chunk; the RealMedia
    // reader says so itself, through the process-wide handler.
    EXPECT_EQ(ReadMusicTags(T.File("ogg.rm", {.Content = "OggS and more"}), List), 0);
    SetRMWarningHandler(nullptr);
    EXPECT_EQ(Seen, (std::vector<std::string>{"找不到指定文件", "在文件0位置，找到未知的标记头标识：OggS"}));
}

// Every reader on every truncation of a real sample: the read fails until a
// known point and succeeds from there on, whatever it reads of a cut file is
// the whole file's text (or a cut of it, or nothing), and once the part that
// holds the tags is whole, the texts are the whole file's. The fuzz targets
// hunt crashes; this table checks the results.
struct TCut {
    bool Ok;
    std::vector<std::string> Texts;
    bool Complete; // the part that holds the tags was read whole
};

struct SweepRow : Named {
    const char* Sample;
    std::function<TCut(const uint8_t*, size_t)> Read;
    size_t FirstOk;          // the shortest length that reads
    bool CutTexts = false;   // a text may come out cut where the file was
};

class Truncation : public ::testing::TestWithParam<SweepRow> {};

TEST_P(Truncation, EveryLengthReadsWhatIsThere)
{
    const SweepRow& Row = GetParam();
    const Bytes File = Load(Row.Sample);
    const TCut Whole = Row.Read(File.data(), File.size());
    ASSERT_TRUE(Whole.Ok && Whole.Complete);
    for (size_t N = 0; N < File.size(); ++N) {
        SCOPED_TRACE(N);
        const TCut Cut = Row.Read(File.data(), N);
        ASSERT_EQ(Cut.Ok, N >= Row.FirstOk);
        for (size_t I = 0; I < Whole.Texts.size(); ++I) {
            if (Cut.Complete) {
                ASSERT_EQ(Cut.Texts[I], Whole.Texts[I]);
            } else if (!Cut.Texts[I].empty()) {
                ASSERT_EQ(Row.CutTexts ? Whole.Texts[I].substr(0, Cut.Texts[I].size()) : Whole.Texts[I], Cut.Texts[I]);
            }
        }
    }
}

TCut ReadID3v2(const uint8_t* Data, size_t N)
{
    TID3v2 T;
    const bool Ok = T.ReadFromBytes(Data, N);
    return {Ok, {T.Title, T.Artist, T.Comment}, T.Size > 0};
}
TCut ReadFlac(const uint8_t* Data, size_t N)
{
    TFLACfile F;
    const bool Ok = F.ReadFromBytes(Data, N);
    return {Ok, {F.Title, F.Artist, F.Comment}, F.VorbisIndex > 0 && uint64_t(F.VCOffset + F.TagSize) <= N};
}
TCut ReadOgg(const uint8_t* Data, size_t N)
{
    TOggVorbis O;
    const bool Ok = O.ReadFromBytes(Data, N);
    return {Ok, {O.Title, O.Artist, O.Comment, O.Vendor}, O.Samples > 0}; // audio pages follow the headers
}
TCut ReadWma(const uint8_t* Data, size_t N)
{
    TWMAfile W;
    const bool Ok = W.ReadFromBytes(Data, N) && W.Valid; // valid only once the header object was walked
    return {Ok, {W.Title, W.Artist, W.Album, W.Comment}, W.Valid};
}
TCut ReadRm(const uint8_t* Data, size_t N)
{
    TRMFile Rm;
    Rm.OnWarning = [](const std::string&, const std::string&) {};
    Rm.ReadFromBytes(Data, N);
    const TContent* C = Rm.GetContent();
    return {C != nullptr, {C ? C->Title : "", C ? C->Author : "", C ? C->Comment : ""}, Rm.DataHeader != nullptr};
}

INSTANTIATE_TEST_SUITE_P(Readers, Truncation, ::testing::Values(
    SweepRow{{"ID3v23Utf16"}, "id3v23_utf16.mp3", ReadID3v2, 10},
    SweepRow{{"ID3v24Utf8"}, "id3v24_utf8.mp3", ReadID3v2, 10},
    SweepRow{{"ID3v22"}, "id3v22.mp3", ReadID3v2, 10},
    SweepRow{{"FLAC"}, "flac_picture.flac", ReadFlac, 25},          // STREAMINFO up to a sample count
    SweepRow{{"OggVorbis"}, "vorbis_tags.ogg", ReadOgg, 35, true},  // "vorbis" of the first packet is whole
    SweepRow{{"WMA"}, "wma_mono.wma", ReadWma, 756 + 20},           // the header's last object's GUID and size
    SweepRow{{"RealMedia"}, "rm_two_streams.rm", ReadRm, 78, true}), // the content chunk's header, at 68
    RowName());

} // namespace
