// TFLACfile on real files made by flac and metaflac, and on block chains put
// together here from a real STREAMINFO.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tags/FLACfile.h"
#include "tags/OggVorbis.h"
#include "tests/common/TempTree.h"

using namespace tags;

namespace {

std::string Sample(const std::string& Name) { return std::string(CORVANE_SAMPLES) + "/" + Name; }

std::vector<uint8_t> LoadSample(const std::string& Name)
{
    std::ifstream In(Sample(Name), std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

void Put32LE(std::vector<uint8_t>& Out, uint32_t V)
{
    for (int I = 0; I < 4; ++I) Out.push_back(uint8_t(V >> (8 * I)));
}

struct Block {
    uint8_t Type;
    std::vector<uint8_t> Data;
    uint32_t LengthOverride = 0; // stored length, when not the real one
};

std::vector<uint8_t> CommentBlock(const std::vector<std::string>& Comments, int32_t CountOverride = -1)
{
    std::vector<uint8_t> D;
    Put32LE(D, 6);
    D.insert(D.end(), {'v', 'e', 'n', 'd', 'o', 'r'});
    Put32LE(D, CountOverride >= 0 ? uint32_t(CountOverride) : uint32_t(Comments.size()));
    for (const std::string& C : Comments) {
        Put32LE(D, uint32_t(C.size()));
        D.insert(D.end(), C.begin(), C.end());
    }
    return D;
}

// "fLaC" and the STREAMINFO of a real file (8 kHz mono, 16 bits, 4000
// samples), then Blocks, the last one flagged, then a little audio.
std::vector<uint8_t> MakeFlac(const std::vector<Block>& Blocks, const std::string& Prefix = "")
{
    const std::vector<uint8_t> Real = LoadSample("flac_streaminfo_only.flac");
    std::vector<uint8_t> Out(Prefix.begin(), Prefix.end());
    Out.insert(Out.end(), Real.begin(), Real.begin() + 42);
    Out[Prefix.size() + 4] = Blocks.empty() ? 0x80 : 0x00;
    for (size_t I = 0; I < Blocks.size(); ++I) {
        const Block& B = Blocks[I];
        const uint32_t Length = B.LengthOverride ? B.LengthOverride : uint32_t(B.Data.size());
        Out.push_back(uint8_t(B.Type | (I + 1 == Blocks.size() ? 0x80 : 0)));
        Out.push_back(uint8_t(Length >> 16));
        Out.push_back(uint8_t(Length >> 8));
        Out.push_back(uint8_t(Length));
        Out.insert(Out.end(), B.Data.begin(), B.Data.end());
    }
    Out.insert(Out.end(), 200, 0xAA);
    return Out;
}

bool Read(TFLACfile& Flac, const std::vector<uint8_t>& Bytes) { return Flac.ReadFromBytes(Bytes.data(), Bytes.size()); }

} // namespace

TEST(FLACFile, ReadsTagsBlocksAndStreamFactsOfARealFile)
{
    TFLACfile Flac;
    ASSERT_TRUE(Flac.ReadFromFile(Sample("flac_tags.flac")));
    EXPECT_TRUE(Flac.IsValid());
    EXPECT_EQ(Flac.Title, "Song One");
    EXPECT_EQ(Flac.Artist, "Artist A");
    EXPECT_EQ(Flac.Date, "2001");
    EXPECT_EQ(Flac.Comment, "Hello");
    EXPECT_EQ(Flac.Album, "Café Album");
    EXPECT_TRUE(Flac.Exists);
    EXPECT_EQ(Flac.Vendor.rfind("reference libFLAC", 0), 0u) << Flac.Vendor;
    EXPECT_EQ(Flac.Channels, 1);
    EXPECT_EQ(Flac.SampleRate, 8000);
    EXPECT_EQ(Flac.BitsPerSample, 16);
    EXPECT_EQ(Flac.Samples, 4000);
    EXPECT_DOUBLE_EQ(Flac.GetDuration(), 0.5);
    // SEEKTABLE (kept), VORBIS_COMMENT, PADDING (noted and skipped).
    ASSERT_EQ(Flac.MetaBlocksOther.size(), 1u);
    EXPECT_EQ(Flac.MetaBlocksOther[0].Header[0] & 0x7F, 3);
    EXPECT_EQ(Flac.MetaBlocksOther[0].Data.size(), 18u);
    EXPECT_EQ(Flac.VorbisIndex, 2);
    EXPECT_EQ(Flac.PaddingIndex, 3);
    EXPECT_EQ(Flac.Padding, 16);
    EXPECT_TRUE(Flac.PaddingLast);
    EXPECT_FALSE(Flac.PaddingFragments);
    EXPECT_EQ(Flac.FileLength, int64_t(LoadSample("flac_tags.flac").size()));
    EXPECT_GT(Flac.AudioOffset, 42);
    EXPECT_GT(Flac.Bitrate, 0);
    EXPECT_EQ(Flac.FileName, Sample("flac_tags.flac"));
}

TEST(FLACFile, APictureBlockIsKeptAndTheFileStaysValid)
{
    TFLACfile Flac;
    ASSERT_TRUE(Flac.ReadFromFile(Sample("flac_picture.flac")));
    EXPECT_TRUE(Flac.IsValid());
    EXPECT_EQ(Flac.Title, "  Padded Title  ");  // the reader keeps values as they are
    EXPECT_EQ(Flac.Artist, "Artist B");
    const std::vector<std::pair<std::string, std::string>> Extra = {{"TITLE", "Second Title"}, {"X-CUSTOM", "extra"}};
    EXPECT_EQ(Flac.ExtraFields, Extra);        // the first TITLE wins, the second is an extra
    ASSERT_EQ(Flac.MetaBlocksOther.size(), 2u);
    EXPECT_EQ(Flac.MetaBlocksOther[1].Header[0] & 0x7F, 6);
    EXPECT_EQ(Flac.MetaBlocksOther[1].Data.size(), 135u);
    EXPECT_EQ(Flac.PaddingIndex, 4);
}

TEST(FLACFile, StreamInfoAlone)
{
    TFLACfile Flac;
    ASSERT_TRUE(Flac.ReadFromFile(Sample("flac_streaminfo_only.flac")));
    EXPECT_TRUE(Flac.IsValid());
    EXPECT_FALSE(Flac.Exists);
    EXPECT_TRUE(Flac.MetaBlocksOther.empty());
    EXPECT_EQ(Flac.AudioOffset, 42);
}

TEST(FLACFile, OtherInputIsRejectedAndAMissingFileRaises)
{
    corvane_test::TempTree T;
    TFLACfile Flac;
    EXPECT_FALSE(Flac.ReadFromFile(T.File("empty.flac")));
    EXPECT_FALSE(Flac.ReadFromFile(T.File("magic.flac", {.Content = "fLaC"})));
    EXPECT_FALSE(Flac.ReadFromFile(Sample("vorbis_tags.ogg")));
    EXPECT_EQ(Flac.Title, "");
    EXPECT_THROW(Flac.ReadFromFile(T.Path("missing.flac")), EFOpenError);
}

TEST(FLACFile, ASecondReadForgetsTheFirst)
{
    TFLACfile Flac;
    ASSERT_TRUE(Flac.ReadFromFile(Sample("flac_picture.flac")));
    ASSERT_TRUE(Flac.ReadFromFile(Sample("flac_streaminfo_only.flac")));
    EXPECT_EQ(Flac.Title, "");
    EXPECT_TRUE(Flac.ExtraFields.empty());
    EXPECT_TRUE(Flac.MetaBlocksOther.empty());
    EXPECT_EQ(Flac.PaddingIndex, 0);
}

TEST(FLACBlocks, BlockTypesDecideValidity)
{
    struct Case { uint8_t Type; bool Valid; size_t Kept; };
    const Case Cases[] = {{2, true, 1}, {3, true, 1}, {5, true, 1}, {6, true, 1}, {7, false, 0}, {126, false, 0},
                          {127, false, 0}};
    for (const Case& C : Cases) {
        TFLACfile Flac;
        const bool Ok = Read(Flac, MakeFlac({{C.Type, {1, 2, 3}}, {4, CommentBlock({"TITLE=t"})}}));
        EXPECT_EQ(Ok, C.Valid) << int(C.Type);
        EXPECT_EQ(Flac.IsValid(), C.Valid) << int(C.Type);
        EXPECT_EQ(Flac.MetaBlocksOther.size(), C.Kept) << int(C.Type);
    }
}

TEST(FLACBlocks, TwoPaddingBlocks)
{
    TFLACfile Flac;
    ASSERT_TRUE(Read(Flac, MakeFlac({{1, std::vector<uint8_t>(10)}, {4, CommentBlock({"TITLE=t"})},
                                     {1, std::vector<uint8_t>(7)}})));
    EXPECT_EQ(Flac.PaddingIndex, 1);
    EXPECT_EQ(Flac.Padding, 10);
    EXPECT_FALSE(Flac.PaddingLast);
    EXPECT_TRUE(Flac.PaddingFragments);
    ASSERT_EQ(Flac.MetaBlocksOther.size(), 1u);
    EXPECT_EQ(Flac.MetaBlocksOther[0].Header[0], 0x81);
    EXPECT_EQ(Flac.MetaBlocksOther[0].Data.size(), 7u);
    EXPECT_EQ(Flac.Title, "t");
}

TEST(FLACBlocks, ReadAfterAnID3v2Tag)
{
    const std::string Id3 = std::string("ID3\x03\x00\x00\x00\x00\x00\x0A", 10) + std::string(10, '\0');
    TFLACfile Flac;
    ASSERT_TRUE(Read(Flac, MakeFlac({{4, CommentBlock({"TITLE=behind"})}}, Id3)));
    EXPECT_EQ(Flac.Title, "behind");
    EXPECT_EQ(Flac.VCOffset, 20 + 42 + 4);
}

TEST(FLACBlocks, CommentNamesAndValues)
{
    TFLACfile Flac;
    ASSERT_TRUE(Read(Flac, MakeFlac({{4, CommentBlock({"title=", "Title=Later", "NOEQUALS", "artist=A=B",
                                                        "comment=Caf\xC3\xA9", "isrc=X"})}})));
    EXPECT_EQ(Flac.Title, "Later");             // an empty value leaves the field free
    EXPECT_EQ(Flac.Artist, "A=B");
    EXPECT_EQ(Flac.Comment, "Café");
    EXPECT_EQ(Flac.ISRC, "X");
    EXPECT_EQ(Flac.Field(27), "X");
    EXPECT_TRUE(Flac.ExtraFields.empty());

    // An unknown name in ISO-8859-1 is shown as text.
    TFLACfile Odd;
    ASSERT_TRUE(Read(Odd, MakeFlac({{4, CommentBlock({"D\xC9J\xC0=vu"})}})));
    ASSERT_EQ(Odd.ExtraFields.size(), 1u);
    EXPECT_EQ(Odd.ExtraFields[0].first, "D\xC3\x89J\xC3\x80");
}

TEST(FLACBlocks, DamagedLengthsAndCountsStayInsideTheirBlock)
{
    // A count far beyond the comments: the rest of the block ends the reading,
    // and the next block is still found where the comment block ends.
    TFLACfile Flac;
    ASSERT_TRUE(Read(Flac, MakeFlac({{4, CommentBlock({"TITLE=t"}, 0x7FFFFFFF)}, {2, {9, 9}}})));
    EXPECT_EQ(Flac.Title, "t");
    ASSERT_EQ(Flac.MetaBlocksOther.size(), 1u);
    EXPECT_EQ(Flac.MetaBlocksOther[0].Data, (std::vector<uint8_t>{9, 9}));

    // A comment that claims more bytes than its block holds is dropped.
    std::vector<uint8_t> Comments = CommentBlock({"TITLE=t", "ARTIST=a"});
    Comments[6 + 4 + 4] = 0xF0;
    TFLACfile Flac2;
    ASSERT_TRUE(Read(Flac2, MakeFlac({{4, Comments}, {2, {1}}})));
    EXPECT_EQ(Flac2.Title, "");
    EXPECT_EQ(Flac2.MetaBlocksOther.size(), 1u);

    // A block that runs past the end of the file ends the walk; nothing is
    // allocated for it and the stream facts still stand.
    TFLACfile Flac3;
    EXPECT_TRUE(Read(Flac3, MakeFlac({{4, CommentBlock({"TITLE=t"})}, {2, {1, 2}, 0xFFFFFF}})));
    EXPECT_TRUE(Flac3.MetaBlocksOther.empty());
    EXPECT_EQ(Flac3.AudioOffset, Flac3.FileLength);

    // A zero length ends the walk.
    TFLACfile Flac4;
    EXPECT_TRUE(Read(Flac4, MakeFlac({{2, {}}, {4, CommentBlock({"TITLE=t"})}})));
    EXPECT_EQ(Flac4.Title, "");

    // A file cut inside its comment block gives the comments before the cut.
    std::vector<uint8_t> Cut = MakeFlac({{4, CommentBlock({"TITLE=Song", "ARTIST=Band", "COMMENT=cut here"})}});
    Cut.resize(Cut.size() - 200 - 4);
    TFLACfile Flac5;
    EXPECT_TRUE(Read(Flac5, Cut));
    EXPECT_EQ(Flac5.Title, "Song");
    EXPECT_EQ(Flac5.Artist, "Band");
    EXPECT_EQ(Flac5.Comment, "");
    EXPECT_EQ(Flac5.AudioOffset, int64_t(Cut.size()));
}

TEST(FLACBlocks, EveryTruncationIsSafe)
{
    const std::vector<uint8_t> Whole = LoadSample("flac_picture.flac");
    for (size_t N = 0; N <= Whole.size(); ++N) {
        TFLACfile Flac;
        const bool Ok = Flac.ReadFromBytes(Whole.data(), N);
        if (N < 25) {    // no sample count yet
            EXPECT_FALSE(Ok) << N;
        }
        EXPECT_EQ(Ok, Flac.IsValid()) << N;
        EXPECT_LE(Flac.AudioOffset, int64_t(N));
    }
}
