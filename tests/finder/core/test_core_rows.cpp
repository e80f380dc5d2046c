// Result rows: texts, size texts, ticks, column clicks.
#include <gtest/gtest.h>

#include "finder/core/ResultRows.h"

using namespace finder;

struct SizeCase {
    int64_t Size;
    const char* Text;
};

class SizeTextTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SizeTextTest, RoundsHalvesToEven)
{
    EXPECT_EQ(SizeText(GetParam().Size), GetParam().Text) << GetParam().Size;
}

INSTANTIATE_TEST_SUITE_P(Sizes, SizeTextTest,
                         ::testing::Values(SizeCase{0, "0 B"}, SizeCase{512, "512 B"}, SizeCase{513, "1 KB"},
                                           SizeCase{1536, "2 KB"}, SizeCase{2560, "2 KB"},
                                           SizeCase{524288, "512 KB"}, SizeCase{524289, "1 MB"},
                                           SizeCase{1572864, "2 MB"}, SizeCase{2621440, "2 MB"},
                                           SizeCase{3670016, "4 MB"},
                                           SizeCase{int64_t(3) << 30, "3072 MB"},
                                           SizeCase{int64_t(4) << 30, "4096 MB"},
                                           SizeCase{(int64_t(5) << 40) + 1, "5242880 MB"}));

namespace {

class RowsTest : public ::testing::Test {
protected:
    TGroupList Groups;
    TRowList Rows;
    void SetUp() override
    {
        SetDateTimeFormatter([](TDateTime V) { return "D" + std::to_string(int(V)); });
    }
    void TearDown() override { SetDateTimeFormatter({}); }

    void AddName(const std::string& Name, std::vector<std::pair<std::string, double>> Members)
    {
        auto G = std::make_unique<TSearchStat>();
        G->Name = Name;
        for (auto& [F, Modified] : Members) G->Files.push_back({int64_t(Modified) * 1000, Modified, 7, TFolderText(F), 0});
        G->Count = int32_t(G->Files.size());
        Groups.push_back(std::move(G));
    }
    void AddByte(const std::string& Folder, const std::string& Name, int Members)
    {
        auto G = std::make_unique<TSearchStatBye>();
        G->Name = Name;
        G->Folder = TFolderText(Folder);
        for (int I = 0; I < Members; ++I) G->Files.push_back({Name, TFolderText(Folder + std::to_string(I) + "/"), 3000, double(I), 5, 0});
        G->Count = Members;
        Groups.push_back(std::move(G));
    }
    std::vector<int> Ticks() const
    {
        std::vector<int> T;
        for (const auto& R : Rows) T.push_back(R->Checked);
        return T;
    }
};

} // namespace

TEST_F(RowsTest, SameNameRowsAndTexts)
{
    AddName("a.txt", {{"/x/", 1}, {"/y/", 3}});
    AddName("single.txt", {{"/x/", 1}});
    AddName("b.txt", {{"/x/", 2}, {"/z/", 1}, {"/y/", 2}});
    const std::string Status = BuildResultRows(Groups, TScanKind::FileName, {}, Rows);
    EXPECT_EQ(Status, "2 duplicate groups found where 5 Files are contained within.");
    ASSERT_EQ(Rows.size(), 7u);
    const TRowTexts H = RowTexts(*Rows[0], 1, TScanKind::FileName);
    EXPECT_EQ(H.Caption, "a.txt");
    EXPECT_EQ(H.SubItems, (std::vector<std::string>{"2  files", "", "", "1", "0"}));
    EXPECT_EQ(H.Indent, 0);
    // Newest first by default.
    const TRowTexts M = RowTexts(*Rows[1], 1, TScanKind::FileName);
    EXPECT_EQ(M.Caption, "/y/");
    EXPECT_EQ(M.SubItems, (std::vector<std::string>{"3 KB", "D3", "D7", "1", "1"}));
    EXPECT_EQ(M.Indent, 1);
    EXPECT_EQ(RowTexts(*Rows[1], 4, TScanKind::FileName).Caption, "/y/a.txt");
    EXPECT_EQ(RowFilePath(static_cast<const TSearchResult&>(*Rows[1]), TScanKind::FileName), "/y/a.txt");
    // Ties in the second group: the exchange sort's order.
    EXPECT_EQ(RowTexts(*Rows[4], 1, TScanKind::FileName).Caption, "/x/");
    EXPECT_EQ(RowTexts(*Rows[5], 1, TScanKind::FileName).Caption, "/y/");
    EXPECT_EQ(RowTexts(*Rows[6], 1, TScanKind::FileName).Caption, "/z/");
    EXPECT_EQ(RowTexts(*Rows[6], 1, TScanKind::FileName).SubItems[3], "2");
}

TEST_F(RowsTest, SameContentRowsCarryFullPaths)
{
    AddByte("/d/", "f.bin", 3);
    BuildResultRows(Groups, TScanKind::FileBye, {}, Rows);
    ASSERT_EQ(Rows.size(), 4u);
    EXPECT_EQ(RowTexts(*Rows[0], 1, TScanKind::FileBye).Caption, "/d/f.bin");
    EXPECT_EQ(RowTexts(*Rows[0], 1, TScanKind::FileBye).SubItems[0], "3  files");
    EXPECT_EQ(RowTexts(*Rows[1], 1, TScanKind::FileBye).Caption, "/d/2/f.bin");
    EXPECT_EQ(static_cast<const TSearchResult&>(*Rows[1]).Text, "f.bin");
}

TEST_F(RowsTest, SimilarRowsShowTheSimilarity)
{
    auto G = std::make_unique<TSearchSimilar>();
    G->Name = "p.png";
    G->Folder = TFolderText("/p/");
    G->Files.push_back({"p.png", TFolderText("/p/"), 100.0, 1, 2, 3, 0});
    G->Files.push_back({"q.png", TFolderText("/q/"), 93.456, 1, 1, 3, 0});
    G->Count = 2;
    Groups.push_back(std::move(G));
    BuildResultRows(Groups, TScanKind::Similar, {}, Rows);
    ASSERT_EQ(Rows.size(), 3u);
    EXPECT_EQ(RowTexts(*Rows[1], 4, TScanKind::Similar).SubItems[2], "100.00%");
    EXPECT_EQ(RowTexts(*Rows[2], 4, TScanKind::Similar).SubItems[2], "93.46%");
    EXPECT_EQ(RowTexts(*Rows[2], 4, TScanKind::Similar).Caption, "/q/q.png");
}

TEST_F(RowsTest, NoDuplicatesNoRows)
{
    AddName("a.txt", {{"/x/", 1}});
    EXPECT_EQ(BuildResultRows(Groups, TScanKind::FileName, {}, Rows),
              "0 duplicate groups found where 0 Files are contained within.");
    EXPECT_TRUE(Rows.empty());
}

TEST_F(RowsTest, TicksByHeaderClickAndSelectAll)
{
    AddByte("/a/", "a", 3);
    AddByte("/b/", "b", 2);
    BuildResultRows(Groups, TScanKind::FileBye, {}, Rows);
    SelectAllDuplicates(Rows, true);
    EXPECT_EQ(Ticks(), (std::vector<int>{1, 0, 1, 1, 1, 0, 1}));
    SelectAllDuplicates(Rows, false);
    EXPECT_EQ(Ticks(), (std::vector<int>{0, 0, 0, 0, 0, 0, 0}));
    Rows[1]->Checked = true;
    ToggleRowTick(Rows, 0);  // unticked header: all but the first member
    EXPECT_EQ(Ticks(), (std::vector<int>{1, 0, 1, 1, 0, 0, 0}));
    EXPECT_EQ(RowTexts(*Rows[0], 1, TScanKind::FileBye).ImageIndex, 1);
    ToggleRowTick(Rows, 0);  // ticked header: the whole group off
    EXPECT_EQ(Ticks(), (std::vector<int>{0, 0, 0, 0, 0, 0, 0}));
    ToggleRowTick(Rows, 6);
    ToggleRowTick(Rows, 99);
    EXPECT_EQ(Ticks(), (std::vector<int>{0, 0, 0, 0, 0, 0, 1}));
    BuildResultRows(Groups, TScanKind::FileBye, {}, Rows);  // a rebuild clears all ticks
    EXPECT_EQ(Ticks(), (std::vector<int>{0, 0, 0, 0, 0, 0, 0}));
}

TEST(ColumnClickTest, SameColumnReversesOtherColumnSortsAscending)
{
    TSortState S;  // after a reset: modified, descending
    FileColumnClick(2, S);
    EXPECT_EQ(S.FileSortColumn, 3);
    EXPECT_EQ(S.SortDirection, 0);  // oldest first
    FileColumnClick(2, S);
    EXPECT_EQ(S.SortDirection, 1);
    FileColumnClick(1, S);
    EXPECT_EQ(S.FileSortColumn, 2);
    EXPECT_EQ(S.SortDirection, 0);
    FileColumnClick(4, S);  // "Group": reverses the current key
    EXPECT_EQ(S.FileSortColumn, 2);
    EXPECT_EQ(S.SortDirection, 1);
    FileColumnClick(4, S);      // now ascending ...
    FileColumnClick(0, S);      // ... a new column stays ascending
    EXPECT_EQ(S.FileSortColumn, 1);
    EXPECT_EQ(S.SortDirection, 0);
}
