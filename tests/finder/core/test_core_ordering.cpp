// Result ordering: the exchange sort's ties, and the fast roads that must
// leave exactly the same order.
#include <gtest/gtest.h>

#include <random>

#include "finder/core/ResultOrdering.h"

using namespace finder;

namespace {

std::unique_ptr<TSearchStatBye> Group(const std::string& Name, std::vector<std::pair<std::string, double>> Members)
{
    auto G = std::make_unique<TSearchStatBye>();
    G->Name = Name;
    for (auto& [N, Modified] : Members) {
        TScanResultBye M;
        M.Name = N;
        M.Modified = Modified;
        M.Created = -Modified;
        M.Size = int64_t(N.size());
        M.Folder = TFolderText("/" + N.substr(0, 1) + "/");
        G->Files.push_back(M);
    }
    G->Count = int32_t(G->Files.size());
    return G;
}

std::vector<std::string> Names(const TGroupList& L, size_t Group)
{
    std::vector<std::string> Out;
    for (const auto& F : static_cast<const TSearchStatBye&>(*L[Group]).Files) Out.push_back(F.Name);
    return Out;
}

} // namespace

TEST(OrderingTest, TiesComeOutAsTheExchangeSortLeavesThem)
{
    TGroupList L;
    L.push_back(Group("g", {{"B1", 2}, {"B2", 2}, {"A", 1}}));
    SortByteGroups(L, 3, 0);
    EXPECT_EQ(Names(L, 0), (std::vector<std::string>{"A", "B2", "B1"}));
    L.clear();
    L.push_back(Group("g", {{"A1", 1}, {"A2", 1}, {"B", 2}}));
    SortByteGroups(L, 3, 1);  // the default: newest first
    EXPECT_EQ(Names(L, 0), (std::vector<std::string>{"B", "A2", "A1"}));
}

TEST(OrderingTest, GroupNamesTrimmedAndByteWise)
{
    TGroupList L;
    L.push_back(Group("b.txt", {{"x", 1}}));
    L.push_back(Group("B.txt", {{"y", 1}}));
    L.push_back(Group(" a.txt", {{"z", 1}}));
    SortByteGroups(L, 0, 0);
    // Byte order: capitals before small letters; the blank only trimmed.
    EXPECT_EQ(static_cast<const TSearchStatBye&>(*L[0]).Name, "B.txt");
    EXPECT_EQ(static_cast<const TSearchStatBye&>(*L[1]).Name, " a.txt");
    EXPECT_EQ(static_cast<const TSearchStatBye&>(*L[2]).Name, "b.txt");
    EXPECT_EQ(Names(L, 1), (std::vector<std::string>{"z"}));  // members go with their group
}

TEST(OrderingTest, MemberKeysLeaveGroupOrderAndUnknownKeysChangeNothing)
{
    TGroupList L;
    L.push_back(Group("z", {{"ccc", 3}, {"a", 1}, {"bb", 2}}));
    L.push_back(Group("a", {{"qq", 1}, {"p", 2}}));
    SortByteGroups(L, 5, 0);
    EXPECT_EQ(Names(L, 0), (std::vector<std::string>{"ccc", "a", "bb"}));
    SortByteGroups(L, 2, 0);  // by size, ascending
    EXPECT_EQ(Names(L, 0), (std::vector<std::string>{"a", "bb", "ccc"}));
    EXPECT_EQ(Names(L, 1), (std::vector<std::string>{"p", "qq"}));
    EXPECT_EQ(static_cast<const TSearchStatBye&>(*L[0]).Name, "z");
    SortByteGroups(L, 4, 0);  // by creation, which runs against modification here
    EXPECT_EQ(Names(L, 0), (std::vector<std::string>{"ccc", "bb", "a"}));
    TGroupList Empty;
    SortByteGroups(Empty, 3, 1);
    EXPECT_TRUE(Empty.empty());
}

TEST(OrderingTest, SizesSortAsSixtyFourBits)
{
    TGroupList L;
    L.push_back(Group("g", {{"big", 1}, {"small", 2}, {"huge", 3}}));
    auto& Files = static_cast<TSearchStatBye&>(*L[0]).Files;
    Files[0].Size = int64_t(3) << 30;
    Files[1].Size = 10240;
    Files[2].Size = (int64_t(4) << 30) + 5;  // low 32 bits: 5
    SortByteGroups(L, 2, 0);
    EXPECT_EQ(Names(L, 0), (std::vector<std::string>{"small", "big", "huge"}));
}

TEST(OrderingTest, SimilarKeyFourIsTheSimilarity)
{
    TGroupList L;
    auto G = std::make_unique<TSearchSimilar>();
    G->Name = "p.png";
    for (double S : {100.0, 91.0, 97.5}) {
        TScanResultSimilar M;
        M.Similarity = S;
        M.Name = std::to_string(S);
        G->Files.push_back(M);
    }
    G->Count = 3;
    L.push_back(std::move(G));
    SortSimilarGroups(L, 4, 0);
    const auto& Files = static_cast<const TSearchSimilar&>(*L[0]).Files;
    EXPECT_EQ(Files[0].Similarity, 91.0);
    EXPECT_EQ(Files[1].Similarity, 97.5);
    EXPECT_EQ(Files[2].Similarity, 100.0);
}

TEST(OrderingTest, NameGroupsSortByFolder)
{
    TGroupList L;
    auto G = std::make_unique<TSearchStat>();
    G->Name = "a.txt";
    for (const char* F : {"/b/", " /a/", "/c/"}) G->Files.push_back({1, 0, 0, TFolderText(F), 0});
    G->Count = 3;
    L.push_back(std::move(G));
    SortNameGroups(L, 1, 1);
    const auto& Files = static_cast<const TSearchStat&>(*L[0]).Files;
    EXPECT_EQ(Files[0].Folder.str(), "/c/");
    EXPECT_EQ(Files[2].Folder.str(), " /a/");
}

// The fast roads (no ties, already in order) against the exchange sort, on
// random lists with many ties, both directions, numbers and texts.
TEST(OrderingTest, FastRoadsMatchTheExchangeSort)
{
    std::mt19937 G(42);
    for (int Trial = 0; Trial < 3000; ++Trial) {
        const size_t N = G() % 12;
        const int Range = 1 + int(G() % (Trial % 3 == 0 ? 1000 : 4));
        std::vector<double> Keys(N);
        std::vector<std::string> Texts(N);
        for (size_t I = 0; I < N; ++I) {
            Keys[I] = double(G() % Range);
            Texts[I] = std::string(1, char('a' + G() % Range));
        }
        if (Trial % 5 == 0) std::sort(Keys.begin(), Keys.end());
        for (uint8_t Dir : {uint8_t(0), uint8_t(1)}) {
            std::vector<uint32_t> Expect(N);
            std::iota(Expect.begin(), Expect.end(), 0u);
            std::vector<uint32_t> ExpectT = Expect;
            ExchangeSortOrder(Expect, Keys, Dir);
            ExchangeSortOrder(ExpectT, Texts, Dir);
            ASSERT_EQ(SortOrder(Keys, Dir), Expect) << "trial " << Trial;
            ASSERT_EQ(SortOrder(Texts, Dir), ExpectT) << "trial " << Trial;
        }
    }
}

TEST(OrderingTest, TrimKeyDropsControlAndBlankBytesOnly)
{
    EXPECT_EQ(TrimKey(" \t\x01 a b \r\n"), "a b");
    EXPECT_EQ(TrimKey("\xC3\xA9"), "\xC3\xA9");
    EXPECT_EQ(TrimKey("   "), "");
}
