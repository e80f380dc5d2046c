// WMA reader: samples written by ffmpeg, then built ASF headers for the
// validity test, the descriptors and damaged input.
#include "tags/WMAfile.h"

#include "tags/ID3v1.h"
#include "tags/ID3v2.h"
#include "tags/TextCodec.h"

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

Bytes operator+(Bytes A, const Bytes& C)
{
    A.insert(A.end(), C.begin(), C.end());
    return A;
}
Bytes Le16(uint16_t V) { return {uint8_t(V), uint8_t(V >> 8)}; }
Bytes Le32(uint32_t V) { return Le16(uint16_t(V)) + Le16(uint16_t(V >> 16)); }
Bytes Le64(uint64_t V) { return Le32(uint32_t(V)) + Le32(uint32_t(V >> 32)); }
Bytes Utf16(const std::u16string& S)
{
    Bytes Out;
    for (char16_t C : S) Out = Out + Le16(C);
    return Out;
}
Bytes Z(size_t N) { return Bytes(N, 0); }

Bytes Guid(uint32_t A, uint16_t B, uint16_t C, uint16_t D, uint64_t E)
{
    Bytes G = Le32(A) + Le16(B) + Le16(C) + Bytes{uint8_t(D >> 8), uint8_t(D)};
    for (int I = 5; I >= 0; --I) G.push_back(uint8_t(E >> (8 * I)));
    return G;
}
const Bytes HeaderGuid = Guid(0x75B22630, 0x668E, 0x11CF, 0xA6D9, 0x00AA0062CE6C);
const Bytes FileGuid = Guid(0x8CABDCA1, 0xA947, 0x11CF, 0x8EE4, 0x00C00C205365);
const Bytes StreamGuid = Guid(0xB7DC0791, 0xA9B7, 0x11CF, 0x8EE6, 0x00C00C205365);
const Bytes ContentGuid = Guid(0x75B22633, 0x668E, 0x11CF, 0xA6D9, 0x00AA0062CE6C);
const Bytes ExtendedGuid = Guid(0xD2D0A440, 0xE307, 0x11D2, 0x97F0, 0x00A0C95EA850);
const Bytes OtherGuid = Guid(0x12345678, 1, 2, 3, 4);

Bytes Object(const Bytes& ID, const Bytes& Body) { return ID + Le64(24 + Body.size()) + Body; }
Bytes FileProps(uint32_t MaxBitRate) { return Object(FileGuid, Z(76) + Le32(MaxBitRate) + Z(4)); }
Bytes StreamProps(uint16_t Channels, uint32_t Rate, uint32_t ByteRate)
{
    return Object(StreamGuid, Z(54) + Le16(0x161) + Le16(Channels) + Le32(Rate) + Le32(ByteRate) + Z(8));
}
Bytes Content(const std::u16string& Title, const std::u16string& Author, const std::u16string& Description)
{
    Bytes T = Utf16(Title + u'\0'), A = Utf16(Author + u'\0'), C = Utf16(u"(c)"), D = Utf16(Description + u'\0');
    return Object(ContentGuid, Le16(uint16_t(T.size())) + Le16(uint16_t(A.size())) + Le16(uint16_t(C.size())) +
                                   Le16(uint16_t(D.size())) + Le16(0) + T + A + C + D);
}
struct Descriptor {
    std::u16string Name;
    uint16_t Type;
    Bytes Value;
};
Bytes Text(const std::u16string& S) { return Utf16(S + u'\0'); }
Bytes Extended(const std::vector<Descriptor>& List)
{
    Bytes Body = Le16(uint16_t(List.size()));
    for (const Descriptor& D : List) {
        Bytes Name = Text(D.Name);
        Body = Body + Le16(uint16_t(Name.size())) + Name + Le16(D.Type) + Le16(uint16_t(D.Value.size())) + D.Value;
    }
    return Object(ExtendedGuid, Body);
}
Bytes Header(const std::vector<Bytes>& Objects, uint32_t Count = UINT32_MAX)
{
    Bytes All;
    for (const Bytes& O : Objects) All = All + O;
    if (Count == UINT32_MAX) { // count the objects by their sizes
        Count = 0;
        for (size_t Pos = 0; Pos + 24 <= All.size(); ++Count) {
            uint64_t Size = 0;
            for (int I = 7; I >= 0; --I) Size = Size << 8 | All[Pos + 16 + size_t(I)];
            if (Size < 24) { ++Count; break; }
            Pos += size_t(Size);
        }
    }
    return HeaderGuid + Le64(30 + All.size()) + Le32(Count) + Bytes{1, 2} + All + Bytes(100, 0x55);
}
Bytes Stream(uint32_t MaxBitRate = 128000, uint16_t Channels = 2, uint32_t Rate = 44100, uint32_t ByteRate = 16000)
{
    return FileProps(MaxBitRate) + StreamProps(Channels, Rate, ByteRate);
}

TWMAfile Read(const Bytes& File, bool Expected = true)
{
    TWMAfile W;
    EXPECT_EQ(W.ReadFromBytes(File.data(), File.size()), Expected);
    return W;
}

Bytes Load(const std::string& Name)
{
    std::ifstream In(Samples + "/" + Name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(In), {});
}

TEST(WMASamples, MonoWithAllTexts)
{
    TWMAfile W;
    ASSERT_TRUE(W.ReadFromFile(Samples + "/wma_mono.wma"));
    ASSERT_TRUE(W.Valid);
    EXPECT_EQ(W.FileSize, int64_t(std::filesystem::file_size(Samples + "/wma_mono.wma")));
    EXPECT_EQ(W.ChannelModeID, 1);
    EXPECT_EQ(W.SampleRate, 22050);
    EXPECT_EQ(W.BitRate, 32);
    EXPECT_GT(W.Duration, 0.0);
    EXPECT_EQ(W.Title, "WMA Title");
    EXPECT_EQ(W.Artist, "WMA Artist");
    EXPECT_EQ(W.Album, "WMA Album");
    EXPECT_EQ(W.Year, "2007");
    EXPECT_EQ(W.Genre, "Pop");
    EXPECT_EQ(W.Comment, "WMA comment");
    EXPECT_EQ(W.Track, 7);
}

TEST(WMASamples, StereoLongTitleIsCut)
{
    TWMAfile W;
    ASSERT_TRUE(W.ReadFromFile(Samples + "/wma_longtitle.wma"));
    ASSERT_TRUE(W.Valid);
    EXPECT_EQ(W.ChannelModeID, 2);
    EXPECT_EQ(W.SampleRate, 44100);
    EXPECT_EQ(W.BitRate, 128);
    EXPECT_EQ(W.Title, std::string(250, 'T'));
    EXPECT_EQ(W.Artist, "Artist");
}

TEST(WMASamples, OtherFormatsAreReadButNotValid)
{
    for (const char* Name : {"id3v1_only.mp3", "id3v24_utf8.mp3"}) {
        TWMAfile W;
        EXPECT_TRUE(W.ReadFromFile(Samples + "/" + Name)) << Name;
        EXPECT_FALSE(W.Valid) << Name;
        EXPECT_EQ(W.Title, "");
    }
}

struct ValidityCase {
    const char* Name;
    uint32_t MaxBitRate;
    uint16_t Channels;
    uint32_t Rate, ByteRate;
    bool Valid;
};

class WMAValidity : public ::testing::TestWithParam<ValidityCase> {};

TEST_P(WMAValidity, Decides)
{
    const ValidityCase& C = GetParam();
    TWMAfile W = Read(Header({Stream(C.MaxBitRate, C.Channels, C.Rate, C.ByteRate), Content(u"T", u"A", u"D")}));
    EXPECT_EQ(W.Valid, C.Valid);
    EXPECT_EQ(W.Title, C.Valid ? "T" : "");
}

INSTANTIATE_TEST_SUITE_P(Table, WMAValidity, ::testing::Values(
    ValidityCase{"Mono", 128000, 1, 44100, 16000, true},
    ValidityCase{"Limits", 319999, 2, 96000, 39999, true},
    ValidityCase{"LowLimits", 1, 1, 8000, 1, true},
    ValidityCase{"ThreeChannels", 128000, 3, 44100, 16000, false},
    ValidityCase{"NoChannels", 128000, 0, 44100, 16000, false},
    ValidityCase{"Rate7999", 128000, 2, 7999, 16000, false},
    ValidityCase{"Rate96001", 128000, 2, 96001, 16000, false},
    ValidityCase{"MaxBitRate320000", 320000, 2, 44100, 16000, false},
    ValidityCase{"NoMaxBitRate", 0, 2, 44100, 16000, false},
    ValidityCase{"ByteRate40000", 128000, 2, 44100, 40000, false},
    ValidityCase{"NoByteRate", 128000, 2, 44100, 0, false}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST(WMAFields, DerivedNumbers)
{
    Bytes File = Header({Stream(128000, 1, 44100, 16000)});
    TWMAfile W = Read(File);
    ASSERT_TRUE(W.Valid);
    EXPECT_EQ(W.BitRate, 128);
    EXPECT_EQ(W.ChannelModeID, 1);
    EXPECT_DOUBLE_EQ(W.Duration, double(File.size()) * 8 / 128000);
    // Only the last stream properties count.
    W = Read(Header({Stream(128000, 1, 44100, 16000), StreamProps(2, 22050, 8000)}));
    EXPECT_EQ(W.ChannelModeID, 2);
    EXPECT_EQ(W.SampleRate, 22050);
    EXPECT_EQ(W.BitRate, 64);
}

TEST(WMAFields, TextsAreTrimmedAndCut)
{
    TWMAfile W = Read(Header({Stream(), Content(u"  Title \t", std::u16string(300, u'a'), u"\u00e9t\u00e9 ")}));
    EXPECT_EQ(W.Title, "Title");
    EXPECT_EQ(W.Artist, std::string(250, 'a'));
    EXPECT_EQ(W.Comment, "\xC3\xA9t\xC3\xA9");
}

TEST(WMAExtended, NamesMatchTrimmedAndInAnyCase)
{
    TWMAfile W = Read(Header({Stream(), Extended({{u"wm/albumtitle ", 0, Text(u"Album")},
                                                   {u" WM/Genre", 0, Text(u"Jazz")},
                                                   {u"WM/Year", 0, Text(u"2001")},
                                                   {u"WM/TrackNumber", 0, Text(u"9")},
                                                   {u"WM/Track", 0, Text(u"x")}})}));
    EXPECT_EQ(W.Album, "Album");
    EXPECT_EQ(W.Genre, "Jazz");
    EXPECT_EQ(W.Year, "2001");
    EXPECT_EQ(W.Track, 0); // "WM/TrackNumber" is no name of ours, "x" no number
}

TEST(WMAExtended, NumericValueSetsNoTextAndKeepsThePlace)
{
    TWMAfile W = Read(Header({Stream(), Extended({{u"WM/TRACK", 3, Le32(7)},
                                                   {u"WM/TITLE", 0, Text(u"After")},
                                                   {u"WM/ALBUMTITLE", 2, Le32(1)},
                                                   {u"WM/GENRE", 0, Text(u"Pop")}})}));
    EXPECT_EQ(W.Track, 0);
    EXPECT_EQ(W.Title, "After");
    EXPECT_EQ(W.Album, "");
    EXPECT_EQ(W.Genre, "Pop");
}

TEST(WMAExtended, LaterObjectWins)
{
    TWMAfile W = Read(Header({Stream(), Content(u"Standard", u"A", u""), Extended({{u"WM/TITLE", 0, Text(u"Extended")}})}));
    EXPECT_EQ(W.Title, "Extended");
    W = Read(Header({Stream(), Extended({{u"WM/TITLE", 0, Text(u"Extended")}}), Content(u"Standard", u"A", u"")}));
    EXPECT_EQ(W.Title, "Standard");
    EXPECT_EQ(W.Artist, "A");
}

TEST(WMAExtended, TrackNumberTable)
{
    for (auto [Text16, Track] : std::vector<std::pair<std::u16string, int>>{
             {u"7", 7}, {u" 12 ", 12}, {u"3/10", 0}, {u"seven", 0}, {u"", 0}}) {
        TWMAfile W = Read(Header({Stream(), Extended({{u"WM/TRACK", 0, Text(Text16)}})}));
        EXPECT_EQ(W.Track, Track);
    }
}

TEST(WMAExtended, OddLengthsAndSurrogatesDoNotLoseThePlace)
{
    // A 5-byte value: two units kept, the odd byte skipped.
    Bytes Odd = Utf16(u"Ab") + Bytes{'!'};
    TWMAfile W = Read(Header({Stream(), Extended({{u"WM/TITLE", 0, Odd}, {u"WM/GENRE", 0, Text(u"Rock")}})}));
    EXPECT_EQ(W.Title, "Ab");
    EXPECT_EQ(W.Genre, "Rock");
    W = Read(Header({Stream(), Content(u"\U0001F3B5 \xD800", u"", u"")}));
    EXPECT_EQ(W.Title, "\xF0\x9F\x8E\xB5 \xEF\xBF\xBD");
}

TEST(WMADamaged, NotAsfEmptyShortAndMissing)
{
    Bytes Text = {'N', 'o', 't', ' ', 'a', 'n', ' ', 'A', 'S', 'F', ' ', 'f', 'i', 'l', 'e', '.', '!'};
    TWMAfile W = Read(Text);
    EXPECT_FALSE(W.Valid);
    Read(Bytes(HeaderGuid.begin(), HeaderGuid.begin() + 15), false);
    W.ReadFromBytes(nullptr, 0);
    EXPECT_FALSE(W.ReadFromBytes(nullptr, 0));
    EXPECT_FALSE(W.ReadFromFile("/nonexistent/corvane.wma"));
    EXPECT_FALSE(W.Valid);
}

TEST(WMADamaged, ZeroSizeObjectEndsTheWalk)
{
    Bytes Stuck = OtherGuid + Le64(0) + Z(8);
    Bytes File = Header({Stream(), Content(u"T", u"", u""), Stuck}, 4000000000u);
    TWMAfile W = Read(File);
    EXPECT_TRUE(W.Valid);
    EXPECT_EQ(W.Title, "T");
    // A size too small to hold an object header ends it as well.
    Read(Header({Stream(), OtherGuid + Le64(1) + Z(40)}, 4000000000u));
}

TEST(WMADamaged, AbsurdCountsAndLengthsFailCleanly)
{
    // More objects claimed than present: the walk runs into the end.
    TWMAfile W = Read(Header({Stream()}, 1000), false);
    EXPECT_FALSE(W.Valid);
    // A string length beyond its object: cut at the object's end.
    Bytes Long = Object(ContentGuid, Le16(0xFFFF) + Z(8) + Utf16(u"T"));
    W = Read(Header({Stream(), Long}));
    EXPECT_TRUE(W.Valid);
    EXPECT_EQ(W.Title, "T");
    // A string length beyond the file, in an object that claims to reach that far.
    Bytes Beyond = ContentGuid + Le64(100000) + Le16(0xFFFF) + Z(8) + Utf16(u"T");
    W = Read(Header({Stream(), Beyond}), false);
    EXPECT_FALSE(W.Valid);
    // A descriptor count beyond what the object holds ends that object only.
    Bytes Many = Object(ExtendedGuid, Le16(0xFFFF));
    EXPECT_TRUE(Read(Header({Stream(), Many})).Valid);
    // An object claiming 4 GiB: skipped over, the walk ends at the file's end.
    Bytes Huge = OtherGuid + Le64(0xFFFFFFFF) + Z(8);
    W = Read(Header({Stream(), Huge, Content(u"Lost", u"", u"")}, 4), false);
    EXPECT_EQ(W.Title, "");
}

TEST(WMADamaged, FieldsAreReadOnlyFromTheirOwnObject)
{
    // A title that claims 120 bytes where its object holds 12: the title is
    // cut at the object's end, not filled from the objects after it.
    Bytes Short = Object(ContentGuid, Le16(120) + Z(8) + Utf16(u"Short\0"));
    Bytes Author = Extended({{u"WM/AUTHOR", 0, Text(u"Author")}});
    TWMAfile W = Read(Header({Stream(), Short, Author}));
    EXPECT_TRUE(W.Valid);
    EXPECT_EQ(W.Title, "Short");
    EXPECT_EQ(W.Artist, "Author");

    // Stream properties in an object too small for them are not taken from
    // the next object's bytes; the later, whole object counts.
    Bytes Cut = Object(StreamGuid, Z(40));
    W = Read(Header({FileProps(128000), Cut, Object(OtherGuid, Z(80) + Le16(2) + Le32(44100) + Le32(16000))}));
    EXPECT_FALSE(W.Valid);
    W = Read(Header({FileProps(128000), Cut, StreamProps(1, 22050, 8000), Content(u"After", u"", u"")}));
    EXPECT_TRUE(W.Valid);
    EXPECT_EQ(W.SampleRate, 22050);
    EXPECT_EQ(W.Title, "After");

    // A descriptor count beyond its object: the descriptors it holds count,
    // and the objects after it are still read.
    Bytes Many = Extended({{u"WM/YEAR", 0, Text(u"2001")}});
    Many[24] = 0xFF;
    Many[25] = 0xFF;
    W = Read(Header({Stream(), Many, Content(u"Next", u"", u"")}));
    EXPECT_TRUE(W.Valid);
    EXPECT_EQ(W.Year, "2001");
    EXPECT_EQ(W.Title, "Next");
}

TEST(WMADamaged, EveryTruncationOfARealFileIsSafe)
{
    Bytes File = Load("wma_mono.wma");
    ASSERT_GT(File.size(), 1000u);
    size_t FirstValid = 0;
    for (size_t N = 0; N <= File.size(); ++N) {
        TWMAfile W;
        bool Ok = W.ReadFromBytes(File.data(), N);
        if (Ok && W.Valid && FirstValid == 0) FirstValid = N;
        if (!Ok) {
            EXPECT_FALSE(W.Valid);
        }
    }
    EXPECT_GT(FirstValid, 0u); // once the header is whole, the file reads
}

// Every sample in the folder, whatever made it, through all three readers:
// only the ASF files are valid WMA, and every text is valid UTF-8.
TEST(AllSamples, EveryReaderOnEveryFile)
{
    int Files = 0;
    for (const auto& Entry : std::filesystem::directory_iterator(Samples)) {
        if (!Entry.is_regular_file()) continue;
        const std::string Path = Entry.path().string();
        ++Files;
        TID3v1 V1;
        EXPECT_EQ(V1.ReadFromFile(Path), Entry.file_size() >= 128) << Path;
        TID3v2 V2;
        EXPECT_EQ(V2.ReadFromFile(Path), Entry.file_size() >= 10) << Path;
        TWMAfile W;
        EXPECT_TRUE(W.ReadFromFile(Path) || Entry.file_size() < 16) << Path;
        EXPECT_EQ(W.Valid, Entry.path().extension() == ".wma") << Path;
        for (const std::string* S : {&V1.Title, &V1.Comment, &V2.Title, &V2.Comment, &W.Title, &W.Comment})
            EXPECT_TRUE(IsValidUtf8(*S)) << Path;
    }
    EXPECT_GE(Files, 11);
}

} // namespace
