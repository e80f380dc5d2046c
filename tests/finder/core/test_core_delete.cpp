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

// Outcomes of one ticked file, by what happened to it (or to the unticked
// copy kept beside it) between the scan and the deletion. Nothing outside
// the ticked file is ever removed or changed.
struct AfterScanCase {
    const char* Label;
    std::function<void(corvane_test::TempTree&)> Change;
    bool Succeeds;
    bool StillThere;
    bool ToTrash = false;
    std::function<void(corvane_test::TempTree&)> Before = {};  // before the scan
    bool TickBoth = false;
};

class DeleteOutcomeTest : public DeleteTest, public ::testing::WithParamInterface<AfterScanCase> {};

TEST_P(DeleteOutcomeTest, Outcome)
{
    const AfterScanCase& C = GetParam();
    Tree.File("1/keep.txt", {.Content = "same", .MTime = 5000});
    Tree.File("2/refuse.txt", {.Content = "same", .MTime = 1000});
    Tree.File("other/refuse.txt", {.Content = "same", .MTime = 1000});
    if (C.Before) C.Before(Tree);
    ScanAndBuild({"1", "2"});
    ASSERT_EQ(Rows.size(), 3u);
    const std::string Victim = PathOf(2);
    ASSERT_EQ(Victim, Tree.Path("2/refuse.txt"));
    C.Change(Tree);
    Rows[2]->Checked = true;
    Rows[1]->Checked = C.TickBoth;
    TDeleteSummary S;
    EXPECT_EQ(DeleteSelected(Rows, Kind, C.ToTrash, S, {}, Hooks), C.TickBoth ? 2 : 1);
    ASSERT_EQ(S.Items.size(), C.TickBoth ? 2u : 1u);
    EXPECT_EQ(S.Items.back().Caption, Victim);
    EXPECT_EQ(S.Items.back().Succeeded, C.Succeeds);
    EXPECT_EQ(Tree.Exists("2/refuse.txt"), C.StillThere);
    EXPECT_EQ(Tree.Read("other/refuse.txt"), "same");
    struct stat St;
    if (::stat(Tree.Path("other/alias").c_str(), &St) == 0) {
        EXPECT_EQ(St.st_mode & 0777, 0444u);
    }
    if (!C.Succeeds) {
        EXPECT_EQ(S.DelStatus3, "Fail to delete 1 files.");
        EXPECT_TRUE(S.Red);
    }
}

using corvane_test::TempTree;
INSTANTIATE_TEST_SUITE_P(
    AfterScan, DeleteOutcomeTest,
    ::testing::Values(
        AfterScanCase{"unchanged for good", [](TempTree&) {}, true, false},
        AfterScanCase{"trash refuses", [](TempTree&) {}, false, true, true},
        // Unlinking needs no write permission: another name of the file keeps its mode.
        AfterScanCase{"read-only for good", [](TempTree&) {}, true, false, false,
                      [](TempTree& T) {
                          T.SetMode("2/refuse.txt", 0444);
                          ::link(T.Path("2/refuse.txt").c_str(), T.Path("other/alias").c_str());
                      }},
        AfterScanCase{"grew after the scan",
                      [](TempTree& T) { T.File("2/refuse.txt", {.Content = "same+more", .MTime = 1000}); }, false,
                      true},
        AfterScanCase{"rewritten, same size",
                      [](TempTree& T) { T.File("2/refuse.txt", {.Content = "SAME", .MTime = 1001}); }, false, true},
        AfterScanCase{"rewritten in place, its time set back",
                      [](TempTree& T) { T.File("2/refuse.txt", {.Content = "SAME", .MTime = 1000}); }, false, true},
        AfterScanCase{"another file renamed over it, same size and time",
                      [](TempTree& T) {
                          T.File("2/new", {.Content = "SAME", .MTime = 1000});
                          ::rename(T.Path("2/new").c_str(), T.Path("2/refuse.txt").c_str());
                      },
                      false, true},
        AfterScanCase{"deleted by somebody else", [](TempTree& T) { ::unlink(T.Path("2/refuse.txt").c_str()); },
                      false, false},
        AfterScanCase{"replaced by a link",
                      [](TempTree& T) {
                          ::unlink(T.Path("2/refuse.txt").c_str());
                          T.Link("2/refuse.txt", "../1/keep.txt");
                      },
                      false, true},
        AfterScanCase{"its folder replaced by a link to another folder",
                      [](TempTree& T) {
                          ::rename(T.Path("2").c_str(), T.Path("2-old").c_str());
                          T.Link("2", T.Path("other"));
                      },
                      false, true},
        AfterScanCase{"the kept copy deleted", [](TempTree& T) { ::unlink(T.Path("1/keep.txt").c_str()); }, false,
                      true},
        AfterScanCase{"the kept copy rewritten in place, its time set back",
                      [](TempTree& T) { T.File("1/keep.txt", {.Content = "SAME", .MTime = 5000}); }, false, true},
        AfterScanCase{"every member ticked, the other gone", [](TempTree& T) { ::unlink(T.Path("1/keep.txt").c_str()); },
                      true, false, false, {}, true}),
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
