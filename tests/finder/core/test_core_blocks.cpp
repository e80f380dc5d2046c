// Reading stops at the size a file had when opened: sizes at and around the
// block edges must still compare and checksum every byte.
#include <gtest/gtest.h>

#include <string>

#include "finder/core/MatchingUnit.h"
#include "tests/finder/core/CoreTestSupport.h"

using namespace finder;
using namespace core_test;
using corvane_test::TempTree;

namespace {

uint32_t TableCrc(const std::string& Bytes)
{
    const uint32_t* T = BuildChecksumTable();
    uint32_t C = 0xFFFFFFFFu;
    for (unsigned char B : Bytes) C = T[(C ^ B) & 0xFF] ^ (C >> 8);
    return ~C;
}

std::string Bytes(size_t Size)
{
    std::string S(Size, '\0');
    for (size_t I = 0; I < Size; ++I) S[I] = char((I * 131 + I / 251) & 0xFF);
    return S;
}

enum class TChange { None, First, Last };

struct TBlockCase {
    size_t Size;
    TChange Change;
};

void PrintTo(const TBlockCase& C, std::ostream* Os)
{
    *Os << C.Size << (C.Change == TChange::None ? " same" : C.Change == TChange::First ? " first" : " last");
}

class BlockEdges : public ::testing::TestWithParam<TBlockCase> {};

TEST_P(BlockEdges, EveryByteCountsInComparisonAndChecksum)
{
    const TBlockCase C = GetParam();
    TempTree Tree;
    const std::string A = Bytes(C.Size);
    std::string B = A;
    if (C.Change == TChange::First) B.front() = char(B.front() ^ 1);
    if (C.Change == TChange::Last) B.back() = char(B.back() ^ 1);
    const std::string PA = Tree.File("a/f.bin", {.Content = A});
    const std::string PB = Tree.File("b/f.bin", {.Content = B});

    const bool Same = C.Change == TChange::None;
    EXPECT_EQ(CompareFileContents(PA, PB), Same ? TCompareResult::Equal : TCompareResult::Different);
    uint32_t Crc = 0;
    ASSERT_TRUE(FileChecksum(PB, Crc));
    EXPECT_EQ(Crc, TableCrc(B));

    // Through the matcher: a third file of the size makes it checksum whole files.
    const std::string PC = Tree.File("c/f.bin", {.Content = Bytes(C.Size).replace(0, 1, 1, '\xEE')});
    Feeder F;
    F.Options.Kind = TScanKind::FileBye;
    F.FeedFile(PC);
    F.FeedFile(PA);
    F.FeedFile(PB);
    size_t Listed = 0;
    for (const auto& G : F.Groups) Listed += G->Count > 1 ? size_t(G->Count) : 0;
    EXPECT_EQ(Listed, Same ? 2u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, BlockEdges,
    ::testing::Values(TBlockCase{1, TChange::None}, TBlockCase{1, TChange::Last}, TBlockCase{4095, TChange::Last},
                      TBlockCase{4096, TChange::None}, TBlockCase{4096, TChange::Last},
                      TBlockCase{4097, TChange::None}, TBlockCase{4097, TChange::Last},
                      TBlockCase{4096 + 262144, TChange::None}, TBlockCase{4096 + 262144, TChange::Last},
                      TBlockCase{4096 + 262145, TChange::Last}, TBlockCase{600000, TChange::First},
                      TBlockCase{600000, TChange::Last}, TBlockCase{600000, TChange::None}));

TEST(BlockEdges, AFileThatGrewAfterTheWalkIsReadToItsEnd)
{
    // The walk saw equal sizes; one file gained a byte since. Bytes decide.
    TempTree Tree;
    const std::string PA = Tree.File("a/f.bin", {.Content = Bytes(5000)});
    const std::string PB = Tree.File("b/f.bin", {.Content = Bytes(5000) + "x"});
    EXPECT_EQ(CompareFileContents(PA, PB), TCompareResult::Different);
    Feeder F;
    F.Options.Kind = TScanKind::FileBye;
    F.Feed(Tree.Path("a/"), Entry("f.bin", 5000));
    F.Feed(Tree.Path("b/"), Entry("f.bin", 5000));
    for (const auto& G : F.Groups) EXPECT_EQ(G->Count, 1);
}

} // namespace
