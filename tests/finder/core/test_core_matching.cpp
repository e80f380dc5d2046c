// The matching engine: equal bytes decide (block edges, checksum collisions,
// files changed since the walk), the name index, entries listed by name
// alone, stops. The kinds' also-criteria are held against plain references
// in test_review_core.cpp.
#include <gtest/gtest.h>

#include <unistd.h>

#include <random>

#include "finder/core/MatchingUnit.h"
#include "tests/finder/core/CoreTestSupport.h"

using namespace finder;
using namespace core_test;
using corvane_test::TempTree;

namespace {

std::string Bytes(size_t N, unsigned Seed) {
    std::mt19937 G(Seed);
    std::string S(N, '\0');
    for (char& C : S) C = char(G());
    return S;
}

// An entry as a same-name walk lists it: the name alone, nothing read yet.
plat::TWin32FindData NameOnly(const std::string& Name) {
    plat::TWin32FindData D = Entry(Name, 0, 0);
    D.Stated = false;
    return D;
}

} // namespace

// Sizes at and around the edges of the 4 KiB first block and the 256 KiB
// blocks: one changed byte, or a byte the file gained since the walk, makes
// two files different for the comparison, the checksum and the matcher.
enum class TChange { None, First, Last, Grown };

struct TBlockCase {
    const char* Name;
    size_t Size;
    TChange Change;
};

class BlockEdges : public ::testing::TestWithParam<TBlockCase> {};

TEST_P(BlockEdges, EveryByteCounts) {
    const TBlockCase C = GetParam();
    TempTree Tree;
    const std::string A = Bytes(C.Size, 1);
    std::string B = A;
    if (C.Change == TChange::First) B.front() = char(B.front() ^ 1);
    if (C.Change == TChange::Last) B.back() = char(B.back() ^ 1);
    if (C.Change == TChange::Grown) B += 'x';
    const std::string PA = Tree.File("a/f.bin", {.Content = A}), PB = Tree.File("b/f.bin", {.Content = B});
    const bool Same = C.Change == TChange::None;
    EXPECT_EQ(CompareFileContents(PA, PB), Same ? TCompareResult::Equal : TCompareResult::Different);
    uint32_t Sum = 0;
    ASSERT_TRUE(FileChecksum(PB, Sum));
    EXPECT_EQ(Sum, Crc(B));

    // The matcher, given the size the walk saw (no write time: one would
    // be checked): a third file of that size makes it checksum whole files
    // before it compares.
    Tree.File("c/f.bin", {.Content = char(~A[0]) + A.substr(1)});
    Feeder F;
    F.Options.Kind = TScanKind::FileBye;
    for (const char* D : {"c/", "a/", "b/"}) F.Feed(Tree.Path(D), Entry("f.bin", C.Size, 0));
    EXPECT_EQ(Shape(F.Groups, Tree.Root()), Same ? "[/c/f.bin][/a/f.bin /b/f.bin]"
                                                 : "[/c/f.bin][/a/f.bin][/b/f.bin]");
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, BlockEdges,
    ::testing::Values(TBlockCase{"OneByteChanged", 1, TChange::Last},
                      TBlockCase{"HeadLessOneLastChanged", 4095, TChange::Last},
                      TBlockCase{"HeadLastChanged", 4096, TChange::Last},
                      TBlockCase{"HeadPlusOneLastChanged", 4097, TChange::Last},
                      TBlockCase{"BlockEdge", 4096 + 262144, TChange::None},
                      TBlockCase{"BlockEdgeLastChanged", 4096 + 262144, TChange::Last},
                      TBlockCase{"PastBlockEdgeLastChanged", 4096 + 262145, TChange::Last},
                      TBlockCase{"ManyBlocks", 600000, TChange::None},
                      TBlockCase{"ManyBlocksFirstChanged", 600000, TChange::First},
                      TBlockCase{"GrownSinceTheWalk", 5000, TChange::Grown}),
    [](const auto& Info) { return std::string(Info.param.Name); });

// Equal length, first block and CRC-32, different bytes: never duplicates,
// neither on the checksum road (several groups of the size) nor the direct
// one. Empty files are equal; a file without a dot joins but opens nothing;
// four gigabytes are no empty file.
TEST(SameContent, OnlyEqualBytesJoin) {
    const std::string Head = Bytes(5000, 1);
    const std::string A = WithCrc(Head + Bytes(3000, 2)), B = WithCrc(Head + Bytes(3000, 3));
    const std::string SmallA = WithCrc("abcdefgh"), SmallB = WithCrc("hgfedcba");
    ASSERT_EQ(Crc(A), Crc(B));
    ASSERT_EQ(Crc(SmallA), Crc(SmallB));
    TempTree T;
    Feeder F;
    F.Options.Kind = TScanKind::FileBye;
    for (const auto& [Rel, Content] : std::vector<std::pair<std::string, std::string>>{
             {"1/a.bin", A}, {"2/b.bin", B}, {"3/c.bin", B}, {"4/d.bin", A}, {"5/s.bin", SmallA}, {"6/t.bin", SmallB},
             {"7/hosts", ""}, {"8/e.txt", ""}, {"9/hosts", ""}})
        F.FeedFile(T.File(Rel, {.Content = Content}));
    F.FeedFile(T.File("big.txt", {.Size = uint64_t(4) << 30}));
    EXPECT_EQ(Shape(F.Groups, T.Root()),
              "[/1/a.bin /4/d.bin][/2/b.bin /3/c.bin][/5/s.bin][/6/t.bin][/8/e.txt /9/hosts][/big.txt]");
    EXPECT_EQ(static_cast<const TSearchStatBye&>(*F.Groups.back()).Size(), int64_t(4) << 30);
    EXPECT_FALSE(SameChecksum(T.Path("1/a.bin"), T.Path("2/b.bin")));
}

TEST(SameContent, StopDuringTheComparisonIsNoMatch) {
    TempTree T;
    Feeder F;
    F.Options.Kind = TScanKind::FileBye;
    const std::string Big = Bytes(1 << 20, 5);
    F.FeedFile(T.File("1/a.bin", {.Content = Big}));
    int Calls = 0;
    F.Pump = [&] { if (++Calls == 2) F.RunState = rsStopRequested; };
    EXPECT_TRUE(F.FeedFile(T.File("2/b.bin", {.Content = Big})));
    EXPECT_EQ(F.Groups[0]->Count, 1);
    EXPECT_EQ(Calls, 2);
}

TEST(SimilarPictures, WithoutTheTestOnlyIdenticalCopiesJoin) {
    TempTree T;
    Feeder F;
    F.Options.Kind = TScanKind::Similar;
    F.Options.Mode = F.Options.Filter.Mode = 4;
    F.Options.SimilarityOn = true;
    F.Options.SimilarityText = "100";
    F.Hooks.PictureSimilarity = [](auto&&...) -> double {
        ADD_FAILURE() << "no similarity with the test off";
        return 100;
    };
    for (const char* Rel : {"1/a.png", "2/b.png", "3/c.png"})
        F.FeedFile(T.File(Rel, {.Content = Rel[0] == '2' ? "pixelz" : "pixels"}));
    EXPECT_EQ(Shape(F.Groups, T.Root()), "[/1/a.png /3/c.png][/2/b.png]");
    EXPECT_EQ(static_cast<const TSearchSimilar&>(*F.Groups[0]).Files[1].Similarity, 100.0);
}

TEST(SameName, GrowingTheIndexKeepsTheFirstGroupOfEveryName) {
    Feeder F;
    constexpr int Names = 5000;
    for (const char* Folder : {"/one/", "/two/"})
        for (int I = 0; I < Names; ++I) F.Feed(Folder, Entry("n" + std::to_string(I) + ".txt", 1));
    ASSERT_EQ(F.Groups.size(), size_t(Names));
    for (const auto& G : F.Groups) ASSERT_EQ(G->Count, 2);
}

// A same-name walk reads a file only once a second of its name turns up: a
// first file gone by then gives its place to the next one, a joining file
// gone (or a folder now) is dropped, and sizes are the files' own. Other
// kinds, and a filter on sizes, read an entry listed by name at once.
TEST(SameName, FilesGoneSinceTheListingAreNeverListed) {
    TempTree T;
    T.File("a/x.txt", {.Content = "a"});
    T.File("b/x.txt", {.Content = "bb"});
    T.Dir("c/x.txt");
    T.File("e/x.txt", {.Content = "bb"});
    Feeder F, Content, Empty;
    EXPECT_TRUE(F.Feed(T.Path("a/"), NameOnly("x.txt")));
    ASSERT_EQ(::unlink(T.Path("a/x.txt").c_str()), 0);
    for (const char* D : {"b/", "c/", "d/", "e/"}) EXPECT_FALSE(F.Feed(T.Path(D), NameOnly("x.txt"))) << D;
    EXPECT_EQ(Shape(F.Groups, T.Root()), "[/b/ /e/]");
    const auto& G = static_cast<const TSearchStat&>(*F.Groups[0]);
    EXPECT_EQ(G.Files[0].Size + G.Files[1].Size, 4);
    EXPECT_EQ(F.M().DuplicateFiles(), 2);

    Content.Options.Kind = TScanKind::FileBye;
    for (const char* D : {"b/", "e/"}) Content.Feed(T.Path(D), NameOnly("x.txt"));
    EXPECT_EQ(Shape(Content.Groups, T.Root()), "[/b/x.txt /e/x.txt]");
    Empty.Options.Filter.BasicType = TBasicType::Zero;  // only empty files pass
    Empty.Feed(T.Path("b/"), NameOnly("x.txt"));
    EXPECT_TRUE(Empty.Groups.empty());
}
