// The matching engine: every kind with its also-criteria, content equality
// beyond the checksum, unreadable files and stops.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "finder/core/MatchingUnit.h"
#include "tests/finder/core/CoreTestSupport.h"

using namespace finder;
using namespace core_test;
using corvane_test::TempTree;

namespace {

uint32_t Crc(const std::string& S)
{
    return ~UpdateChecksum(0xFFFFFFFFu, reinterpret_cast<const unsigned char*>(S.data()), S.size());
}

// Four bytes that, appended to Prefix, give the CRC-32 Target. The CRC is
// affine in the appended bits, so this solves 32 linear equations over GF(2).
std::string ForgeTail(const std::string& Prefix, uint32_t Target)
{
    const uint32_t Base = Crc(Prefix + std::string(4, '\0'));
    uint32_t Col[32];
    for (int B = 0; B < 32; ++B) {
        std::string T(4, '\0');
        T[B / 8] = char(1 << (B % 8));
        Col[B] = Crc(Prefix + T) ^ Base;
    }
    // Gaussian elimination on rows = output bits; unknowns = input bits.
    uint64_t Rows[32];
    const uint32_t Want = Target ^ Base;
    for (int R = 0; R < 32; ++R) {
        uint64_t Row = 0;
        for (int B = 0; B < 32; ++B)
            if (Col[B] >> R & 1) Row |= uint64_t(1) << B;
        Rows[R] = Row | (uint64_t(Want >> R & 1) << 32);
    }
    int Where[32];
    int Rank = 0;
    for (int B = 0; B < 32; ++B) {
        Where[B] = -1;
        for (int R = Rank; R < 32; ++R)
            if (Rows[R] >> B & 1) {
                std::swap(Rows[R], Rows[Rank]);
                break;
            }
        if (!(Rows[Rank] >> B & 1)) continue;
        for (int R = 0; R < 32; ++R)
            if (R != Rank && (Rows[R] >> B & 1)) Rows[R] ^= Rows[Rank];
        Where[B] = Rank++;
    }
    uint32_t X = 0;
    for (int B = 0; B < 32; ++B)
        if (Where[B] >= 0 && (Rows[Where[B]] >> 32 & 1)) X |= 1u << B;
    std::string T(4, '\0');
    for (int I = 0; I < 4; ++I) T[I] = char(X >> (8 * I) & 0xFF);
    return T;
}

std::string Bytes(size_t N, unsigned Seed)
{
    std::mt19937 G(Seed);
    std::string S(N, '\0');
    for (char& C : S) C = char(G());
    return S;
}

} // namespace

TEST(ChecksumTest, StandardCrc32)
{
    // The fast checksum agrees with the byte-wise table loop, in pieces too.
    const std::string Data = Bytes(100003, 9);
    uint32_t Slow = 0xFFFFFFFFu;
    for (unsigned char B : Data) Slow = BuildChecksumTable()[(Slow ^ B) & 0xFF] ^ (Slow >> 8);
    const auto* P = reinterpret_cast<const unsigned char*>(Data.data());
    EXPECT_EQ(UpdateChecksum(0xFFFFFFFFu, P, Data.size()), Slow);
    EXPECT_EQ(UpdateChecksum(UpdateChecksum(0xFFFFFFFFu, P, 777), P + 777, Data.size() - 777), Slow);
    EXPECT_EQ(BuildChecksumTable()[1], 0x77073096u);
    EXPECT_EQ(Crc("123456789"), 0xCBF43926u);
    TempTree T;
    uint32_t C = 1;
    ASSERT_TRUE(FileChecksum(T.File("a.txt", {.Content = "123456789"}), C));
    EXPECT_EQ(C, 0xCBF43926u);
    EXPECT_TRUE(FileChecksum(T.File("e.txt"), C));
    EXPECT_EQ(C, 0u);
    EXPECT_FALSE(FileChecksum(T.Path("missing"), C));
}

// ---------------------------------------------------------------------------
// Same name

TEST(SameNameTest, NamesAreCaseSensitiveAndFirstGroupTakesIt)
{
    Feeder F;
    F.Feed("/p/", Entry("Report.doc", 1));
    F.Feed("/q/", Entry("report.doc", 1));
    F.Feed("/r/", Entry("Report.doc", 2));
    ASSERT_EQ(F.Groups.size(), 2u);
    EXPECT_EQ(F.Groups[0]->Count, 2);
    EXPECT_EQ(F.Groups[1]->Count, 1);
    const auto& G = static_cast<const TSearchStat&>(*F.Groups[0]);
    EXPECT_EQ(G.Files[1].Folder.str(), "/r/");
    EXPECT_EQ(F.M().DuplicateGroups(), 1);
    EXPECT_EQ(F.M().DuplicateFiles(), 2);
}

TEST(SameNameTest, NoGroupsLeavesUnmatchedAndNoDotOpensNothing)
{
    Feeder F;
    EXPECT_TRUE(F.Feed("/p/", Entry("hosts", 1)));
    EXPECT_TRUE(F.Groups.empty());
    F.Feed("/p/", Entry("a.txt", 1));
    EXPECT_EQ(F.Groups.size(), 1u);
}

TEST(SameNameTest, FoldersAndDotsNeverJoinOrOpen)
{
    Feeder F;
    F.Feed("/p/", Entry("a.txt", 1));
    EXPECT_FALSE(F.Feed("/q/", Entry("a.txt", 0, 1000, 16)));
    EXPECT_FALSE(F.Feed("/q/", Entry("b.d", 0, 1000, 17)));
    EXPECT_FALSE(F.Feed("/q/", Entry("..", 0, 1000, 16)));
    ASSERT_EQ(F.Groups.size(), 1u);
    EXPECT_EQ(F.Groups[0]->Count, 1);
}

TEST(SameNameTest, FilterDropsBeforeJoining)
{
    Feeder F;
    F.Options.Filter.SkipZero = true;
    F.Feed("/p/", Entry("a.txt", 5));
    EXPECT_FALSE(F.Feed("/q/", Entry("a.txt", 0)));
    EXPECT_EQ(F.Groups[0]->Count, 1);
}

TEST(SameNameTest, FourGigabyteSizesAreNotEqualToZero)
{
    Feeder F;
    F.Options.SameSize = true;
    F.Feed("/p/", Entry("a.txt", 0));
    F.Feed("/q/", Entry("a.txt", uint64_t(1) << 32));
    EXPECT_EQ(F.Groups[0]->Count, 1);
}

// ---------------------------------------------------------------------------
// Each kind with each also-criterion: the first three kinds drop an entry
// whose key matched but whose criterion failed; the similar kind tries the
// next group instead.

enum class Criterion { Size, Date, Artist };

struct AlsoCase {
    const char* Label;
    TScanKind Kind;
    Criterion Fails;
    size_t GroupsAfter;     // groups after A, B (B fails the criterion against A)
    int FirstCountAfterC;   // A's group after C, which matches A in every way
};

class AlsoCriterionTest : public ::testing::TestWithParam<AlsoCase> {};

TEST_P(AlsoCriterionTest, DropsOrTriesNext)
{
    const AlsoCase& C = GetParam();
    TempTree T;
    Feeder F;
    F.Options.Kind = C.Kind;
    F.Options.Mode = C.Kind == TScanKind::Title ? 3 : C.Kind == TScanKind::Similar ? 4 : 1;
    F.Options.Filter.Mode = F.Options.Mode;
    F.Options.SameSize = C.Fails == Criterion::Size;
    F.Options.SameDate = C.Fails == Criterion::Date;
    F.Options.SameArtist = C.Fails == Criterion::Artist;
    F.Options.SimilarityOn = true;
    std::map<std::string, std::vector<std::string>> Tags;
    F.Hooks.ReadMusicTags = [&](const std::string& P, std::vector<std::string>& L) {
        L.clear();
        auto It = Tags.find(P.substr(P.rfind('/') + 1));
        if (It != Tags.end()) L = It->second;
        return int(L.size());
    };
    F.Hooks.PictureSimilarity = [](const std::string&, const std::string&, double) { return 95.0; };

    const std::string Ext = C.Kind == TScanKind::Title ? ".mp3" : C.Kind == TScanKind::Similar ? ".png" : ".txt";
    const bool SameContent = C.Kind == TScanKind::FileBye;
    // B differs from A in the criterion only; its content equals A's where
    // the kind compares content.
    const std::string A = T.File("1/a" + Ext, {.Content = "same", .MTime = 1000});
    const std::string B = T.File("2/a" + Ext, {.Content = C.Fails == Criterion::Size && !SameContent ? "longer" : "same",
                                              .MTime = C.Fails == Criterion::Date ? 2000 : 1000});
    const std::string Cc = T.File("3/a" + Ext, {.Content = "same", .MTime = 1000});
    Tags["a" + Ext] = {"Title", "Artist", "", ""};
    if (C.Fails == Criterion::Artist) {
        F.Hooks.ReadMusicTags = [&](const std::string& P, std::vector<std::string>& L) {
            L = {"Title", P.find("/2/") != std::string::npos ? "Other" : "Artist", "", ""};
            return 4;
        };
    }
    F.FeedFile(A);
    F.FeedFile(B);
    EXPECT_EQ(F.Groups.size(), C.GroupsAfter) << C.Label;
    F.FeedFile(Cc);
    EXPECT_EQ(F.Groups[0]->Count, C.FirstCountAfterC) << C.Label;
    if (C.Kind == TScanKind::Similar) {
        // D fails against A's group but joins B's, the next one.
        const std::string D = T.File("4/a" + Ext, {.Content = C.Fails == Criterion::Size ? "longer" : "same",
                                                   .MTime = C.Fails == Criterion::Date ? 2000 : 1000});
        F.FeedFile(D);
        ASSERT_EQ(F.Groups.size(), 2u);
        EXPECT_EQ(F.Groups[1]->Count, 2) << C.Label;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, AlsoCriterionTest,
    ::testing::Values(AlsoCase{"name size", TScanKind::FileName, Criterion::Size, 1, 2},
                      AlsoCase{"name date", TScanKind::FileName, Criterion::Date, 1, 2},
                      AlsoCase{"content date", TScanKind::FileBye, Criterion::Date, 1, 2},
                      AlsoCase{"title size", TScanKind::Title, Criterion::Size, 1, 2},
                      AlsoCase{"title date", TScanKind::Title, Criterion::Date, 1, 2},
                      AlsoCase{"title artist", TScanKind::Title, Criterion::Artist, 1, 2},
                      AlsoCase{"similar size", TScanKind::Similar, Criterion::Size, 2, 2},
                      AlsoCase{"similar date", TScanKind::Similar, Criterion::Date, 2, 2}),
    [](const auto& Info) {
        std::string S = Info.param.Label;
        for (char& Ch : S)
            if (Ch == ' ') Ch = '_';
        return S;
    });

// ---------------------------------------------------------------------------
// Same content

class SameContentTest : public ::testing::Test {
protected:
    TempTree T;
    Feeder F;
    void SetUp() override { F.Options.Kind = TScanKind::FileBye; }
};

TEST_F(SameContentTest, EqualCrcIsNoProofOfEqualBytes)
{
    // Same first block, same length, same CRC-32, different bytes.
    const std::string Head = Bytes(5000, 1);
    const std::string BodyA = Bytes(3000, 2), BodyB = Bytes(3000, 3);
    const std::string A = Head + BodyA + ForgeTail(Head + BodyA, 0x12345678);
    const std::string B = Head + BodyB + ForgeTail(Head + BodyB, 0x12345678);
    ASSERT_EQ(A.size(), B.size());
    ASSERT_NE(A, B);
    ASSERT_EQ(Crc(A), Crc(B));
    const std::string PA = T.File("1/a.bin", {.Content = A});
    const std::string PB = T.File("2/b.bin", {.Content = B});
    const std::string PC = T.File("3/c.bin", {.Content = B});
    const std::string PD = T.File("4/d.bin", {.Content = A});
    uint32_t CA = 0, CB = 1;
    ASSERT_TRUE(FileChecksum(PA, CA));
    ASSERT_TRUE(FileChecksum(PB, CB));
    EXPECT_EQ(CA, CB);
    EXPECT_FALSE(SameChecksum(PA, PB));
    for (const auto& P : {PA, PB, PC, PD}) F.FeedFile(P);
    ASSERT_EQ(F.Groups.size(), 2u);
    EXPECT_EQ(MemberPaths<TSearchStatBye>(*F.Groups[0]), (std::vector<std::string>{PA, PD}));
    EXPECT_EQ(MemberPaths<TSearchStatBye>(*F.Groups[1]), (std::vector<std::string>{PB, PC}));
}

TEST_F(SameContentTest, SmallCollisionOnTheDirectRoad)
{
    const std::string A = "abcdefgh" + ForgeTail("abcdefgh", 7);
    const std::string B = "hgfedcba" + ForgeTail("hgfedcba", 7);
    ASSERT_EQ(Crc(A), Crc(B));
    F.FeedFile(T.File("1/a.bin", {.Content = A}));
    F.FeedFile(T.File("2/b.bin", {.Content = B}));
    EXPECT_EQ(F.Groups.size(), 2u);
}

TEST_F(SameContentTest, EmptyFilesAreDuplicatesAndFourGigabytesIsNotEmpty)
{
    F.FeedFile(T.File("1/e.txt"));
    F.FeedFile(T.File("2/e.txt"));
    F.FeedFile(T.File("3/big.txt", {.Size = uint64_t(4) << 30}));
    ASSERT_EQ(F.Groups.size(), 2u);
    EXPECT_EQ(F.Groups[0]->Count, 2);
    EXPECT_EQ(static_cast<const TSearchStatBye&>(*F.Groups[1]).Size, int64_t(4) << 30);
    EXPECT_EQ(static_cast<const TSearchStatBye&>(*F.Groups[0]).TotalSize, 0);
}

TEST_F(SameContentTest, FileWithoutDotJoinsButNeverOpens)
{
    F.FeedFile(T.File("1/hosts", {.Content = "x"}));
    F.FeedFile(T.File("2/a.txt", {.Content = "x"}));
    F.FeedFile(T.File("3/hosts", {.Content = "x"}));
    ASSERT_EQ(F.Groups.size(), 1u);
    EXPECT_EQ(F.Groups[0]->Count, 2);
}

TEST_F(SameContentTest, ManyGroupsOfOneSizeFindTheRightOne)
{
    // Eight different contents of one size, each seen twice, interleaved.
    std::vector<std::string> Contents;
    for (unsigned I = 0; I < 8; ++I) Contents.push_back(Bytes(9000, 10 + I));
    for (int Round = 0; Round < 2; ++Round)
        for (size_t I = 0; I < Contents.size(); ++I)
            F.FeedFile(T.File(std::to_string(Round) + "/" + std::to_string(I) + ".bin", {.Content = Contents[I]}));
    ASSERT_EQ(F.Groups.size(), 8u);
    for (size_t I = 0; I < 8; ++I) {
        EXPECT_EQ(F.Groups[I]->Count, 2);
        EXPECT_EQ(static_cast<const TSearchStatBye&>(*F.Groups[I]).Files[1].Name, std::to_string(I) + ".bin");
    }
}

// Tests run as root, where file modes do not keep a file from being read:
// the opener seam refuses the chosen path instead.
TEST_F(SameContentTest, UnreadableFileIsNobodysDuplicate)
{
    const std::string A = T.File("1/a.txt", {.Content = "same"});
    const std::string B = T.File("2/b.txt", {.Content = "same"});
    const std::string C = T.File("3/c.txt", {.Content = "same"});
    F.Hooks.OpenForRead = [&](const std::string& P) { return P == B ? -1 : ::open(P.c_str(), O_RDONLY | O_CLOEXEC); };
    for (const auto& P : {A, B, C}) F.FeedFile(P);
    ASSERT_EQ(F.Groups.size(), 2u);
    EXPECT_EQ(MemberPaths<TSearchStatBye>(*F.Groups[0]), (std::vector<std::string>{A, C}));
    EXPECT_EQ(F.Groups[1]->Count, 1);
}

TEST_F(SameContentTest, UnreadableFirstFileGivesWayToTheNextGroup)
{
    const std::string A = T.File("1/a.txt", {.Content = "same"});
    const std::string B = T.File("2/b.txt", {.Content = "same"});
    const std::string C = T.File("3/c.txt", {.Content = "same"});
    F.Hooks.OpenForRead = [&](const std::string& P) { return P == A ? -1 : ::open(P.c_str(), O_RDONLY | O_CLOEXEC); };
    for (const auto& P : {A, B, C}) F.FeedFile(P);
    ASSERT_EQ(F.Groups.size(), 2u);
    EXPECT_EQ(F.Groups[0]->Count, 1);
    EXPECT_EQ(MemberPaths<TSearchStatBye>(*F.Groups[1]), (std::vector<std::string>{B, C}));
}

TEST_F(SameContentTest, StopDuringTheComparisonIsNoMatch)
{
    const std::string Big = Bytes(1 << 20, 5);
    F.FeedFile(T.File("1/a.bin", {.Content = Big}));
    int Calls = 0;
    F.Pump = [&] {
        if (++Calls == 2) F.RunState = rsStopRequested;
    };
    EXPECT_TRUE(F.FeedFile(T.File("2/b.bin", {.Content = Big})));
    EXPECT_EQ(F.Groups[0]->Count, 1);
    EXPECT_EQ(Calls, 2);
}

// ---------------------------------------------------------------------------
// Song titles

TEST(SongTitleTest, UnreadableOrEmptyTitlesNeitherJoinNorOpen)
{
    Feeder F;
    F.Options.Kind = TScanKind::Title;
    F.Options.Mode = 3;
    F.Options.Filter.Mode = 3;
    std::map<std::string, std::vector<std::string>> Tags = {
        {"a.mp3", {"Song", "", "", ""}}, {"b.mp3", {"Song", "", "", ""}}, {"c.mp3", {"", "X", "", ""}},
        {"e.mp3", {"song", "", "", ""}}};
    int Reads = 0;
    F.Hooks.ReadMusicTags = [&](const std::string& P, std::vector<std::string>& L) {
        ++Reads;
        L.clear();
        auto It = Tags.find(P.substr(P.rfind('/') + 1));
        if (It != Tags.end()) L = It->second;
        return int(L.size());
    };
    F.Options.SameArtist = true;  // two empty artists are equal
    F.Feed("/m/", Entry("a.mp3", 1));
    F.Feed("/m/", Entry("c.mp3", 1));
    F.Feed("/m/", Entry("d.mp3", 1));
    F.Feed("/m/", Entry("b.mp3", 1));
    F.Feed("/m/", Entry("e.mp3", 1));
    ASSERT_EQ(F.Groups.size(), 2u);
    EXPECT_EQ(F.Groups[0]->Count, 2);
    EXPECT_EQ(static_cast<const TSearchStatID3&>(*F.Groups[1]).Title, "song");
    EXPECT_EQ(Reads, 5);  // once per file, also when it opens a group
}

TEST(SongTitleTest, OnlyTheMusicModeOpensTitleGroups)
{
    Feeder F;
    F.Options.Kind = TScanKind::Title;
    F.Options.Mode = 1;
    F.Hooks.ReadMusicTags = [](const std::string&, std::vector<std::string>& L) {
        L = {"T", "", "", ""};
        return 4;
    };
    F.Feed("/m/", Entry("a.txt", 1));
    EXPECT_TRUE(F.Groups.empty());
}

// ---------------------------------------------------------------------------
// Similar pictures

TEST(SimilarTest, ThresholdIsInclusive)
{
    Feeder F;
    F.Options.Kind = TScanKind::Similar;
    F.Options.Mode = F.Options.Filter.Mode = 4;
    F.Options.SimilarityOn = true;
    F.Options.SimilarityText = "90";
    std::map<std::string, double> Score = {{"b.png", 90.0}, {"c.png", 89.99}};
    F.Hooks.PictureSimilarity = [&](const std::string&, const std::string& P, double Threshold) {
        EXPECT_EQ(Threshold, 90.0);
        return Score[P.substr(P.rfind('/') + 1)];
    };
    F.Feed("/p/", Entry("a.png", 10));
    F.Feed("/p/", Entry("b.png", 11));
    F.Feed("/p/", Entry("c.png", 12));
    ASSERT_EQ(F.Groups.size(), 2u);
    const auto& G = static_cast<const TSearchSimilar&>(*F.Groups[0]);
    ASSERT_EQ(G.Count, 2);
    EXPECT_EQ(G.Files[0].Similarity, 100.0);
    EXPECT_EQ(G.Files[1].Similarity, 90.0);
    EXPECT_EQ(G.TotalSize, 10);
}

TEST(SimilarTest, WithoutTheTestOnlyIdenticalCopiesJoin)
{
    TempTree T;
    Feeder F;
    F.Options.Kind = TScanKind::Similar;
    F.Options.Mode = F.Options.Filter.Mode = 4;
    F.Options.SimilarityOn = true;
    F.Options.SimilarityText = "100";
    F.Hooks.PictureSimilarity = [](const std::string&, const std::string&, double) -> double {
        ADD_FAILURE() << "no similarity with the test off";
        return 100;
    };
    F.FeedFile(T.File("1/a.png", {.Content = "pixels"}));
    F.FeedFile(T.File("2/b.png", {.Content = "pixelz"}));
    F.FeedFile(T.File("3/c.png", {.Content = "pixels"}));
    ASSERT_EQ(F.Groups.size(), 2u);
    EXPECT_EQ(F.Groups[0]->Count, 2);
    EXPECT_EQ(static_cast<const TSearchSimilar&>(*F.Groups[0]).Files[1].Similarity, 100.0);
}
