// Result rows and their order: size texts, row fields, ticks, column clicks,
// the exchange sort's ties and the fast roads that must keep them.
#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "finder/core/ResultOrdering.h"
#include "finder/core/ResultRows.h"

using namespace finder;

namespace {

struct TMember {
    const char* Name;
    const char* Folder;
    int64_t Size;
    double Modified, Created;
};

// A same-content group goes by its first member, the file that opened it.
std::unique_ptr<TSearchStatBye> ByteGroup(const std::vector<TMember>& Members) {
    auto G = std::make_unique<TSearchStatBye>();
    for (const TMember& M : Members) G->Files.push_back({M.Name, TFolderText(M.Folder), M.Size, M.Modified, M.Created});
    G->Count = int32_t(G->Files.size());
    return G;
}

template <class G>
std::string Names(const TGroupList& L) {
    std::string S;
    for (const auto& Group : L) {
        const auto& R = static_cast<const G&>(*Group);
        if constexpr (requires { R.Name(); }) S += std::string(R.Name()) + ":";
        else S += R.Name + ":";
        for (const auto& F : static_cast<const G&>(*Group).Files) S += " " + F.Name;
        S += "|";
    }
    return S;
}

} // namespace

TEST(SizeText, RoundsHalvesToEvenAndStaysSixtyFourBit) {
    const std::pair<int64_t, const char*> Cases[] = {
        {0, "0 B"},          {512, "512 B"},       {513, "1 KB"},         {1536, "2 KB"},
        {2560, "2 KB"},      {524289, "1 MB"},     {2621440, "2 MB"},     {3670016, "4 MB"},
        {int64_t(4) << 30, "4096 MB"},             {(int64_t(5) << 40) + 1, "5242880 MB"}};
    for (const auto& [Size, Text] : Cases) EXPECT_EQ(SizeText(Size), Text) << Size;
}

// Members newest first (ties as the exchange sort leaves them), a group of
// one not listed; the name mode's pictures view shows whole paths. Select
// all and a header's tick leave each group's first member unticked.
TEST(Rows, CaptionsAndTicks) {
    TGroupList Groups;
    TRowList Rows;
    auto Captions = [&](int Mode, TScanKind Kind) {
        std::string S;
        for (const auto& R : Rows) S += RowTexts(*R, Mode, Kind).Caption + "|";
        return S;
    };
    auto Ticks = [&] {
        std::vector<int> T;
        for (const auto& R : Rows) T.push_back(R->Checked);
        return T;
    };
    for (const auto& [Name, Members] : std::vector<std::pair<std::string, std::vector<std::pair<const char*, double>>>>{
             {"a.txt", {{"/x/", 1}, {"/y/", 3}}}, {"single.txt", {{"/x/", 1}}},
             {"b.txt", {{"/x/", 2}, {"/z/", 1}, {"/y/", 2}}}}) {
        auto G = std::make_unique<TSearchStat>();
        G->Name = Name;
        for (auto& [F, Modified] : Members) G->Files.push_back({1, Modified, 0, TFolderText(F)});
        G->Count = int32_t(G->Files.size());
        Groups.push_back(std::move(G));
    }
    EXPECT_EQ(BuildResultRows(Groups, TScanKind::FileName, {}, Rows),
              "2 duplicate groups found where 5 Files are contained within.");
    EXPECT_EQ(Captions(1, TScanKind::FileName), "a.txt|/y/|/x/|b.txt|/x/|/y/|/z/|");
    EXPECT_EQ(Captions(4, TScanKind::FileName), "a.txt|/y/a.txt|/x/a.txt|b.txt|/x/b.txt|/y/b.txt|/z/b.txt|");
    EXPECT_EQ(RowFilePath(static_cast<const TSearchResult&>(*Rows[1]), TScanKind::FileName), "/y/a.txt");

    Groups.clear();
    Groups.push_back(ByteGroup({{"a", "/1/", 1, 3, 0}, {"a", "/2/", 1, 2, 0}, {"a", "/3/", 1, 1, 0}}));
    Groups.push_back(ByteGroup({{"b", "/1/", 1, 2, 0}, {"b", "/2/", 1, 1, 0}}));
    EXPECT_EQ(BuildResultRows(Groups, TScanKind::FileBye, {}, Rows),
              "2 duplicate groups found where 5 Files are contained within.");
    EXPECT_EQ(Captions(1, TScanKind::FileBye), "/1/a|/1/a|/2/a|/3/a|/1/b|/1/b|/2/b|");
    SelectAllDuplicates(Rows, true);
    EXPECT_EQ(Ticks(), (std::vector<int>{1, 0, 1, 1, 1, 0, 1}));
    SelectAllDuplicates(Rows, false);
    EXPECT_EQ(Ticks(), (std::vector<int>{0, 0, 0, 0, 0, 0, 0}));
    Rows[1]->Checked = true;
    ToggleRowTick(Rows, 0);  // unticked header: all but the first member
    EXPECT_EQ(Ticks(), (std::vector<int>{1, 0, 1, 1, 0, 0, 0}));
    ToggleRowTick(Rows, 0);  // ticked header: the whole group off
    ToggleRowTick(Rows, 6);
    ToggleRowTick(Rows, 99);
    EXPECT_EQ(Ticks(), (std::vector<int>{0, 0, 0, 0, 0, 0, 1}));
    BuildResultRows(Groups, TScanKind::FileBye, {}, Rows);  // a rebuild clears all ticks
    EXPECT_EQ(Ticks(), (std::vector<int>{0, 0, 0, 0, 0, 0, 0}));
}

TEST(ColumnClick, SameColumnReversesAnotherSortsAscending) {
    TSortState S;  // after a reset: modified, newest first
    const std::tuple<int, int, int> Clicks[] = {
        {2, 3, 0}, {2, 3, 1}, {1, 2, 0}, {4, 2, 1} /* "Group" reverses the key */, {4, 2, 0}, {0, 1, 0}};
    for (const auto& [Column, Key, Direction] : Clicks) {
        FileColumnClick(Column, S);
        EXPECT_EQ(S.FileSortColumn, Key) << Column;
        EXPECT_EQ(S.SortDirection, Direction) << Column;
    }
}

// Each key sorts its column, members within their group; groups stay put.
// Keys are trimmed of control and blank bytes only.
TEST(Ordering, EachKeySortsItsColumn) {
    TGroupList L;
    L.push_back(ByteGroup({{"m1", " /b/", (int64_t(4) << 30) + 1, 2, 1},
                           {"m2", "/c/", 10, 3, 3},
                           {"m3", "/a/", 20, 1, 2}}));
    L.push_back(ByteGroup({{"q", "/", 1, 1, 1}}));
    // A group still goes by the file that opened it, wherever it is sorted to.
    const std::tuple<int, int, const char*> Keys[] = {{1, 0, "m1: m3 m1 m2|q: q|"}, {2, 0, "m1: m2 m3 m1|q: q|"},
                                                      {3, 1, "m1: m2 m1 m3|q: q|"}, {4, 0, "m1: m1 m3 m2|q: q|"},
                                                      {5, 0, "m1: m1 m3 m2|q: q|"}};
    for (const auto& [Key, Direction, Want] : Keys) {
        SortByteGroups(L, uint8_t(Key), uint8_t(Direction));
        EXPECT_EQ(Names<TSearchStatBye>(L), Want) << "key " << Key;
    }
    // Group names trimmed, then byte-wise: capitals before small letters.
    for (const char* N : {"b.txt", "B.txt", " a.txt"}) L.push_back(ByteGroup({{N, "/", 1, 1, 1}}));
    L.erase(L.begin(), L.begin() + 2);
    SortByteGroups(L, 0, 0);
    EXPECT_EQ(Names<TSearchStatBye>(L), "B.txt: B.txt| a.txt:  a.txt|b.txt: b.txt|");

    TGroupList S;
    auto G = std::make_unique<TSearchSimilar>();
    for (double V : {100.0, 91.0, 97.5}) G->Files.push_back({std::to_string(int(V)), TFolderText("/"), V});
    G->Count = 3;
    S.push_back(std::move(G));
    SortSimilarGroups(S, 4, 0);  // the similar pictures' fourth key is the likeness
    EXPECT_EQ(Names<TSearchSimilar>(S), ": 91 97 100|");
    EXPECT_EQ(TrimKey(" \t\x01 a b \r\n") + TrimKey("\xC3\xA9"), "a b\xC3\xA9");  // control and blank bytes only
}

// The fast roads (no ties, already in order) against the exchange sort, on
// random lists with many ties, both directions, numbers and texts.
TEST(Ordering, FastRoadsMatchTheExchangeSort) {
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
