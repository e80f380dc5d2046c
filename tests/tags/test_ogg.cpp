// TOggVorbis on real files made by oggenc, and on streams put together here
// for the cases no encoder writes.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tags/OggVorbis.h"
#include "tests/common/TempTree.h"

using namespace tags;

namespace {

std::vector<uint8_t> LoadSample(const std::string& Name)
{
    std::ifstream In(std::string(CORVANE_SAMPLES) + "/" + Name, std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

void Put32(std::vector<uint8_t>& Out, uint32_t V)
{
    for (int I = 0; I < 4; ++I) Out.push_back(uint8_t(V >> (8 * I)));
}

void PutBytes(std::vector<uint8_t>& Out, const std::string& S) { Out.insert(Out.end(), S.begin(), S.end()); }

void PageHeader(std::vector<uint8_t>& Out, uint32_t Granule, uint32_t Serial, const std::vector<uint8_t>& Lacing)
{
    PutBytes(Out, "OggS");
    Out.push_back(0);          // version
    Out.push_back(0);          // header type
    Put32(Out, Granule);
    Put32(Out, 0);
    Put32(Out, Serial);
    Put32(Out, 0);             // sequence
    Put32(Out, 0);             // checksum: not checked by the reader
    Out.push_back(uint8_t(Lacing.size()));
    Out.insert(Out.end(), Lacing.begin(), Lacing.end());
}

struct OggSpec {
    std::string Prefix;                 // bytes before the stream, e.g. an ID3v2 tag
    std::string Vendor = "test vendor";
    std::vector<std::string> Comments;
    std::optional<uint32_t> CountOverride; // stored comment count, when not the real one
    uint32_t Rate = 8000;
    uint8_t Channels = 1;
    int32_t Nominal = 64000;
    uint32_t LastGranule = 8000;        // one second
    size_t Gap = 100;                   // audio bytes before the last page
};

std::vector<uint8_t> MakeOgg(const OggSpec& S)
{
    std::vector<uint8_t> Out(S.Prefix.begin(), S.Prefix.end());
    PageHeader(Out, 0, 77, {30});
    Out.push_back(1);
    PutBytes(Out, "vorbis");
    Put32(Out, 0);
    Out.push_back(S.Channels);
    Put32(Out, S.Rate);
    Put32(Out, 0);
    Put32(Out, uint32_t(S.Nominal));
    Put32(Out, 0);
    Out.push_back(0xB8);
    Out.push_back(1);

    std::vector<uint8_t> Packet;
    Packet.push_back(3);
    PutBytes(Packet, "vorbis");
    Put32(Packet, uint32_t(S.Vendor.size()));
    PutBytes(Packet, S.Vendor);
    Put32(Packet, S.CountOverride.value_or(uint32_t(S.Comments.size())));
    for (const std::string& C : S.Comments) {
        Put32(Packet, uint32_t(C.size()));
        PutBytes(Packet, C);
    }
    Packet.push_back(1);
    std::vector<uint8_t> Lacing;
    size_t Left = Packet.size();
    while (Left >= 255) { Lacing.push_back(255); Left -= 255; }
    Lacing.push_back(uint8_t(Left));
    PageHeader(Out, 0, 77, Lacing);
    Out.insert(Out.end(), Packet.begin(), Packet.end());
    Out.insert(Out.end(), S.Gap, 0x55);
    PageHeader(Out, S.LastGranule, 77, {20});
    Out.insert(Out.end(), 20, 0x66);
    return Out;
}

TOggVorbis Read(const std::vector<uint8_t>& Bytes, bool* Result = nullptr)
{
    TOggVorbis Ogg;
    bool R = Ogg.ReadFromBytes(Bytes.data(), Bytes.size());
    if (Result) *Result = R;
    return Ogg;
}

} // namespace

TEST(OggVorbisFile, ReadsTagsAndStreamFactsOfARealFile)
{
    TOggVorbis Ogg;
    ASSERT_TRUE(Ogg.ReadFromFile(std::string(CORVANE_SAMPLES) + "/vorbis_tags.ogg"));
    EXPECT_TRUE(Ogg.IsValid());
    EXPECT_EQ(Ogg.Title, "Song One");          // written as "title="
    EXPECT_EQ(Ogg.Artist, "Artist A");
    EXPECT_EQ(Ogg.Album, "Café Album");        // UTF-8 decoded and back
    EXPECT_EQ(Ogg.Date, "2001");
    EXPECT_EQ(Ogg.Comment, "Hello");
    EXPECT_EQ(Ogg.Track, 4);                   // "4/10"
    EXPECT_EQ(Ogg.ExtraTag, "MOOD=calm");
    EXPECT_EQ(Ogg.ChannelModeID, 1);
    EXPECT_EQ(Ogg.SampleRate, 8000);
    EXPECT_EQ(Ogg.Samples, 4000);              // half a second
    EXPECT_EQ(Ogg.SerialNumber, 1u);
    EXPECT_EQ(Ogg.ID3v2Size, 0);
    EXPECT_EQ(Ogg.Vendor.rfind("Xiph.Org", 0), 0u) << Ogg.Vendor;
    EXPECT_NEAR(Ogg.GetDuration(), 0.5, 1e-9);
}

TEST(OggVorbisFile, LastTitleWinsAndFallbacksApply)
{
    TOggVorbis Ogg;
    ASSERT_TRUE(Ogg.ReadFromFile(std::string(CORVANE_SAMPLES) + "/vorbis_padded.ogg"));
    EXPECT_EQ(Ogg.Title, "Padded Title");      // the later comment, trimmed
    EXPECT_EQ(Ogg.Artist, "Perf Only");        // no ARTIST: PERFORMER
    EXPECT_EQ(Ogg.Comment, "Desc Only");       // no COMMENT: DESCRIPTION
    EXPECT_TRUE(Ogg.IsValid());
}

TEST(OggVorbisFile, NoCommentsStillValid)
{
    TOggVorbis Ogg;
    ASSERT_TRUE(Ogg.ReadFromFile(std::string(CORVANE_SAMPLES) + "/vorbis_notags.ogg"));
    EXPECT_TRUE(Ogg.IsValid());
    EXPECT_EQ(Ogg.Title, "");
    EXPECT_FALSE(Ogg.Vendor.empty());
}

TEST(OggVorbisFile, OtherInputIsRejectedAndAMissingFileRaises)
{
    corvane_test::TempTree T;
    TOggVorbis Ogg;
    EXPECT_FALSE(Ogg.ReadFromFile(T.File("empty.ogg")));
    EXPECT_FALSE(Ogg.ReadFromFile(std::string(CORVANE_SAMPLES) + "/flac_tags.flac"));
    EXPECT_FALSE(Ogg.ReadFromFile(std::string(CORVANE_SAMPLES) + "/rm_tags.rm"));
    EXPECT_EQ(Ogg.Title, "");
    EXPECT_THROW(Ogg.ReadFromFile(T.Path("missing.ogg")), EFOpenError);
}

TEST(OggVorbisStream, ReadAfterAnID3v2Tag)
{
    OggSpec S;
    // ID3v2.3 header with a 20-byte body (synchsafe size), then the body.
    S.Prefix = std::string("ID3\x03\x00\x00\x00\x00\x00\x14", 10) + std::string(20, '\0');
    S.Comments = {"TITLE=Behind ID3"};
    TOggVorbis Ogg = Read(MakeOgg(S));
    EXPECT_EQ(Ogg.ID3v2Size, 30);
    EXPECT_EQ(Ogg.Title, "Behind ID3");
    EXPECT_TRUE(Ogg.IsValid());
}

TEST(OggVorbisStream, CommentNamesAndVendor)
{
    OggSpec S;
    S.Comments = {"title=lower", "NOEQUALS", "Artist=  Spaced  ", "x-odd=1", "y=2", "TITLE=again"};
    TOggVorbis Ogg = Read(MakeOgg(S));
    EXPECT_EQ(Ogg.Title, "again");
    EXPECT_EQ(Ogg.Artist, "Spaced");
    EXPECT_EQ(Ogg.Vendor, "test vendor");          // a comment without "=" does not replace it
    EXPECT_EQ(Ogg.ExtraTag, std::string("X-ODD=1\0Y=2", 11));

    S.Vendor = "VENDOR=looks like a comment";     // then the vendor slot stays free...
    S.Comments = {"NOEQUALS", "LATER"};
    Ogg = Read(MakeOgg(S));
    EXPECT_EQ(Ogg.Vendor, "NOEQUALS");             // ...for the first text without "="
    EXPECT_EQ(Ogg.ExtraTag, "VENDOR=looks like a comment");

    // An unknown name in ISO-8859-1 is shown as text, like the vendor.
    S.Vendor = "v";
    S.Comments = {"D\xC9J\xC0=vu"};
    Ogg = Read(MakeOgg(S));
    EXPECT_EQ(Ogg.ExtraTag, "D\xC3\x89J\xC3\x80=vu");
}

TEST(OggVorbisStream, LongCommentKeeps250BytesAndTheNextIsFound)
{
    OggSpec S;
    S.Comments = {"COMMENT=" + std::string(292, 'c'), "TITLE=After Long"};
    TOggVorbis Ogg = Read(MakeOgg(S));
    EXPECT_EQ(Ogg.Comment, std::string(250 - 8, 'c'));
    EXPECT_EQ(Ogg.Title, "After Long");
}

TEST(OggVorbisStream, LastPageTooFarFromTheEndFallsBackToTheNominalRate)
{
    OggSpec S;
    S.Comments = {"TITLE=t"};
    std::vector<uint8_t> Near = MakeOgg(S);
    EXPECT_EQ(Read(Near).Samples, 8000);

    std::vector<uint8_t> Far = Near;
    Far.insert(Far.end(), 12100, 0); // trailing junk pushes the last "OggS" out of reach
    TOggVorbis Ogg = Read(Far);
    EXPECT_EQ(Ogg.Samples, 0);
    EXPECT_EQ(Ogg.BitRateNominal, 64);
    EXPECT_NEAR(Ogg.GetDuration(), double(Far.size()) / 64 / 1 / 125 * 2, 1e-9);
    EXPECT_TRUE(Ogg.IsValid());
}

TEST(OggVorbisStream, ValidityNeedsChannelsRateAndDuration)
{
    struct Case { uint8_t Channels; uint32_t Rate; uint32_t Granule; bool Valid; };
    const Case Cases[] = {
        {1, 8000, 8000, true}, {6, 8000, 8000, true}, {7, 8000, 8000, false},
        {0, 8000, 8000, false}, {1, 0, 8000, false},
        {1, 8000, 800, false},  // 0.1 s is not enough
        {1, 65536, 8000, false}, // only the low 16 bits of the rate are kept
    };
    for (const Case& C : Cases) {
        OggSpec S;
        S.Channels = C.Channels;
        S.Rate = C.Rate;
        S.LastGranule = C.Granule;
        S.Nominal = 0;
        EXPECT_EQ(Read(MakeOgg(S)).IsValid(), C.Valid) << int(C.Channels) << " " << C.Rate << " " << C.Granule;
    }
}

TEST(OggVorbisStream, DamagedCountsAndLengthsEndAtTheData)
{
    OggSpec S;
    S.Comments = {"TITLE=t"};
    S.CountOverride = 0x7FFFFFFF;
    bool Ok = false;
    TOggVorbis Ogg = Read(MakeOgg(S), &Ok);
    EXPECT_TRUE(Ok);
    EXPECT_EQ(Ogg.Title, "t");

    S.Comments = {"TITLE=t"};
    S.CountOverride = uint32_t(-5);                         // negative: no comments
    EXPECT_EQ(Read(MakeOgg(S)).Title, "");

    OggSpec Two;
    Two.Comments = {"TITLE=t", "ARTIST=a"};
    std::vector<uint8_t> Bytes = MakeOgg(Two);
    // The first comment claims 4 GiB - 1 bytes: the rest of the file is skipped.
    const size_t LengthAt = 28 + 30 + 28 + 7 + 4 + 11 + 4;
    ASSERT_EQ(Bytes[LengthAt], 7);
    for (int I = 0; I < 4; ++I) Bytes[LengthAt + I] = 0xFF;
    Ogg = Read(Bytes, &Ok);
    EXPECT_TRUE(Ok);
    EXPECT_EQ(Ogg.Artist, "");
}

TEST(OggVorbisStream, EveryTruncationIsSafe)
{
    const std::vector<uint8_t> Whole = LoadSample("vorbis_tags.ogg");
    ASSERT_GT(Whole.size(), 1000u);
    for (size_t N = 0; N < Whole.size(); N += (N < 200 ? 1 : 37)) {
        std::vector<uint8_t> Part(Whole.begin(), Whole.begin() + long(N));
        bool Ok = false;
        TOggVorbis Ogg = Read(Part, &Ok);
        if (N < 35) { // before the end of "vorbis"
            EXPECT_FALSE(Ok) << N;
        }
        (void)Ogg.IsValid();
    }
}

TEST(OggVorbisHelpers, ExtractTrack)
{
    struct Case { const char* Text; int Track; };
    const Case Cases[] = {{"4/10", 4}, {"12", 12}, {"", 0}, {"x", 0}, {"3a", 0},
                          {"300", 44}, {"-1", 255}, {"/5", 0}, {"99999999999", 0}};
    for (const Case& C : Cases) EXPECT_EQ(TOggVorbis::ExtractTrack(C.Text), C.Track) << C.Text;
}

TEST(OggVorbisFile, ACommentPacketOverSeveralPagesIsReadAcrossThePageHeader)
{
    // oggenc put a 70,000-byte comment first; the packet goes on over a
    // second page, where the title and artist lie behind the page header.
    TOggVorbis Ogg;
    ASSERT_TRUE(Ogg.ReadFromFile(std::string(CORVANE_SAMPLES) + "/vorbis_longcomment.ogg"));
    EXPECT_TRUE(Ogg.IsValid());
    EXPECT_EQ(Ogg.Title, "After Long");
    EXPECT_EQ(Ogg.Artist, "Long Artist");
    EXPECT_EQ(Ogg.ExtraTag, "LYRICS=" + std::string(243, 'x'));

    // Cut inside the second page: what the first page holds still counts.
    std::vector<uint8_t> Bytes = LoadSample("vorbis_longcomment.ogg");
    Bytes.resize(66000);
    Ogg = Read(Bytes);
    EXPECT_EQ(Ogg.Title, "");
    EXPECT_EQ(Ogg.ExtraTag, "LYRICS=" + std::string(243, 'x'));
}

TEST(OggVorbisHelpers, UTF8Decode)
{
    struct Case { std::string In; std::u16string Out; };
    const Case Cases[] = {
        {"\xC3\xA9", u"\u00E9"},
        {"\xE2\x82\xAC", u"\u20AC"},
        {"ab\xC3\x41z", u"ab"},        // a bad continuation ends the text
        {"ab\xC3", u"ab"},             // a lead byte at the end
        {"ab\xE2\x82", u"ab"},         // a three-byte sequence cut short
        {"a\xF0\x9F\x8E\xB5 b", u"a\U0001F3B5 b"}, // beyond U+FFFF: a surrogate pair, and the text goes on
        {"a\xF0\x9F\x8E", u"a"},      // a four-byte sequence cut short
        {"a\xF0\x9F\x41\xB5z", u"a"}, // a bad continuation in it
        {"a\xF4\x90\x80\x80z", u"a"}, // above U+10FFFF
        {"plain", u"plain"},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const Case& C : Cases) EXPECT_EQ(UTF8Decode(C.In), C.Out) << C.In;
    EXPECT_EQ(DecodeCommentValue("Caf\xC3\xA9"), "Café");
    // Two titles that differ only after an emoji stay different.
    EXPECT_EQ(DecodeCommentValue("\xF0\x9F\x8E\xB5 Love"), "\xF0\x9F\x8E\xB5 Love");
    EXPECT_EQ(DecodeCommentValue("\xED\xA0\x80"), "\xEF\xBF\xBD"); // a lone surrogate shows as U+FFFD
}
