// Deleting ticked rows: only ticked members go, and only while they, and a
// copy kept beside them, are still what the scan saw.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "finder/core/DeleteCore.h"
#include "finder/core/ScanCore.h"
#include "tests/common/MailboxFixture.h"
#include "tests/finder/core/CoreTestSupport.h"

using namespace finder;
using corvane_test::TempTree;
using corvane_test::TempTreeTest;

namespace {

class DeleteTest : public TempTreeTest {
protected:
    TGroupList Groups;
    TRowList Rows;
    TDeleteHooks Hooks;
    TDeleteSummary S;
    corvane_test::ScopedEnv FData{"XDG_DATA_HOME", Tree.Path("data")};  // the trash
    // Scans the given places for copies and builds the rows, newest first.
    void ScanAndBuild(std::vector<std::string> Places) {
        TScanOptions O;
        O.Match.Kind = TScanKind::FileBye;
        for (auto& P : Places) O.Places.push_back({Tree.Path(P), false});
        uint8_t RunState = rsIdle;
        core_test::Scan(O, Groups, RunState);
        BuildResultRows(Groups, O.Match.Kind, {}, Rows);
    }
    int32_t Delete(bool ToTrash) { return DeleteSelected(Rows, TScanKind::FileBye, ToTrash, S, {}, Hooks); }
};

} // namespace

// One ticked file, by what happened to it (or to the unticked copy kept
// beside it) between the scan and the deletion. Nothing but the ticked file
// is ever removed or changed.
using TChange = std::function<void(TempTree&)>;

struct AfterScanCase {
    const char* Label;
    TChange Change;
    bool Succeeds;
    bool StillThere;
    bool ToTrash = false;
    TChange Before = {};  // before the scan
    bool TickBoth = false;
    TChange AfterCheck = {};  // between the ticked file's check and its removal
};

class DeleteOutcomeTest : public DeleteTest, public ::testing::WithParamInterface<AfterScanCase> {};

TEST_P(DeleteOutcomeTest, Outcome) {
    const AfterScanCase& C = GetParam();
    Tree.File("1/keep.txt", {.Content = "same", .MTime = 5000});
    Tree.File("2/refuse.txt", {.Content = "same", .MTime = 1000});
    Tree.File("other/refuse.txt", {.Content = "same", .MTime = 1000});
    if (C.Before) C.Before(Tree);
    ScanAndBuild({"1", "2"});
    ASSERT_EQ(Rows.size(), 3u);
    C.Change(Tree);
    if (C.AfterCheck) Hooks.AfterCheck = [&] { C.AfterCheck(Tree); };
    Rows[2]->Checked = true;
    Rows[1]->Checked = C.TickBoth;
    Rows[0]->Checked = true;  // a ticked header is neither counted nor removed
    EXPECT_EQ(Delete(C.ToTrash), C.TickBoth ? 2 : 1);
    EXPECT_EQ(S.Items.back().Caption, Tree.Path("2/refuse.txt"));
    EXPECT_EQ(S.Items.back().Succeeded, C.Succeeds);
    EXPECT_TRUE(C.Succeeds || S.Red);
    EXPECT_EQ(Tree.Exists("2/refuse.txt"), C.StillThere);
    EXPECT_EQ(Tree.Read("other/refuse.txt"), "same");
    if (C.ToTrash) { EXPECT_EQ(Tree.Exists("data/Trash/files/refuse.txt"), C.Succeeds); }
    struct stat St;
    if (::stat(Tree.Path("other/alias").c_str(), &St) == 0) { EXPECT_EQ(St.st_mode & 0777, 0444u); }
}

TChange Rewrite(const char* Rel, const char* Content, time_t MTime) {
    return [=](TempTree& T) { T.File(Rel, {.Content = Content, .MTime = MTime}); };
}
TChange Remove(const char* Rel) {
    return [=](TempTree& T) { ::unlink(T.Path(Rel).c_str()); };
}
TChange MoveAndLink(const char* Rel, const char* Target) {
    return [=](TempTree& T) {
        ::rename(T.Path(Rel).c_str(), T.Path(std::string(Rel) + "-old").c_str());
        T.Link(Rel, Target);
    };
}
const TChange Nothing = [](TempTree&) {};
const TChange RenamedOver = [](TempTree& T) {
    Rewrite("2/new", "SAME", 1000)(T);
    ::rename(T.Path("2/new").c_str(), T.Path("2/refuse.txt").c_str());
};

INSTANTIATE_TEST_SUITE_P(
    AfterScan, DeleteOutcomeTest,
    ::testing::Values(
        AfterScanCase{"unchanged for good", Nothing, true, false},
        AfterScanCase{"trash refuses", Nothing, false, true, true,
                      [](TempTree& T) { T.File("data", {.Content = "where the trash should be"}); }},
        AfterScanCase{"to the trash", Nothing, true, false, true},
        AfterScanCase{"to the trash, its folder replaced by a link after the check", Nothing, true, true, true, {},
                      false, MoveAndLink("2", "other")},
        // Unlinking needs no write permission: another name of the file keeps its mode.
        AfterScanCase{"read-only for good", Nothing, true, false, false,
                      [](TempTree& T) {
                          T.SetMode("2/refuse.txt", 0444);
                          ::link(T.Path("2/refuse.txt").c_str(), T.Path("other/alias").c_str());
                      }},
        AfterScanCase{"grew after the scan", Rewrite("2/refuse.txt", "same+more", 1000), false, true},
        AfterScanCase{"rewritten, same size", Rewrite("2/refuse.txt", "SAME", 1001), false, true},
        AfterScanCase{"rewritten in place, its time set back", Rewrite("2/refuse.txt", "SAME", 1000), false, true},
        AfterScanCase{"another file renamed over it, same size and time", RenamedOver, false, true},
        AfterScanCase{"to the trash, another file renamed over it after the check", Nothing, false, true, true, {},
                      false, RenamedOver},
        AfterScanCase{"deleted by somebody else", Remove("2/refuse.txt"), false, false},
        AfterScanCase{"replaced by a link", MoveAndLink("2/refuse.txt", "../1/keep.txt"), false, true},
        AfterScanCase{"its folder replaced by a link to another folder", MoveAndLink("2", "other"), false, true},
        AfterScanCase{"the kept copy deleted", Remove("1/keep.txt"), false, true},
        AfterScanCase{"the kept copy rewritten in place, its time set back", Rewrite("1/keep.txt", "SAME", 5000), false,
                      true},
        AfterScanCase{"every member ticked, the other gone", Remove("1/keep.txt"), true, false, false, {}, true}),
    [](const auto& Info) { return core_test::RowName(Info.param.Label); });
