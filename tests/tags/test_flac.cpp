// TFLACfile on real files made by flac and metaflac, and on block chains put
// together here behind a real STREAMINFO.
#include "tags/FLACfile.h"

#include <gtest/gtest.h>

#include "tags/OggVorbis.h"
#include "tests/tags/TagTestKit.h"

using namespace tags;
using namespace tagtest;

namespace {

Bytes CommentBlock(const std::vector<std::string>& Comments, uint32_t Count = UINT32_MAX)
{
    Bytes D = Le(6, 4) + B("vendor") + Le(Count == UINT32_MAX ? Comments.size() : Count, 4);
    for (const std::string& C : Comments) D = D + Le(C.size(), 4) + B(C);
    return D;
}

struct Block {
    uint8_t Type;
    Bytes Data;
    uint32_t Length = 0; // stored length, when not the real one
};

// "fLaC" and the STREAMINFO of a real file (8 kHz mono, 16 bits, 4000
// samples), then the blocks, the last one flagged, then a little audio.
Bytes MakeFlac(const std::vector<Block>& Blocks, const Bytes& Prefix = {})
{
    Bytes Out = Prefix + Load("flac_streaminfo_only.flac");
    Out.resize(Prefix.size() + 42);
    Out[Prefix.size() + 4] = Blocks.empty() ? 0x80 : 0x00;
    for (size_t I = 0; I < Blocks.size(); ++I) {
        const Block& Blk = Blocks[I];
        Out = Out + Bytes{uint8_t(Blk.Type | (I + 1 == Blocks.size() ? 0x80 : 0))} +
              Be(Blk.Length ? Blk.Length : Blk.Data.size(), 3) + Blk.Data;
    }
    return Out + Bytes(200, 0xAA);
}

// Texts, extra fields, the blocks kept (header byte:size), the block numbers
// of the comments and the first padding, and whether the audio starts at the end.
std::string Summary(const TFLACfile& F)
{
    std::string Extras, Blocks;
    for (const auto& [Name, Value] : F.ExtraFields) Extras += Name + "=" + Value + ";";
    for (const auto& K : F.MetaBlocksOther) Blocks += std::to_string(K.Header[0]) + ":" + std::to_string(K.Data.size()) + ";";
    const std::string Padding = std::to_string(F.PaddingIndex) + ":" + std::to_string(F.Padding) + (F.PaddingLast ? "L" : "");
    return Join({F.Title, F.Artist, F.Comment, Extras, Blocks, "V" + std::to_string(F.VorbisIndex) + " P" + Padding +
                 (F.PaddingFragments ? "F" : "") + (F.AudioOffset == F.FileLength ? " @end" : "")});
}

TEST(FLAC, RealFiles)
{
    TFLACfile Flac;
    ASSERT_TRUE(Flac.ReadFromFile(Sample("flac_tags.flac")));
    // SEEKTABLE kept, VORBIS_COMMENT, PADDING noted and skipped.
    EXPECT_EQ(Summary(Flac), "Song One|Artist A|Hello||3:18;|V2 P3:16L");
    EXPECT_EQ(Join({Flac.Album, Flac.Date, Flac.Vendor.substr(0, 17), std::to_string(Flac.Channels),
                    std::to_string(Flac.SampleRate), std::to_string(Flac.BitsPerSample), std::to_string(Flac.Samples)}),
              "Café Album|2001|reference libFLAC|1|8000|16|4000");
    // The first TITLE wins, the second is an extra; the picture block is kept.
    ASSERT_TRUE(Flac.ReadFromFile(Sample("flac_picture.flac")));
    EXPECT_EQ(Summary(Flac), "  Padded Title  |Artist B||TITLE=Second Title;X-CUSTOM=extra;|3:18;6:135;|V2 P4:16L");
    // A second read forgets the first.
    ASSERT_TRUE(Flac.ReadFromFile(Sample("flac_streaminfo_only.flac")));
    EXPECT_EQ(Summary(Flac), "|||||V0 P0:0");
    EXPECT_EQ(Flac.AudioOffset, 42);

    EXPECT_THROW(Flac.ReadFromFile(Sample("missing.flac")), EFOpenError);
}

// Rows: validity, then the summary.
class FLACChains : public ::testing::TestWithParam<Row> {};

TEST_P(FLACChains, Read)
{
    TFLACfile Flac;
    const bool Ok = Flac.ReadFromBytes(GetParam().File.data(), GetParam().File.size());
    EXPECT_EQ(Ok, Flac.IsValid());
    EXPECT_EQ((Ok ? "valid " : "invalid ") + Summary(Flac), GetParam().Expected);
}

const Bytes TitleT = CommentBlock({"TITLE=t"});

INSTANTIATE_TEST_SUITE_P(Chains, FLACChains, ::testing::Values(
    Row{{"Seektable"}, MakeFlac({{3, {1, 2, 3}}, {4, TitleT}}), "valid t||||3:3;|V2 P0:0"},
    Row{{"Picture"}, MakeFlac({{6, {1, 2, 3}}, {4, TitleT}}), "valid t||||6:3;|V2 P0:0"},
    Row{{"Reserved7"}, MakeFlac({{7, {1, 2, 3}}, {4, TitleT}}), "invalid |||||V0 P0:0"},
    Row{{"Invalid127"}, MakeFlac({{127, {1, 2, 3}}, {4, TitleT}}), "invalid |||||V0 P0:0"},
    Row{{"MagicAlone"}, B("fLaC"), "invalid |||||V0 P0:0"},
    Row{{"TwoPaddings"}, MakeFlac({{1, Bytes(10)}, {4, TitleT}, {1, Bytes(7)}}), "valid t||||129:7;|V2 P1:10F"},
    Row{{"BehindAnID3v2Tag"}, MakeFlac({{4, CommentBlock({"TITLE=behind"})}}, B({"ID3\3\0\0\0\0\0\x0A", 10}) + Bytes(10)),
        "valid behind|||||V1 P0:0"},
    // An empty value leaves the field free; an unknown name in ISO-8859-1 is shown as text.
    Row{{"NamesAndValues"}, MakeFlac({{4, CommentBlock({"title=", "Title=Later", "NOEQUALS", "artist=A=B",
                                                       "comment=Caf\xC3\xA9", "isrc=X", "D\xC9J\xC0=vu"})}}),
        "valid Later|A=B|Café|D\xC3\x89J\xC3\x80=vu;||V1 P0:0"},
    // A count far beyond the comments: the next block is still found where the comment block ends.
    Row{{"CountBeyondTheBlock"}, MakeFlac({{4, CommentBlock({"TITLE=t"}, 0x7FFFFFFF)}, {2, {9, 9}}}),
        "valid t||||130:2;|V1 P0:0"},
    Row{{"CommentBeyondTheBlock"}, MakeFlac({{4, Le(6, 4) + B("vendor") + Le(2, 4) + Le(240, 4) + B("TITLE=t")}, {2, {1}}}),
        "valid ||||130:1;|V1 P0:0"},
    // A block past the end of the file ends the walk; nothing is allocated for it.
    Row{{"BlockPastTheEnd"}, MakeFlac({{4, TitleT}, {2, {1, 2}, 0xFFFFFF}}), "valid t|||||V1 P0:0 @end"},
    Row{{"ZeroLengthEndsTheWalk"}, MakeFlac({{2, {}}, {4, TitleT}}), "valid |||||V0 P0:0"},
    // Cut 4 bytes before the end of the comment block (42 + 4 + 58 bytes).
    Row{{"CutInsideTheComments"}, Resized(MakeFlac({{4, CommentBlock({"TITLE=Song", "ARTIST=Band", "COMMENT=cut"})}}), 100),
        "valid Song|Band||||V1 P0:0 @end"}),
    RowName());

} // namespace
