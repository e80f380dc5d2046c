// Deleting ticked rows: outcomes per row, changed files, summary texts.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "finder/core/DeleteCore.h"
#include "finder/core/ScanCore.h"
#include "tests/finder/core/CoreTestSupport.h"

using namespace finder;
using corvane_test::TempTreeTest;

namespace {

class DeleteTest : public TempTreeTest {
protected:
    TGroupList Groups;
    TRowList Rows;
    std::vector<std::string> Trashed;
    TDeleteHooks Hooks;
    TScanKind Kind = TScanKind::FileBye;

    void SetUp() override
    {
        Hooks.Trash = [this](const std::string& P) {
            Trashed.push_back(P);
            return P.find("refuse") == std::string::npos;
        };
    }
    // Scans the given places and builds the rows (newest first).
    void ScanAndBuild(std::vector<std::string> Places)
    {
        TScanOptions O;
        O.Match.Kind = Kind;
        for (auto& P : Places) O.Places.push_back({Tree.Path(P), false});
        uint8_t RunState = rsRunning;
        TScanRun(O, RunState, Groups).Run();
        BuildResultRows(Groups, Kind, {}, Rows);
    }
    std::string PathOf(size_t Row) const
    {
        return RowFilePath(static_cast<const TSearchResult&>(*Rows[Row]), Kind);
    }
};

} // namespace

TEST_F(DeleteTest, OnlyTickedMembersGoAndHeadersAreSkipped)
{
    Tree.File("1/a.txt", {.Content = "x", .MTime = 3000});
    Tree.File("2/a.txt", {.Content = "x", .MTime = 2000});
    Tree.File("3/a.txt", {.Content = "x", .MTime = 1000});
    ScanAndBuild({"1", "2", "3"});
    ASSERT_EQ(Rows.size(), 4u);
    Rows[0]->Checked = true;  // a ticked header is neither counted nor removed
    Rows[3]->Checked = true;
    TDeleteSummary S;
    EXPECT_EQ(DeleteSelected(Rows, Kind, true, S, {}, Hooks), 1);
    EXPECT_EQ(Trashed, (std::vector<std::string>{Tree.Path("3/a.txt")}));
    EXPECT_EQ(S.Found, 3);
    EXPECT_EQ(S.Selected, 1);
    EXPECT_EQ(S.DelStatus1, "3 files have been found. 1 files were selected for deletion.");
    EXPECT_EQ(S.DelStatus2, "1 files have been deleted successfully.");
    EXPECT_EQ(S.DelStatus3, "Fail to delete 0 files.");
    EXPECT_FALSE(S.Red);
    ASSERT_EQ(S.Items.size(), 1u);
    EXPECT_TRUE(S.Items[0].Succeeded);
}

TEST_F(DeleteTest, NothingTickedGivesNoOutcome)
{
    Tree.File("1/a.txt", {.Content = "x"});
    Tree.File("2/a.txt", {.Content = "x"});
    ScanAndBuild({"1", "2"});
    TDeleteSummary S;
    EXPECT_EQ(DeleteSelected(Rows, Kind, true, S, {}, Hooks), 0);
    EXPECT_TRUE(Trashed.empty());
    EXPECT_EQ(S.DelStatus1, "2 files have been found. 0 files were selected for deletion.");
}

// Outcomes of one ticked file, by what happened to it after the scan.
struct AfterScanCase {
    const char* Label;
    std::function<void(corvane_test::TempTree&, const std::string&)> Change;
    bool ToTrash;
    bool Succeeds;
    bool StillThere;
};

class DeleteOutcomeTest : public DeleteTest, public ::testing::WithParamInterface<AfterScanCase> {};

TEST_P(DeleteOutcomeTest, Outcome)
{
    const AfterScanCase& C = GetParam();
    Tree.File("1/keep.txt", {.Content = "same", .MTime = 5000});
    Tree.File("2/refuse.txt", {.Content = "same", .MTime = 1000});
    ScanAndBuild({"1", "2"});
    ASSERT_EQ(Rows.size(), 3u);
    const std::string Victim = PathOf(2);
    ASSERT_EQ(Victim, Tree.Path("2/refuse.txt"));
    C.Change(Tree, "2/refuse.txt");
    Rows[2]->Checked = true;
    TDeleteSummary S;
    EXPECT_EQ(DeleteSelected(Rows, Kind, C.ToTrash, S, {}, Hooks), 1) << C.Label;
    ASSERT_EQ(S.Items.size(), 1u);
    EXPECT_EQ(S.Items[0].Caption, Victim);
    EXPECT_EQ(S.Items[0].Succeeded, C.Succeeds) << C.Label;
    EXPECT_EQ(Tree.Exists("2/refuse.txt"), C.StillThere) << C.Label;
    EXPECT_TRUE(Tree.Exists("1/keep.txt"));
    if (!C.Succeeds) {
        EXPECT_EQ(S.DelStatus3, "Fail to delete 1 files.");
        EXPECT_TRUE(S.Red);
    }
}

INSTANTIATE_TEST_SUITE_P(
    AfterScan, DeleteOutcomeTest,
    ::testing::Values(
        AfterScanCase{"unchanged for good", [](auto&, auto&) {}, false, true, false},
        AfterScanCase{"trash refuses", [](auto&, auto&) {}, true, false, true},
        AfterScanCase{"read-only for good", [](auto& T, auto& R) { T.SetMode(R, 0444); }, false, true, false},
        AfterScanCase{"grew after the scan",
                      [](auto& T, auto& R) { T.File(R, {.Content = "same+more", .MTime = 1000}); }, false, false, true},
        AfterScanCase{"rewritten, same size",
                      [](auto& T, auto& R) { T.File(R, {.Content = "SAME", .MTime = 1001}); }, false, false, true},
        AfterScanCase{"deleted by somebody else", [](auto& T, auto& R) { ::unlink(T.Path(R).c_str()); }, false,
                      false, false},
        AfterScanCase{"replaced by a link",
                      [](auto& T, auto& R) {
                          ::unlink(T.Path(R).c_str());
                          T.Link(R, "../1/keep.txt");
                      },
                      false, false, true}),
    [](const auto& Info) {
        std::string S = Info.param.Label;
        for (char& Ch : S)
            if (!isalnum(static_cast<unsigned char>(Ch))) Ch = '_';
        return S;
    });

TEST_F(DeleteTest, SameNameRowsDeleteFolderPlusName)
{
    Kind = TScanKind::FileName;
    Tree.File("1/a.txt", {.Content = "x", .MTime = 2000});
    Tree.File("2/a.txt", {.Content = "yy", .MTime = 1000});
    ScanAndBuild({"1", "2"});
    ASSERT_EQ(Rows.size(), 3u);
    Rows[2]->Checked = true;
    TDeleteSummary S;
    int Pumps = 0;
    DeleteSelected(Rows, Kind, false, S, [&] { ++Pumps; }, Hooks);
    EXPECT_EQ(Pumps, 3);  // once per row
    EXPECT_FALSE(Tree.Exists("2/a.txt"));
    EXPECT_TRUE(Tree.Exists("1/a.txt"));
    EXPECT_EQ(S.Items[0].Caption, Tree.Path("2/a.txt"));
}

TEST(DeleteTextTest, ConfirmationTexts)
{
    EXPECT_EQ(DeleteConfirmationText(true),
              "The selected files will be moved to the recycle bin \rwhere you can recover the files if needed. "
              "\r\rAre you sure to proceed?");
    EXPECT_EQ(DeleteConfirmationText(false),
              "The files will be permanently deleted and can not recovered!\r\rAre you sure to proceed?");
}
