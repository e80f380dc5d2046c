// TRMFile on real files made by ffmpeg, and on chunk sequences put together
// here for the chunks no tool of ours writes (INDX, logical-fileinfo).
#include "tags/RealMediaFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>

#include "tags/OggVorbis.h"
#include "tests/common/TempTree.h"
#include "tests/tags/TagTestKit.h"

using namespace tags;
using namespace tagtest;

namespace {

Bytes Text16(const std::string& S) { return Be(S.size(), 2) + B(S); }
Bytes Text8(const std::string& S) { return Be(S.size(), 1) + B(S); }
// One chunk: its header (size computed unless given) and body.
Bytes Chunk(const std::string& ID, const Bytes& Body, int64_t Size = -1)
{
    return B(ID) + Be(Size >= 0 ? uint64_t(Size) : 10 + Body.size(), 4) + Be(0, 2) + Body;
}
Bytes FileHeader() { return Chunk(".RMF", Be(4, 8)); }
Bytes Prop() { return Chunk("PROP", Bytes(40)); }
Bytes Cont(const std::string& T, const std::string& A = "", const std::string& C = "", const std::string& M = "")
{
    return Chunk("CONT", Text16(T) + Text16(A) + Text16(C) + Text16(M));
}
Bytes Mdpr(const std::string& Mime, const Bytes& Specific, int64_t Length = -1)
{
    const Bytes Head = Bytes(30) + Text8("stream") + Text8(Mime);
    return Chunk("MDPR", Head + Be(Length >= 0 ? uint64_t(Length) : Specific.size(), 4) + Specific);
}
Bytes Indx(uint32_t Records, int64_t Declared = -1)
{
    Bytes Body = Be(Declared >= 0 ? uint64_t(Declared) : Records, 4) + Be(1, 2) + Be(0, 4);
    for (uint32_t I = 0; I < Records; ++I) Body = Body + Be(0, 2) + Be(I * 100, 4) + Be(1000 + I, 4) + Be(I, 4);
    return Chunk("INDX", Body);
}
Bytes Property(const std::string& Name, const std::string& Value)
{
    return Be(13 + Name.size() + Value.size(), 4) + Be(0, 2) + Text8(Name) + Be(2, 4) + Text16(Value);
}
// Two physical streams (0 and 1 at offsets 100 and 200), one rule, two properties.
Bytes LogicalInfo()
{
    return Be(0, 6) + Be(2, 2) + Be(0, 2) + Be(1, 2) + Be(100, 4) + Be(200, 4) + Be(1, 2) + Be(1, 2) + Be(2, 2) +
           Property("Title", "xyz") + Property("Author", "ab");
}

struct Reading {
    TRMFile Rm;
    std::string Warnings;
    explicit Reading(const Bytes& File)
    {
        Rm.OnWarning = [this](const std::string& T, const std::string& C) { Warnings += " !" + T + " !" + C; };
        Rm.ReadFromBytes(File.data(), File.size());
    }
    // The content's texts (up to a zero byte); each media chunk's class, its
    // block's size and a field of it; the index records; the warnings.
    std::string Summary() const
    {
        const TContent* C = Rm.GetContent();
        std::string S = C ? Join({CText(C->Title), CText(C->Author), CText(C->Copyright), CText(C->Comment)}) : "no content";
        for (const auto& M : Rm.MediaProperties) {
            const TSpecificData* D = M->TypeSpecificData.get();
            S += " " + std::to_string(D->Data.size());
            if (auto* A = dynamic_cast<const TAudioTypeSpecificData*>(D)) S += " audio@" + std::to_string(A->SampleRate >> 16);
            if (auto* V = dynamic_cast<const TVideoTypeSpecificData*>(D)) S += " video" + std::to_string(V->UiWidth);
            if (auto* L = dynamic_cast<const TLogicalStream*>(D))
                S += " logical" + std::to_string(L->PhysicalStreamNumbers.size()) + "/" + std::to_string(L->NumPropertiesReal);
        }
        for (const auto& I : Rm.IndexHeaders) S += " index" + std::to_string(I->Indices.size());
        return S + Warnings;
    }
};

TEST(RealMedia, RealFiles)
{
    EXPECT_EQ(Reading(Load("rm_tags.rm")).Summary(), "RM Title|RM Author|(c) 2003|RM Comment 73 audio@8000");
    EXPECT_EQ(Reading(Load("rm_two_streams.rm")).Summary(), "  Two Streams  |Author B|| 34 video16 73 audio@8000");
    EXPECT_EQ(Reading(Load("rm_notags.rm")).Summary(), "||| 73 audio@8000");
}

// Each path is its own file; a missing one (or a folder) is said so through
// the warning, and a file is opened for reading only, read-only or not.
TEST(RealMedia, Paths)
{
    corvane_test::TempTree T;
    std::vector<std::string> Seen;
    TRMFile Rm;
    Rm.OnWarning = [&](const std::string& Text, const std::string& Caption) { Seen.insert(Seen.end(), {Text, Caption}); };
    for (const std::string& Path : {std::string(), T.File("empty.rm"), T.Path("missing.rm"), T.Dir("folder.rm")})
        Rm.ReadFromFile(Path);
    EXPECT_EQ(Rm.GetContent(), nullptr);
    EXPECT_EQ(Seen, (std::vector<std::string>{"找不到指定文件", "文件没找到", "找不到指定文件", "文件没找到"}));

    const Bytes Sample = Load("rm_tags.rm");
    const std::string Path = T.File("ro.rm", {.Content = std::string(Sample.begin(), Sample.end()), .Mode = 0444});
    ASSERT_NO_THROW(Rm.ReadFromFile(Path));
    ASSERT_NE(Rm.GetContent(), nullptr);
    // The file stays open until Clear: for reading only (root could open a
    // read-only file for writing too).
    int Found = 0;
    for (const auto& Fd : std::filesystem::directory_iterator("/proc/self/fd"))
        if (std::error_code E; std::filesystem::read_symlink(Fd, E) == Path && ++Found) {
            EXPECT_EQ(::fcntl(std::stoi(Fd.path().filename()), F_GETFL) & O_ACCMODE, O_RDONLY);
        }
    EXPECT_EQ(Found, 1);
}

class RealMediaWalk : public ::testing::TestWithParam<Row> {};

TEST_P(RealMediaWalk, Reads) { EXPECT_EQ(Reading(GetParam().File).Summary(), GetParam().Expected); }

INSTANTIATE_TEST_SUITE_P(Chunks, RealMediaWalk, ::testing::Values(
    Row{{"FullSequence"}, FileHeader() + Prop() + Mdpr("audio/x-pn-realaudio", Bytes(80)) +
                              Mdpr("video/x-pn-realvideo", Bytes(34)) + Cont("T", "A", "C", "M") + Chunk("DATA", Bytes(48)) + Indx(3),
        "T|A|C|M 80 audio@0 34 video0 index3"},
    Row{{"NoContent"}, FileHeader() + Prop(), "no content"},
    Row{{"TextsEndAtAZeroByte"}, Cont(std::string("ab\0cd", 5), "", "", "x"), "ab|||x"},
    Row{{"LaterContentWins"}, Cont("first") + Cont("second", "", "", "2"), "second|||2"},
    // Texts cut by the end of the file, and by the end of their chunk.
    Row{{"TextsCutByTheFile"}, Chunk("CONT", Text16("cut") + Text16("a") + Be(9, 2) + B("ab")), "cut|a|ab|"},
    Row{{"TextsCutByTheChunk"}, Chunk("CONT", Text16("t") + Text16("a") + Text16("c") + Text16("comment"), 24) + Prop(),
            "t|a|c|com !在文件24位置，找到未知的标记头标识：ment !未知的文件格式"},
    // A long DATA chunk carries the walk to position 1234.
    Row{{"UnknownChunkEndsTheWalk"}, Resized(FileHeader() + Cont("kept") + Chunk("DATA", Bytes(8), 1234 - 18 - 22), 1234) +
                                         Chunk("RMMD", {}) + Cont("never"),
            "kept||| !在文件1234位置，找到未知的标记头标识：RMMD !未知的文件格式"},
    // Size 0: loaded, then the walk ends without a message.
    Row{{"SizeZeroEndsTheWalk"}, Chunk("CONT", Text16("zero") + Text16("") + Text16("") + Text16(""), 0) + Cont("next"),
            "zero|||"},
    // A size that would carry the position past 4 GiB ends the walk.
    Row{{"SizePast4GiB"}, FileHeader() + Chunk("DATA", Bytes(8), 0xFFFFFFF0) + Cont("after"), "no content"},
    // A size smaller than a header still moves on: "ROP" is no chunk.
    Row{{"TinySize"}, Chunk("PROP", {}, 1) + Bytes(30, 'z'), "no content !在文件1位置，找到未知的标记头标识：ROP !未知的文件格式"},
    // A header cut short by the end of the file is the end of the file.
    Row{{"IdCutShort"}, Cont("kept") + B("XYZW") + Bytes(2), "kept|||"},
    // The MIME type chooses the class exactly; a block too short for its fields reads the rest as 0; a
    // logical stream whose length says 0 is read as its counts say.
    Row{{"TypeSpecificData"}, Mdpr("Audio/x-pn-realaudio", B("raw!")) + Mdpr("audio/x-pn-realaudio", Bytes(3, 1)) +
                                  Mdpr("logical-fileinfo", LogicalInfo(), 0),
        "no content 4 3 audio@0 0 logical2/2"},
    // Counts far beyond their data: the arrays hold what the chunk has room for.
    Row{{"CountsBoundedByTheChunk"}, Mdpr("logical-fileinfo", Be(0, 6) + Be(0xFFFF, 2) + Be(0, 4)) +
                                         Indx(2, 0xFFFFFFFF) + Mdpr("audio/x-pn-realaudio", B("abc"), 0xFFFFFFFF) +
                                         Mdpr("other", {}, 0x7FFFFFFF),
        "no content 0 logical2/0 3 audio@0 0 index2"}),
    RowName());

// An index chunk of size 0 that claims every record it could: the rest of a
// 40 MiB file is not pulled into memory for it.
TEST(RealMedia, AChunkOfSizeZeroReadsABoundedBody)
{
    Bytes Big = FileHeader() + Chunk("INDX", Be(0xFFFFFFFF, 4) + Be(0, 6), 0);
    Big.resize(Big.size() + (size_t(40) << 20));
    Reading Bounded(Big);
    ASSERT_EQ(Bounded.Rm.GetIndexHeaderCount(), 1);
    EXPECT_GT(Bounded.Rm.IndexHeaders[0]->Indices.size(), 1000000u);
    EXPECT_LE(Bounded.Rm.IndexHeaders[0]->Indices.size() * 14, size_t(16) << 20);
}

// ---- writing back -----------------------------------------------------------

// The records in the order the files here hold their chunks, written and dumped.
std::pair<Bytes, std::vector<std::string>> Write(TRMFile& Rm)
{
    std::vector<TRMPacket*> Records = {Rm.FileHeader.get(), Rm.Properties.get(), Rm.Content.get()};
    for (const auto& M : Rm.MediaProperties) Records.push_back(M.get());
    Records.push_back(Rm.DataHeader.get());
    for (const auto& I : Rm.IndexHeaders) Records.push_back(I.get());
    std::pair<Bytes, std::vector<std::string>> Out;
    for (TRMPacket* Record : Records)
        if (Record) Record->SaveToStream(Out.first), Record->Dump(Out.second);
    return Out;
}

// Every kind of chunk and type-specific block, sizes as a writer makes them;
// the data chunk holds no packets.
Bytes EveryChunk()
{
    Bytes Video(34);
    std::copy_n("VIDORV40", 8, Video.begin() + 4);
    Video[13] = 16;
    const Bytes Audio = Bytes(16, 3) + Bytes(53) + Text8("T") + Text8("A") + Text8("C") + Text8("App") + B("tail");
    return FileHeader() + Prop() + Cont("Title", "Author", "(c)", "Comment") + Mdpr("audio/x-pn-realaudio", Audio) +
           Mdpr("video/x-pn-realvideo", Video) + Mdpr("logical-fileinfo", LogicalInfo()) + Mdpr("other", B("raw")) +
           Chunk("DATA", Bytes(8)) + Indx(3);
}

// Rows: what the written file reads as.
class RealMediaRoundTrip : public ::testing::TestWithParam<Row> {};

// Read, write, read again: the same records, and the file's own bytes up to
// the packets of its data chunk, which are not held.
TEST_P(RealMediaRoundTrip, WritesWhatItRead)
{
    const Bytes& Original = GetParam().File;
    Reading First(Original);
    ASSERT_NE(First.Rm.DataHeader, nullptr);
    const auto Written = Write(First.Rm);
    const size_t End = std::min<size_t>(First.Rm.DataEnd, Original.size());
    EXPECT_EQ(Written.first, Resized(Original, First.Rm.DataStart) + Bytes(Original.begin() + End, Original.end()));
    Reading Second(Written.first);
    EXPECT_EQ(Write(Second.Rm), Written);
    EXPECT_EQ(Second.Summary(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Files, RealMediaRoundTrip, ::testing::Values(
    Row{{"tags"}, Load("rm_tags.rm"), "RM Title|RM Author|(c) 2003|RM Comment 73 audio@8000"},
    Row{{"two_streams"}, Load("rm_two_streams.rm"), "  Two Streams  |Author B|| 34 video16 73 audio@8000"},
    Row{{"every_chunk"}, EveryChunk(), "Title|Author|(c)|Comment 83 audio@0 34 video16 0 logical2/2 3 index3"}),
    RowName());

// Written sizes follow the fields, whatever the chunk claimed; a bare header is 10 bytes.
TEST(RealMediaWrite, SizesFollowTheFields)
{
    const Bytes Texts = Text16("a") + Text16("bc") + Text16("") + Text16("d"), Index = Indx(2);
    const struct { const char* Name; Bytes Claimed, Right; } Rows[] = {
        {"content claims 0", Chunk("CONT", Texts, 0), Cont("a", "bc", "", "d")},
        {"content claims 200", Chunk("CONT", Texts, 200), Cont("a", "bc", "", "d")},
        {"index claims 1000", Chunk("INDX", Bytes(Index.begin() + 10, Index.end()), 1000), Index}};
    for (const auto& Row : Rows) {
        SCOPED_TRACE(Row.Name);
        Reading Read(Row.Claimed);
        EXPECT_EQ(Write(Read.Rm).first, Row.Right) << Read.Summary();
    }
    TRMGenericHeader Bare;
    std::copy_n("ABCD", 4, Bare.ObjectID);
    TRMStream Out;
    Bare.SaveToStream(Out);
    EXPECT_EQ(Out, B("ABCD") + Be(10, 4) + Be(0, 2));
}

} // namespace
