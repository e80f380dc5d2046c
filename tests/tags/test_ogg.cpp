// TOggVorbis on real files made by oggenc, and on streams put together here
// for the cases no encoder writes.
#include "tags/OggVorbis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "tests/tags/TagTestKit.h"

using namespace tags;
using namespace tagtest;

namespace {

Bytes Page(uint64_t Granule, const Bytes& Lacing)
{
    // Version, type, granule, serial, sequence, checksum (not checked), segments.
    return B("OggS") + Bytes{0, 0} + Le(Granule, 8) + Le(77, 4) + Le(0, 8) + Bytes{uint8_t(Lacing.size())} + Lacing;
}

struct OggSpec {
    std::string Vendor = "test vendor";
    std::vector<std::string> Comments{};
    std::optional<uint32_t> Count{};  // stored comment count, when not the real one
    bool HugeFirstLength = false;   // the first comment claims 4 GiB - 1 bytes
    uint8_t Channels = 1;
    uint32_t Rate = 8000;
    int32_t Nominal = 64000;
    uint32_t LastGranule = 8000;    // one second
};

Bytes MakeOgg(const OggSpec& S)
{
    const Bytes Ident = Bytes{1} + B("vorbis") + Le(0, 4) + Bytes{S.Channels} + Le(S.Rate, 4) + Le(0, 4) +
                        Le(uint32_t(S.Nominal), 4) + Le(0, 4) + Bytes{0xB8, 1};
    Bytes Packet = Bytes{3} + B("vorbis") + Le(S.Vendor.size(), 4) + B(S.Vendor);
    Packet = Packet + Le(S.Count.value_or(S.Comments.size()), 4);
    for (const std::string& C : S.Comments)
        Packet = Packet + Le(S.HugeFirstLength && &C == &S.Comments[0] ? 0xFFFFFFFF : C.size(), 4) + B(C);
    Packet.push_back(1);
    Bytes Lacing(Packet.size() / 255, 255);
    Lacing.push_back(uint8_t(Packet.size() % 255));
    return Page(0, {30}) + Ident + Page(0, Lacing) + Packet + Bytes(100, 0x55) + Page(S.LastGranule, {20}) + Bytes(20, 0x66);
}

// Texts (the extra comments joined by ";"), vendor, validity and sample count.
std::string Summary(const TOggVorbis& Ogg)
{
    std::string Extra = Ogg.ExtraTag;
    std::replace(Extra.begin(), Extra.end(), '\0', ';');
    return Join({Ogg.Title, Ogg.Artist, Ogg.Comment, Extra, Ogg.Vendor,
                 (Ogg.IsValid() ? "valid " : "invalid ") + std::to_string(Ogg.Samples)});
}

TOggVorbis Read(const Bytes& File)
{
    TOggVorbis Ogg;
    EXPECT_TRUE(Ogg.ReadFromBytes(File.data(), File.size()));
    return Ogg;
}

TEST(Ogg, RealFiles)
{
    const std::string Xiph = "|Xiph.Org libVorbis I 20200704 (Reducing Environment)|valid ";
    const std::pair<const char*, std::string> Rows[] = {
        {"vorbis_tags.ogg", "Song One|Artist A|Hello|MOOD=calm" + Xiph + "4000"}, // written as "title="
        // The later title wins, trimmed; no ARTIST: PERFORMER; no COMMENT: DESCRIPTION.
        {"vorbis_padded.ogg", "Padded Title|Perf Only|Desc Only|" + Xiph + "4000"},
        {"vorbis_notags.ogg", "|||" + Xiph + "4000"},
        // A 70,000-byte comment first: the packet goes on over a second page,
        // where the title and artist lie behind the page header.
        {"vorbis_longcomment.ogg", "After Long|Long Artist||LYRICS=" + std::string(243, 'x') + Xiph + "4000"}};
    TOggVorbis Ogg;
    for (const auto& [File, Expected] : Rows) {
        ASSERT_TRUE(Ogg.ReadFromFile(Sample(File)));
        EXPECT_EQ(Summary(Ogg), Expected) << File;
    }
    ASSERT_TRUE(Ogg.ReadFromFile(Sample("vorbis_tags.ogg"))); // track "4/10"
    EXPECT_EQ(Join({Ogg.Album, Ogg.Date, std::to_string(Ogg.Track), std::to_string(Ogg.ChannelModeID),
                    std::to_string(Ogg.SampleRate), std::to_string(Ogg.SerialNumber), std::to_string(Ogg.ID3v2Size)}),
              "Café Album|2001|4|1|8000|1|0");
    // Cut inside the second page: what the first page holds still counts.
    EXPECT_EQ(Read(Resized(Load("vorbis_longcomment.ogg"), 66000)).ExtraTag, "LYRICS=" + std::string(243, 'x'));

    EXPECT_THROW(Ogg.ReadFromFile(Sample("missing.ogg")), EFOpenError);
}

class OggStreams : public ::testing::TestWithParam<Row> {};

TEST_P(OggStreams, Read) { EXPECT_EQ(Summary(Read(GetParam().File)), GetParam().Expected); }

INSTANTIATE_TEST_SUITE_P(Streams, OggStreams, ::testing::Values(
    // An ID3v2.3 header with a 20-byte body (synchsafe size) in front.
    Row{{"BehindAnID3v2Tag"}, B({"ID3\3\0\0\0\0\0\x14", 10}) + Bytes(20) + MakeOgg({.Comments = {"TITLE=Behind ID3"}}),
        "Behind ID3||||test vendor|valid 8000"},
    // A text without "=" does not replace the vendor.
    Row{{"NamesInAnyCase"}, MakeOgg({.Comments = {"title=lower", "NOEQUALS", "Artist=  Spaced  ", "x-odd=1", "y=2", "TITLE=2"}}),
        "2|Spaced||X-ODD=1;Y=2|test vendor|valid 8000"},
    // A vendor with "=" leaves the slot free for the first text without one.
    Row{{"VendorLooksLikeAComment"}, MakeOgg({.Vendor = "VENDOR=looks like a comment", .Comments = {"NOEQUALS", "LATER"}}),
        "|||VENDOR=looks like a comment|NOEQUALS|valid 8000"},
    Row{{"Latin1NameShownAsText"}, MakeOgg({.Vendor = "v", .Comments = {"D\xC9J\xC0=vu"}}),
        "|||D\xC3\x89J\xC3\x80=vu|v|valid 8000"},
    Row{{"LongCommentKeeps250Bytes"}, MakeOgg({.Comments = {"COMMENT=" + std::string(292, 'c'), "TITLE=After Long"}}),
        "After Long||" + std::string(242, 'c') + "||test vendor|valid 8000"},
    Row{{"CountBeyondThePacket"}, MakeOgg({.Comments = {"TITLE=t"}, .Count = 0x7FFFFFFF}), "t||||test vendor|valid 8000"},
    Row{{"NegativeCount"}, MakeOgg({.Comments = {"TITLE=t"}, .Count = uint32_t(-5)}), "||||test vendor|valid 8000"},
    // A comment that claims 4 GiB takes what follows as its text (up to 250
    // bytes), and the rest of the packet is skipped.
    Row{{"LengthOf4GiB"}, MakeOgg({.Comments = {"TITLE=t", "ARTIST=a"}, .HugeFirstLength = true}),
        std::string("t\b\0\0\0ARTIST=a||||test vendor|valid 8000", 39)},
    // The last page is looked for in the last 12,060 bytes; without it the
    // nominal bit rate gives the duration.
    Row{{"LastPage12000BytesBeforeTheEnd"}, MakeOgg({}) + Bytes(12000), "||||test vendor|valid 8000"},
    Row{{"LastPageOutOfReach"}, MakeOgg({}) + Bytes(12100), "||||test vendor|valid 0"},
    Row{{"SixChannels"}, MakeOgg({.Channels = 6, .Nominal = 0}), "||||test vendor|valid 8000"},
    Row{{"SevenChannels"}, MakeOgg({.Channels = 7, .Nominal = 0}), "||||test vendor|invalid 8000"},
    Row{{"NoChannels"}, MakeOgg({.Channels = 0, .Nominal = 0}), "||||test vendor|invalid 8000"},
    Row{{"NoRate"}, MakeOgg({.Rate = 0, .Nominal = 0}), "||||test vendor|invalid 8000"},
    Row{{"RateKeepsItsLow16Bits"}, MakeOgg({.Rate = 65536, .Nominal = 0}), "||||test vendor|invalid 8000"},
    Row{{"TenthOfASecondIsTooShort"}, MakeOgg({.Nominal = 0, .LastGranule = 800}), "||||test vendor|invalid 800"}),
    RowName());

TEST(Ogg, TrackNumbersAndCommentText)
{
    const std::pair<const char*, int> Tracks[] = {{"4/10", 4}, {"12", 12}, {"", 0}, {"x", 0}, {"3a", 0},
                                                  {"300", 44}, {"-1", 255}, {"/5", 0}, {"99999999999", 0}};
    for (const auto& [Text, Track] : Tracks) EXPECT_EQ(TOggVorbis::ExtractTrack(Text), Track) << Text;
    // Beyond U+FFFF: a surrogate pair, and the text goes on; a bad or cut sequence ends the text.
    const std::pair<std::string, std::u16string> Texts[] = {
        {"\xC3\xA9\xE2\x82\xAC", u"\u00E9\u20AC"}, {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"a\xF0\x9F\x8E\xB5 b", u"a\U0001F3B5 b"}, {"ab\xC3\x41z", u"ab"}, {"ab\xC3", u"ab"}, {"ab\xE2\x82", u"ab"},
        {"a\xF0\x9F\x8E", u"a"}, {"a\xF0\x9F\x41\xB5z", u"a"}, {"a\xF4\x90\x80\x80z", u"a"}};
    for (const auto& [In, Out] : Texts) EXPECT_EQ(UTF8Decode(In), Out) << In;
    EXPECT_EQ(DecodeCommentValue("\xF0\x9F\x8E\xB5 Love"), "\xF0\x9F\x8E\xB5 Love");
    EXPECT_EQ(DecodeCommentValue("\xED\xA0\x80"), "\xEF\xBF\xBD"); // a lone surrogate shows as U+FFFD
}

} // namespace
