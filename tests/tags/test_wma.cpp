// WMA reader: samples written by ffmpeg, then ASF headers built here for the
// validity rule, the descriptors and damaged input.
#include "tags/WMAfile.h"

#include <gtest/gtest.h>

#include <tuple>

#include "tests/tags/TagTestKit.h"

using namespace tags;
using namespace tagtest;

namespace {

Bytes Utf16(const std::u16string& S)
{
    Bytes Out;
    for (char16_t C : S) Out = Out + Le(C, 2);
    return Out;
}
Bytes Text(const std::u16string& S) { return Utf16(S + u'\0'); }

Bytes Guid(uint32_t A, uint16_t B2, uint16_t C, uint16_t D, uint64_t E)
{
    return Le(A, 4) + Le(B2, 2) + Le(C, 2) + Be(D, 2) + Be(E, 6);
}
const Bytes HeaderGuid = Guid(0x75B22630, 0x668E, 0x11CF, 0xA6D9, 0x00AA0062CE6C);
const Bytes FileGuid = Guid(0x8CABDCA1, 0xA947, 0x11CF, 0x8EE4, 0x00C00C205365);
const Bytes StreamGuid = Guid(0xB7DC0791, 0xA9B7, 0x11CF, 0x8EE6, 0x00C00C205365);
const Bytes ContentGuid = Guid(0x75B22633, 0x668E, 0x11CF, 0xA6D9, 0x00AA0062CE6C);
const Bytes ExtendedGuid = Guid(0xD2D0A440, 0xE307, 0x11D2, 0x97F0, 0x00A0C95EA850);
const Bytes OtherGuid = Guid(0x12345678, 1, 2, 3, 4);

Bytes Object(const Bytes& ID, const Bytes& Body) { return ID + Le(24 + Body.size(), 8) + Body; }
Bytes FileProps(uint32_t MaxBitRate) { return Object(FileGuid, Bytes(76) + Le(MaxBitRate, 4) + Bytes(4)); }
Bytes StreamProps(uint16_t Channels, uint32_t Rate, uint32_t ByteRate)
{
    return Object(StreamGuid, Bytes(54) + Le(0x161, 2) + Le(Channels, 2) + Le(Rate, 4) + Le(ByteRate, 4) + Bytes(8));
}
Bytes Stream(uint32_t MaxBitRate = 128000, uint16_t Channels = 2, uint32_t Rate = 44100, uint32_t ByteRate = 16000)
{
    return FileProps(MaxBitRate) + StreamProps(Channels, Rate, ByteRate);
}
Bytes Content(const std::u16string& Title, const std::u16string& Author, const std::u16string& Description)
{
    const Bytes T = Text(Title), A = Text(Author), C = Utf16(u"(c)"), D = Text(Description);
    return Object(ContentGuid, Le(T.size(), 2) + Le(A.size(), 2) + Le(6, 2) + Le(D.size(), 2) + Le(0, 2) + T + A + C + D);
}
// Descriptors: name, value type, value.
Bytes Extended(const std::vector<std::tuple<std::u16string, uint16_t, Bytes>>& List, uint16_t Count = 0)
{
    Bytes Body = Le(Count ? Count : List.size(), 2);
    for (const auto& [Name, Type, Value] : List)
        Body = Body + Le(Text(Name).size(), 2) + Text(Name) + Le(Type, 2) + Le(Value.size(), 2) + Value;
    return Object(ExtendedGuid, Body);
}
// The header object around the objects (their count given, or counted), then some data.
Bytes Header(const std::vector<Bytes>& Objects, uint32_t Count = 0)
{
    Bytes All;
    for (const Bytes& O : Objects) All = All + O;
    if (Count == 0) // count them by their sizes
        for (size_t Pos = 0; Pos + 24 <= All.size(); ++Count) Pos += All[Pos + 16] | All[Pos + 17] << 8;
    return HeaderGuid + Le(30 + All.size(), 8) + Le(Count, 4) + Bytes{1, 2} + All + Bytes(100, 0x55);
}

std::string Summary(const TWMAfile& W)
{
    return Join({std::to_string(W.Valid) + " " + std::to_string(W.ChannelModeID) + " " + std::to_string(W.SampleRate) + " " +
                     std::to_string(W.BitRate),
                 W.Title, W.Artist, W.Album, W.Year, W.Genre, W.Comment, std::to_string(W.Track)});
}

TEST(WMA, Samples)
{
    const std::pair<const char*, std::string> Rows[] = {
        {"wma_mono.wma", "1 1 22050 32|WMA Title|WMA Artist|WMA Album|2007|Pop|WMA comment|7"},
        {"wma_longtitle.wma", "1 2 44100 128|" + std::string(250, 'T') + "|Artist|||||0"}, // cut to 250
        {"id3v1_only.mp3", "0 0 0 0|||||||0"}};
    for (const auto& [File, Expected] : Rows) {
        TWMAfile W;
        EXPECT_TRUE(W.ReadFromFile(Sample(File)));
        EXPECT_EQ(Summary(W), Expected) << File;
    }
    EXPECT_FALSE(TWMAfile().ReadFromFile(Sample("missing.wma")));
}

// Maximum bit rate, channels, sample rate and byte rate decide; only a valid file has texts.
TEST(WMA, Validity)
{
    const std::tuple<uint32_t, uint16_t, uint32_t, uint32_t, bool> Rows[] = {
        {128000, 1, 44100, 16000, true}, {319999, 2, 96000, 39999, true}, {1, 1, 8000, 1, true},
        {128000, 3, 44100, 16000, false}, {128000, 0, 44100, 16000, false}, {128000, 2, 7999, 16000, false},
        {128000, 2, 96001, 16000, false}, {320000, 2, 44100, 16000, false}, {0, 2, 44100, 16000, false},
        {128000, 2, 44100, 40000, false}, {128000, 2, 44100, 0, false}};
    for (const auto& [MaxBitRate, Channels, Rate, ByteRate, Valid] : Rows) {
        const Bytes File = Header({Stream(MaxBitRate, Channels, Rate, ByteRate), Content(u"T", u"A", u"D")});
        TWMAfile W;
        EXPECT_TRUE(W.ReadFromBytes(File.data(), File.size()));
        EXPECT_EQ(W.Title, Valid ? "T" : "") << MaxBitRate << " " << Channels << " " << Rate << " " << ByteRate;
    }
}

// Rows: "failed" when the read fails, then the summary.
class WMAHeaders : public ::testing::TestWithParam<Row> {};

TEST_P(WMAHeaders, Read)
{
    TWMAfile W;
    const bool Ok = W.ReadFromBytes(GetParam().File.data(), GetParam().File.size());
    EXPECT_EQ((Ok ? "" : "failed ") + Summary(W), GetParam().Expected);
}

// A valid stereo stream, then the objects.
Row Tags(const char* Name, const std::vector<Bytes>& Objects, const std::string& Expected)
{
    std::vector<Bytes> All = {Stream()};
    All.insert(All.end(), Objects.begin(), Objects.end());
    return {{Name}, Header(All), "1 2 44100 128|" + Expected};
}

const std::string Invalid = "0 0 0 0|||||||0";

INSTANTIATE_TEST_SUITE_P(Headers, WMAHeaders, ::testing::Values(
    Tags("TrimmedAndCut", {Content(u"  Title \t", std::u16string(300, u'a'), u"\u00e9t\u00e9 ")},
         "Title|" + std::string(250, 'a') + "||||\xC3\xA9t\xC3\xA9|0"),
    // "WM/TrackNumber" is no name of ours.
    Tags("NamesTrimmedInAnyCase", {Extended({{u"wm/albumtitle ", 0, Text(u"Album")}, {u" WM/Genre", 0, Text(u"Jazz")},
                                             {u"WM/Year", 0, Text(u"2001")}, {u"WM/TrackNumber", 0, Text(u"9")}})},
         "||Album|2001|Jazz||0"),
    // A value of another type sets no text, and the next descriptor is still found.
    Tags("NumericValuesSkipped", {Extended({{u"WM/TRACK", 3, Le('7', 4)}, {u"WM/TITLE", 0, Text(u"After")},
                                            {u"WM/ALBUMTITLE", 2, Le('1', 4)}, {u"WM/GENRE", 0, Text(u"Pop")}})},
         "After||||Pop||0"),
    Tags("ExtendedAfterContentWins", {Content(u"Std", u"A", u""), Extended({{u"WM/TITLE", 0, Text(u"Ext")}})}, "Ext|A|||||0"),
    Tags("ContentAfterExtendedWins", {Extended({{u"WM/TITLE", 0, Text(u"Ext")}}), Content(u"Std", u"A", u"")}, "Std|A|||||0"),
    Tags("Track", {Extended({{u"WM/TRACK", 0, Text(u" 12 ")}})}, "||||||12"),
    Tags("TrackOfTotal", {Extended({{u"WM/TRACK", 0, Text(u"3/10")}})}, "||||||0"),
    // A 5-byte value: two units kept, the odd byte skipped, the next descriptor found.
    Tags("OddLength", {Extended({{u"WM/TITLE", 0, Utf16(u"Ab") + Bytes{'!'}}, {u"WM/GENRE", 0, Text(u"Rock")}})},
         "Ab||||Rock||0"),
    // Only the last stream properties count.
    Row{{"LastStreamPropertiesCount"}, Header({Stream(128000, 1), StreamProps(2, 22050, 8000)}), "1 2 22050 64|||||||0"},
    Row{{"NotAsf"}, B("Not an ASF file.!"), Invalid},
    Row{{"ShortGuid"}, Bytes(HeaderGuid.begin(), HeaderGuid.begin() + 15), "failed " + Invalid},
    Row{{"MoreObjectsClaimedThanPresent"}, Header({Stream()}, 1000), "failed " + Invalid},
    // A size of 0 (or too small for an object header) has no known end and ends the walk.
    Row{{"ZeroSizeObjectEndsTheWalk"}, Header({Stream(), Content(u"T", u"", u""), OtherGuid + Bytes(16)}, 4000000000u),
        "1 2 44100 128|T||||||0"},
    Row{{"TinyObjectEndsTheWalk"}, Header({Stream(), OtherGuid + Le(1, 8) + Bytes(40)}, 4000000000u),
        "1 2 44100 128|||||||0"},
    // A string longer than its object is cut at the object's end, not filled from the objects after it.
    Tags("StringBeyondItsObject", {Object(ContentGuid, Le(120, 2) + Bytes(8) + Utf16(std::u16string(u"Short\0", 6))),
                                   Extended({{u"WM/AUTHOR", 0, Text(u"Author")}})}, "Short|Author|||||0"),
    Tags("StringOfFFFFBytes", {Object(ContentGuid, Le(0xFFFF, 2) + Bytes(8) + Utf16(u"T"))}, "T||||||0"),
    Row{{"StringBeyondTheFile"}, Header({Stream(), ContentGuid + Le(100000, 8) + Le(0xFFFF, 2) + Bytes(8) + Utf16(u"T")}),
        "failed " + Invalid},
    // Too many descriptors claimed: those held count, and the objects after it are read.
    Tags("DescriptorCountBeyondItsObject", {Extended({{u"WM/YEAR", 0, Text(u"2001")}}, 0xFFFF), Content(u"Next", u"", u"")},
         "Next|||2001|||0"),
    // Stream properties too short for their fields are not taken from the next object's bytes.
    Row{{"StreamPropertiesCutShort"},
        Header({FileProps(128000), Object(StreamGuid, Bytes(8)), Object(OtherGuid, Bytes(24) + Le(2, 2) + Le(44100, 4) + Le(9, 4))}),
        Invalid},
    Row{{"WholeStreamPropertiesAfterCutOnes"},
        Header({FileProps(128000), Object(StreamGuid, Bytes(40)), StreamProps(1, 22050, 8000), Content(u"After", u"", u"")}),
        "1 1 22050 64|After||||||0"},
    // An object claiming 4 GiB is skipped over; the walk ends at the file's end.
    Row{{"ObjectOf4GiB"}, Header({Stream(), OtherGuid + Le(0xFFFFFFFF, 8) + Bytes(8), Content(u"Lost", u"", u"")}, 4),
        "failed " + Invalid}),
    RowName());

} // namespace
