// TRMFile on real files made by ffmpeg, and on chunk sequences put together
// here for the chunks no tool of ours writes (INDX, logical-fileinfo).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tags/OggVorbis.h"
#include "tags/RealMediaFile.h"
#include "tests/common/TempTree.h"

using namespace tags;

namespace {

std::string Sample(const std::string& Name) { return std::string(CORVANE_SAMPLES) + "/" + Name; }

std::vector<uint8_t> LoadSample(const std::string& Name)
{
    std::ifstream In(Sample(Name), std::ios::binary);
    return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

std::string LoadSampleText(const std::string& Name)
{
    const std::vector<uint8_t> Bytes = LoadSample(Name);
    return std::string(Bytes.begin(), Bytes.end());
}

struct Warnings {
    std::vector<std::pair<std::string, std::string>> Seen; // text, caption
    TRMWarning Handler() { return [this](const std::string& T, const std::string& C) { Seen.emplace_back(T, C); }; }
};

void Be(std::string& Out, uint64_t V, int Bytes)
{
    for (int I = Bytes - 1; I >= 0; --I) Out.push_back(char(uint8_t(V >> (8 * I))));
}

std::string Text16(const std::string& S)
{
    std::string Out;
    Be(Out, S.size(), 2);
    return Out + S;
}

std::string Text8(const std::string& S)
{
    std::string Out;
    Be(Out, S.size(), 1);
    return Out + S;
}

// One chunk: its header (size computed unless given) and body.
std::string Chunk(const std::string& ID, const std::string& Body, int64_t Size = -1)
{
    std::string Out = ID;
    Be(Out, Size >= 0 ? uint64_t(Size) : 10 + Body.size(), 4);
    Be(Out, 0, 2);
    return Out + Body;
}

std::string FileHeader() { return Chunk(".RMF", std::string("\0\0\0\0\0\0\0\4", 8)); }
std::string Prop() { return Chunk("PROP", std::string(40, '\0')); }
std::string Cont(const std::string& T, const std::string& A, const std::string& C, const std::string& M)
{
    return Chunk("CONT", Text16(T) + Text16(A) + Text16(C) + Text16(M));
}
std::string Mdpr(const std::string& Mime, const std::string& Specific, int64_t SpecificLen = -1)
{
    std::string Body(30, '\0');
    Body += Text8("stream") + Text8(Mime);
    Be(Body, SpecificLen >= 0 ? uint64_t(SpecificLen) : Specific.size(), 4);
    return Chunk("MDPR", Body + Specific);
}
std::string Data() { return Chunk("DATA", std::string(8, '\0') + std::string(40, 'p')); }
std::string Indx(uint32_t Records, int64_t Declared = -1)
{
    std::string Body;
    Be(Body, Declared >= 0 ? uint64_t(Declared) : Records, 4);
    Be(Body, 1, 2);
    Be(Body, 0, 4);
    for (uint32_t I = 0; I < Records; ++I) {
        Be(Body, 0, 2);
        Be(Body, I * 100, 4);
        Be(Body, 1000 + I, 4);
        Be(Body, I, 4);
    }
    return Chunk("INDX", Body);
}

void ReadBytes(TRMFile& Rm, const std::string& Bytes)
{
    Rm.ReadFromBytes(reinterpret_cast<const uint8_t*>(Bytes.data()), Bytes.size());
}

} // namespace

TEST(RealMediaFile, ReadsTheChunksOfARealFile)
{
    Warnings W;
    TRMFile Rm;
    Rm.OnWarning = W.Handler();
    Rm.ReadFromFile(Sample("rm_tags.rm"));
    EXPECT_TRUE(W.Seen.empty());
    const TContent* Content = Rm.GetContent();
    ASSERT_NE(Content, nullptr);
    EXPECT_EQ(CText(Content->Title), "RM Title");
    EXPECT_EQ(CText(Content->Author), "RM Author");
    EXPECT_EQ(CText(Content->Copyright), "(c) 2003");
    EXPECT_EQ(CText(Content->Comment), "RM Comment");
    ASSERT_NE(Rm.FileHeader, nullptr);
    ASSERT_NE(Rm.Properties, nullptr);
    ASSERT_NE(Rm.DataHeader, nullptr);
    EXPECT_EQ(Rm.Properties->NumStreams, 1);
    ASSERT_EQ(Rm.GetMediaPropertiesCount(), 1);
    EXPECT_EQ(Rm.MediaProperties[0]->MIMEType, "audio/x-pn-realaudio");
    auto* Audio = dynamic_cast<TAudioTypeSpecificData*>(Rm.MediaProperties[0]->TypeSpecificData.get());
    ASSERT_NE(Audio, nullptr);
    EXPECT_EQ(Audio->SampleRate, 8000u << 16); // the rate's 16 bits, then two zero bytes
    EXPECT_EQ(Audio->SampleSize, 16);
    EXPECT_EQ(Audio->NumChannels, 1);
    EXPECT_EQ(Audio->CompressionCode.substr(1), "lpcJ");
    EXPECT_EQ(Rm.DataStart, 276u + 18);
    EXPECT_EQ(Rm.DataPosition, Rm.DataStart);
    EXPECT_EQ(Rm.GetIndexHeaderCount(), 0);
    EXPECT_EQ(Rm.FileName, Sample("rm_tags.rm"));
    EXPECT_NE(Rm.Stream, nullptr);              // kept open until cleared
    Rm.Clear();
    EXPECT_EQ(Rm.Stream, nullptr);
    EXPECT_EQ(Rm.GetContent(), nullptr);
    EXPECT_EQ(Rm.FileName, Sample("rm_tags.rm"));
}

TEST(RealMediaFile, AudioAndVideoStreams)
{
    TRMFile Rm;
    Rm.ReadFromFile(Sample("rm_two_streams.rm"));
    ASSERT_EQ(Rm.GetMediaPropertiesCount(), 2);
    ASSERT_NE(Rm.GetContent(), nullptr);
    EXPECT_EQ(CText(Rm.GetContent()->Title), "  Two Streams  ");
    bool SawVideo = false;
    for (const auto& M : Rm.MediaProperties) {
        if (auto* Video = dynamic_cast<TVideoTypeSpecificData*>(M->TypeSpecificData.get())) {
            SawVideo = true;
            EXPECT_EQ(Video->UiWidth, 16);
            EXPECT_EQ(Video->UiHeight, 16);
            EXPECT_EQ(std::string(Video->Moftag, 4), "VIDO");
        }
    }
    EXPECT_TRUE(SawVideo);
}

TEST(RealMediaFile, EmptyContentGivesFourEmptyTexts)
{
    TRMFile Rm;
    Rm.ReadFromFile(Sample("rm_notags.rm"));
    ASSERT_NE(Rm.GetContent(), nullptr);
    EXPECT_EQ(Rm.GetContent()->Title, "");
    EXPECT_EQ(Rm.GetContent()->Comment, "");
}

TEST(RealMediaFile, PathsThatGiveNothing)
{
    corvane_test::TempTree T;
    Warnings W;
    TRMFile Rm;
    Rm.OnWarning = W.Handler();
    Rm.ReadFromFile("");
    EXPECT_TRUE(W.Seen.empty());
    Rm.ReadFromFile(T.File("empty.rm"));
    EXPECT_TRUE(W.Seen.empty());
    EXPECT_EQ(Rm.GetContent(), nullptr);
    Rm.ReadFromFile(T.Path("missing.rm"));
    ASSERT_EQ(W.Seen.size(), 1u);
    EXPECT_EQ(W.Seen[0].first, "找不到指定文件");
    EXPECT_EQ(W.Seen[0].second, "文件没找到");
    Rm.ReadFromFile(T.Dir("folder.rm"));
    EXPECT_EQ(W.Seen.size(), 2u);
}

TEST(RealMediaFile, AReadOnlyFileIsRead)
{
    corvane_test::TempTree T;
    const std::vector<uint8_t> Bytes = LoadSample("rm_tags.rm");
    const std::string Path =
        T.File("ro.rm", {.Content = std::string(Bytes.begin(), Bytes.end()), .Mode = 0444});
    TRMFile Rm;
    ASSERT_NO_THROW(Rm.ReadFromFile(Path));
    ASSERT_NE(Rm.GetContent(), nullptr);
    EXPECT_EQ(CText(Rm.GetContent()->Title), "RM Title");

    // The file stays open while the reader lives: it must be open for reading
    // only (a test run as root could open a read-only file for writing too).
    int Found = 0;
    for (int Fd = 0; Fd < 1024; ++Fd) {
        char Target[4096];
        const std::string Link = "/proc/self/fd/" + std::to_string(Fd);
        const ssize_t N = ::readlink(Link.c_str(), Target, sizeof Target - 1);
        if (N <= 0 || std::string(Target, size_t(N)) != Path) continue;
        std::ifstream Info("/proc/self/fdinfo/" + std::to_string(Fd));
        std::string Key;
        unsigned Flags = 0;
        while (Info >> Key)
            if (Key == "flags:") Info >> std::oct >> Flags;
        EXPECT_EQ(Flags & O_ACCMODE, unsigned(O_RDONLY));
        ++Found;
    }
    EXPECT_EQ(Found, 1);
}

TEST(RealMediaFile, TheDefaultWarningIsTheProcessWideHandler)
{
    corvane_test::TempTree T;
    Warnings W;
    SetRMWarningHandler(W.Handler());
    {
        TRMFile Rm;
        Rm.ReadFromFile(T.Path("missing.rm"));
    }
    SetRMWarningHandler(nullptr);
    TRMFile Quiet;
    Quiet.ReadFromFile(T.Path("missing.rm"));
    EXPECT_EQ(W.Seen.size(), 1u);
}

TEST(RealMediaChunks, AFullSequenceWalksToTheEndQuietly)
{
    const std::string Head = FileHeader() + Prop() + Mdpr("audio/x-pn-realaudio", std::string(80, '\0')) +
                             Mdpr("video/x-pn-realvideo", std::string(34, '\0')) + Cont("T", "A", "C", "M");
    const std::string Bytes = Head + Data() + Indx(3);
    Warnings W;
    TRMFile Rm;
    Rm.OnWarning = W.Handler();
    ReadBytes(Rm, Bytes);
    EXPECT_TRUE(W.Seen.empty());
    EXPECT_EQ(Rm.GetMediaPropertiesCount(), 2);
    ASSERT_EQ(Rm.GetIndexHeaderCount(), 1);
    ASSERT_EQ(Rm.IndexHeaders[0]->Indices.size(), 3u);
    EXPECT_EQ(Rm.IndexHeaders[0]->Indices[2].Offset, 1002u);
    EXPECT_EQ(Rm.DataStart, Head.size() + 18);
    EXPECT_EQ(Rm.DataEnd, Head.size() + Data().size());
    ASSERT_NE(Rm.GetContent(), nullptr);
    EXPECT_EQ(Rm.GetContent()->Title, "T");
    EXPECT_EQ(Rm.GetContent()->Comment, "M");
}

TEST(RealMediaChunks, ContentTexts)
{
    struct Case { std::string Bytes; const char* Texts[4]; };
    const Case Cases[] = {
        {FileHeader() + Cont("", "", "", ""), {"", "", "", ""}},
        {Cont(std::string("ab\0cd", 5), "", "", "x"), {"ab", "", "", "x"}},      // seen up to the zero byte
        {Cont("first", "", "", "") + Cont("second", "", "", "2"), {"second", "", "", "2"}},
        // Texts cut by the end of the file, and by the end of their chunk.
        {Chunk("CONT", Text16("cut") + Text16("a") + std::string("\0\x09" "ab", 4)), {"cut", "a", "ab", ""}},
        {Chunk("CONT", Text16("t") + Text16("a") + Text16("c") + Text16("comment"), 10 + 9 + 2 + 3) + Prop(),
         {"t", "a", "c", "com"}},
    };
    for (const Case& C : Cases) {
        TRMFile Rm;
        ReadBytes(Rm, C.Bytes);
        ASSERT_NE(Rm.GetContent(), nullptr);
        const TContent& Content = *Rm.GetContent();
        EXPECT_EQ(CText(Content.Title), C.Texts[0]);
        EXPECT_EQ(CText(Content.Author), C.Texts[1]);
        EXPECT_EQ(CText(Content.Copyright), C.Texts[2]);
        EXPECT_EQ(CText(Content.Comment), C.Texts[3]);
    }
    TRMFile Rm;
    ReadBytes(Rm, FileHeader() + Prop());
    EXPECT_EQ(Rm.GetContent(), nullptr);
}

TEST(RealMediaChunks, AnUnknownChunkEndsTheWalkWithAWarning)
{
    // A long DATA chunk carries the walk to position 1234.
    std::string Bytes = FileHeader() + Cont("kept", "", "", "") + Chunk("DATA", std::string(8, '\0'), 1234 - 18 - 18 - 4);
    Bytes.resize(1234, 'x');
    Bytes += Chunk("RMMD", "") + Cont("never", "", "", "");
    Warnings W;
    TRMFile Rm;
    Rm.OnWarning = W.Handler();
    ReadBytes(Rm, Bytes);
    ASSERT_EQ(W.Seen.size(), 1u);
    EXPECT_EQ(W.Seen[0].first, "在文件1234位置，找到未知的标记头标识：RMMD");
    EXPECT_EQ(W.Seen[0].second, "未知的文件格式");
    ASSERT_NE(Rm.GetContent(), nullptr);
    EXPECT_EQ(Rm.GetContent()->Title, "kept");
    EXPECT_NE(Rm.Stream, nullptr);
}

TEST(RealMediaChunks, SizesThatEndTheWalk)
{
    struct Case { std::string Name; std::string Bytes; const char* Title; size_t Warnings = 0; };
    const Case Cases[] = {
        // Size 0: loaded, then the walk ends without a message.
        {"zero", Chunk("CONT", Text16("zero") + Text16("") + Text16("") + Text16(""), 0) + Cont("next", "", "", ""),
         "zero"},
        // A size that would carry the position past 4 GiB ends the walk.
        {"wrap", FileHeader() + Chunk("DATA", std::string(8, '\0'), 0xFFFFFFF0) + Cont("after", "", "", ""), nullptr},
        // A size smaller than a header still moves on: "ROP" is no chunk.
        {"tiny", Chunk("PROP", "", 1) + std::string(30, 'z'), nullptr, 1},
        // A header cut short by the end of the file is the end of the file.
        {"short", Cont("kept", "", "", "") + std::string("PR", 2), "kept"},
        {"short_id", Cont("kept", "", "", "") + std::string("XYZW\0\0", 6), "kept"},
    };
    for (const Case& C : Cases) {
        Warnings W;
        TRMFile Rm;
        Rm.OnWarning = W.Handler();
        ReadBytes(Rm, C.Bytes);
        EXPECT_EQ(W.Seen.size(), C.Warnings) << C.Name;
        if (C.Title) {
            ASSERT_NE(Rm.GetContent(), nullptr) << C.Name;
            EXPECT_EQ(Rm.GetContent()->Title, C.Title) << C.Name;
        } else {
            EXPECT_EQ(Rm.GetContent(), nullptr) << C.Name;
        }
    }
}

TEST(RealMediaChunks, AChunkOfSizeZeroInALargeFileReadsABoundedBody)
{
    // An index chunk of size 0 that claims every record it could: the rest
    // of a 40 MiB file is not pulled into memory for it.
    std::string Body;
    Be(Body, 0xFFFFFFFF, 4);
    Be(Body, 0, 2);
    Be(Body, 0, 4);
    std::string Bytes = FileHeader() + Chunk("INDX", Body, 0);
    Bytes.resize(Bytes.size() + (size_t(40) << 20), '\0');
    TRMFile Rm;
    ReadBytes(Rm, Bytes);
    ASSERT_EQ(Rm.GetIndexHeaderCount(), 1);
    EXPECT_GT(Rm.IndexHeaders[0]->Indices.size(), 1000000u);
    EXPECT_LE(Rm.IndexHeaders[0]->Indices.size() * 14, size_t(16) << 20);
}

TEST(RealMediaChunks, MimeTypesChooseTheTypeSpecificClass)
{
    TRMFile Rm;
    ReadBytes(Rm, Mdpr("Audio/x-pn-realaudio", "raw!") + Mdpr("audio/x-pn-realaudio", std::string(3, '\1')));
    ASSERT_EQ(Rm.GetMediaPropertiesCount(), 2);
    const TSpecificData* Raw = Rm.MediaProperties[0]->TypeSpecificData.get();
    EXPECT_EQ(dynamic_cast<const TAudioTypeSpecificData*>(Raw), nullptr);
    EXPECT_EQ(Raw->Data, (std::vector<uint8_t>{'r', 'a', 'w', '!'}));
    // An audio block too short for its fields: what is missing reads as 0.
    auto* Audio = dynamic_cast<TAudioTypeSpecificData*>(Rm.MediaProperties[1]->TypeSpecificData.get());
    ASSERT_NE(Audio, nullptr);
    EXPECT_EQ(Audio->SampleRate, 0u);
    EXPECT_EQ(Audio->Title, "");
}

TEST(RealMediaChunks, LogicalFileInfo)
{
    std::string L;
    Be(L, 0, 4);
    Be(L, 0, 2);
    Be(L, 2, 2);                       // two physical streams
    Be(L, 0, 2); Be(L, 1, 2);
    Be(L, 100, 4); Be(L, 200, 4);
    Be(L, 1, 2); Be(L, 1, 2);          // one rule
    Be(L, 2, 2);                       // two properties
    for (const std::string Name : {"Title", "Author"}) {
        std::string P;
        Be(P, 0, 4); Be(P, 0, 2);
        P += Text8(Name);
        Be(P, 2, 4);
        Be(P, 3, 2);
        P += "xyz";
        L += P;
    }
    TRMFile Rm;
    ReadBytes(Rm, Mdpr("logical-fileinfo", L, 0)); // its length says 0: read as the counts say
    auto* Logical = dynamic_cast<TLogicalStream*>(Rm.MediaProperties.at(0)->TypeSpecificData.get());
    ASSERT_NE(Logical, nullptr);
    EXPECT_EQ(Logical->PhysicalStreamNumbers, (std::vector<uint16_t>{0, 1}));
    EXPECT_EQ(Logical->DataOffsets, (std::vector<uint32_t>{100, 200}));
    EXPECT_EQ(Logical->RuleToPhysicalStreamNumberMap, (std::vector<uint16_t>{1}));
    ASSERT_EQ(Logical->NumPropertiesReal, 2u);
    EXPECT_EQ(Logical->Properties[1]->Name, "Author");
    EXPECT_EQ(Logical->Properties[1]->ValueData, "xyz");
}

TEST(RealMediaChunks, AbsurdCountsAreBoundedByTheChunk)
{
    std::string L;
    Be(L, 0, 4); Be(L, 0, 2);
    Be(L, 0xFFFF, 2);                  // physical streams
    Be(L, 0, 2); Be(L, 0, 2);
    TRMFile Rm;
    ReadBytes(Rm, Mdpr("logical-fileinfo", L) + Indx(2, 0xFFFFFFFF) +
                      Mdpr("audio/x-pn-realaudio", "abc", 0xFFFFFFFF) + Mdpr("other", "", 0x7FFFFFFF));
    auto* Logical = dynamic_cast<TLogicalStream*>(Rm.MediaProperties.at(0)->TypeSpecificData.get());
    ASSERT_NE(Logical, nullptr);
    EXPECT_EQ(Logical->NumPhysicalStreams, 0xFFFF);
    EXPECT_LE(Logical->PhysicalStreamNumbers.size(), 2u);
    ASSERT_EQ(Rm.GetIndexHeaderCount(), 1);
    EXPECT_EQ(Rm.IndexHeaders[0]->NumIndices, 0xFFFFFFFFu);
    EXPECT_EQ(Rm.IndexHeaders[0]->Indices.size(), 2u);
    ASSERT_EQ(Rm.GetMediaPropertiesCount(), 3);
    EXPECT_EQ(Rm.MediaProperties[1]->TypeSpecificData->Data.size(), 3u);
    EXPECT_TRUE(Rm.MediaProperties[2]->TypeSpecificData->Data.empty());
}

// ---- writing back -----------------------------------------------------------

// The records in the order the files here hold their chunks.
std::vector<TRMPacket*> Records(TRMFile& Rm)
{
    std::vector<TRMPacket*> Out = {Rm.FileHeader.get(), Rm.Properties.get(), Rm.Content.get()};
    for (const auto& M : Rm.MediaProperties) Out.push_back(M.get());
    Out.push_back(Rm.DataHeader.get());
    for (const auto& I : Rm.IndexHeaders) Out.push_back(I.get());
    Out.erase(std::remove(Out.begin(), Out.end(), nullptr), Out.end());
    return Out;
}

std::string SaveAll(TRMFile& Rm)
{
    TRMStream Out;
    for (TRMPacket* Record : Records(Rm)) Record->SaveToStream(Out);
    return std::string(Out.begin(), Out.end());
}

std::vector<std::string> DumpAll(TRMFile& Rm)
{
    std::vector<std::string> Lines;
    for (TRMPacket* Record : Records(Rm)) Record->Dump(Lines);
    return Lines;
}

std::string Property(const std::string& Name, const std::string& Value)
{
    std::string P;
    Be(P, 13 + Name.size() + Value.size(), 4);
    Be(P, 0, 2);
    P += Text8(Name);
    Be(P, 2, 4);
    Be(P, Value.size(), 2);
    return P + Value;
}

// Every kind of chunk and type-specific block, sizes as a writer makes them;
// the data chunk holds no packets.
std::string EveryChunk()
{
    std::string Logical;
    Be(Logical, 0, 4);
    Be(Logical, 0, 2);
    Be(Logical, 2, 2);
    Be(Logical, 0, 2); Be(Logical, 1, 2);
    Be(Logical, 100, 4); Be(Logical, 200, 4);
    Be(Logical, 1, 2); Be(Logical, 1, 2);
    Be(Logical, 2, 2);
    Logical += Property("Title", "xyz") + Property("Author", "ab");
    std::string Video(34, '\0');
    Video.replace(4, 8, "VIDORV40");
    Video[13] = 16;
    const std::string Audio = std::string(16, '\3') + std::string(53, '\0') + Text8("T") + Text8("A") + Text8("C") +
                              Text8("App") + "tail";
    return FileHeader() + Prop() + Cont("Title", "Author", "(c)", "Comment") + Mdpr("audio/x-pn-realaudio", Audio) +
           Mdpr("video/x-pn-realvideo", Video) + Mdpr("logical-fileinfo", Logical) + Mdpr("other", "raw") +
           Chunk("DATA", std::string(8, '\0')) + Indx(3);
}

struct RoundTripCase {
    const char* Name;
    std::string (*Make)();
};

class RealMediaRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

// Read, write, read again: the same records, and the file's own bytes up to
// the packets of its data chunk, which are not held.
TEST_P(RealMediaRoundTrip, WritesWhatItRead)
{
    const std::string Original = GetParam().Make();
    TRMFile First;
    ReadBytes(First, Original);
    ASSERT_NE(First.DataHeader, nullptr);
    const std::string Written = SaveAll(First);
    EXPECT_EQ(Written, Original.substr(0, First.DataStart) + Original.substr(std::min<size_t>(First.DataEnd, Original.size())));
    TRMFile Second;
    ReadBytes(Second, Written);
    const std::vector<std::string> Lines = DumpAll(First);
    ASSERT_GE(Lines.size(), 2u);
    EXPECT_EQ(Lines[0], "ObjectID=.RMF");
    EXPECT_EQ(Lines[1], "Size=00000012 [18]");
    EXPECT_EQ(DumpAll(Second), Lines);
    EXPECT_EQ(SaveAll(Second), Written);
}

INSTANTIATE_TEST_SUITE_P(
    Files, RealMediaRoundTrip,
    ::testing::Values(RoundTripCase{"tags", [] { return LoadSampleText("rm_tags.rm"); }},
                      RoundTripCase{"two_streams", [] { return LoadSampleText("rm_two_streams.rm"); }},
                      RoundTripCase{"every_chunk", EveryChunk}),
    [](const ::testing::TestParamInfo<RoundTripCase>& Info) { return std::string(Info.param.Name); });

// Sizes recomputed before writing, whatever the chunk claimed.
TEST(RealMediaWrite, SizesFollowTheFields)
{
    TRMFile Rm;
    ReadBytes(Rm, Chunk("CONT", Text16("a") + Text16("bc") + Text16("") + Text16("d"), 0));
    ASSERT_NE(Rm.Content, nullptr);
    EXPECT_EQ(Rm.Content->CalcSize(), 18u + 4);
    ReadBytes(Rm, Chunk("INDX", Indx(2).substr(10), 0));
    ASSERT_EQ(Rm.GetIndexHeaderCount(), 1);
    EXPECT_EQ(Rm.IndexHeaders[0]->CalcSize(), 20u + 2 * 14);
    TRMGenericHeader Bare;
    std::memcpy(Bare.ObjectID, "ABCD", 4);
    TRMStream Out;
    Bare.SaveToStream(Out);
    EXPECT_EQ(std::string(Out.begin(), Out.end()), std::string("ABCD\0\0\0\x0A\0\0", 10));
}

TEST(RealMediaChunks, EveryTruncationIsSafe)
{
    const std::vector<uint8_t> Whole = LoadSample("rm_two_streams.rm");
    for (size_t N = 0; N <= Whole.size(); ++N) {
        TRMFile Rm;
        Rm.ReadFromBytes(Whole.data(), N);
        if (N < 18 + 50 + 4) {
            EXPECT_EQ(Rm.GetContent(), nullptr) << N;
        }
    }
}
