// The Basic mode's road through the window: Scan Now on a ticked folder,
// the results rows, ordering and ticks, the deletion to the trash and for
// good with its summary, Stop and errors during a walk, and every refusal.
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <fstream>
#include <sys/stat.h>

#include "platform/FileTime.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "tests/common/MailboxFixture.h"
#include "tests/finder/window/ScanWindowSupport.h"

using namespace corvane_test;

namespace {

bool Exists(const std::string& P) {
    struct stat St;
    return ::lstat(P.c_str(), &St) == 0;
}

const char* RecycleQuestion =
    "The selected files will be moved to the recycle bin \rwhere you can recover the files if needed. \r\rAre you "
    "sure to proceed?";
const char* ForGoodQuestion = "The files will be permanently deleted and can not recovered!\r\rAre you sure to proceed?";

} // namespace

class BasicScanTest : public ScanWindowTest {
protected:
    void SetUp() override {
        Tree.File("docs/a.txt", {.Content = "one", .MTime = 1600000000});
        Tree.File("docs/sub/a.txt", {.Content = "two2", .MTime = 1700000000});
        Tree.File("other/a.txt", {.Content = "three", .MTime = 1650000000});
        Tree.File("b.dat", {.Content = "xyz", .MTime = 1600000000});
        Tree.File("docs/b.dat", {.Content = "xyz", .MTime = 1600000100});
        Tree.File("single.txt", {.Content = "s"});
        Tree.File("noext", {.Content = "n"});
        Tree.File("docs/noext", {.Content = "n"});
        ScanWindowTest::SetUp();
    }
    std::string Folder(const std::string& Rel) { return Tree.Root() + "/" + Rel; }
};

TEST_F(BasicScanTest, SameNameRunShowsHeaderAndMemberRows) {
    TickDataAndScan();
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 2);
    EXPECT_EQ(Buttons(), "EBD");
    EXPECT_TRUE(ModeButtonsEnabled());
    EXPECT_EQ(Form->FRunState, rsFinished);
    EXPECT_FALSE(Form->ScanTimer->isActive());
    EXPECT_EQ(Form->abStatus->text().toStdString(), "2 duplicate groups found where 5 Files are contained within.");
    EXPECT_EQ(Form->abDuplicates->text(), "2");
    EXPECT_EQ(Form->abDupFiles->text(), "5");
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(Form->abScanTime->text()).hasMatch());
    EXPECT_TRUE(Form->ScanMessage->text().isEmpty());

    ASSERT_EQ(Rows().size(), 7u);
    const int A = HeaderRow("a.txt");
    ASSERT_GE(A, 0);
    const TShownRow H = Rows()[size_t(A)];
    EXPECT_EQ(H.SubItems, (std::vector<std::string>{"3  files", "", "", H.SubItems[3], "0"}));
    EXPECT_EQ(H.Indent, 0);
    EXPECT_EQ(H.Image, 0);
    // Newest first; a same-name member shows its folder.
    EXPECT_EQ(Members(A), (std::vector<std::string>{Folder("docs/sub/"), Folder("other/"), Folder("docs/")}));
    const TShownRow M = Rows()[size_t(A) + 1];
    EXPECT_EQ(M.SubItems[0], "4 B");
    EXPECT_EQ(M.SubItems[3], H.SubItems[3]);
    EXPECT_EQ(M.SubItems[4], "1");
    EXPECT_EQ(M.Indent, 1);
    EXPECT_FALSE(M.SubItems[1].empty());
    EXPECT_GE(HeaderRow("b.dat"), 0);
    EXPECT_EQ(HeaderRow("noext"), -1);  // without a "." a file opens no group

    // The header look: grey, blue, bold; members plain black.
    TListItemLook HL, ML;
    Form->DuplicatesListViewCustomDrawItem(Form->DuplicatesListView->Item(A), HL);
    Form->DuplicatesListViewCustomDrawItem(Form->DuplicatesListView->Item(A + 1), ML);
    EXPECT_EQ(HL.Brush, QColor(245, 245, 245));
    EXPECT_EQ(HL.FontColor, QColor(0, 0, 255));
    EXPECT_TRUE(HL.Bold);
    EXPECT_EQ(ML.FontColor, QColor(Qt::black));
    EXPECT_FALSE(ML.Bold);
}

TEST_F(BasicScanTest, SameContentRunShowsFullPaths) {
    ClickOption(Form->rbScanFileBye);
    ASSERT_TRUE(Form->rbScanFileBye->Checked());
    TickDataAndScan();
    ASSERT_EQ(Rows().size(), 3u);
    const auto R = Rows();
    EXPECT_TRUE(R[0].Caption == Folder("b.dat") || R[0].Caption == Folder("docs/b.dat")) << R[0].Caption;
    EXPECT_EQ(R[0].SubItems[0], "2  files");
    EXPECT_EQ(Members(0), (std::vector<std::string>{Folder("docs/b.dat"), Folder("b.dat")}));
}

TEST_F(BasicScanTest, ColumnClickReordersAndClearsTicks) {
    TickDataAndScan();
    ClickOption(Form->cbSelectAllDel);
    ASSERT_NE(Ticks().find('x'), std::string::npos);
    ClickColumn(2);  // "Modified" again: oldest first
    int A = HeaderRow("a.txt");
    EXPECT_EQ(Members(A), (std::vector<std::string>{Folder("docs/"), Folder("other/"), Folder("docs/sub/")}));
    EXPECT_EQ(Ticks(), ".......");
    EXPECT_TRUE(Form->cbSelectAllDel->Checked());  // the box keeps its state
    ClickColumn(2);
    A = HeaderRow("a.txt");
    EXPECT_EQ(Members(A), (std::vector<std::string>{Folder("docs/sub/"), Folder("other/"), Folder("docs/")}));
    ClickColumn(1);  // "File Size": ascending
    A = HeaderRow("a.txt");
    EXPECT_EQ(Members(A), (std::vector<std::string>{Folder("docs/"), Folder("docs/sub/"), Folder("other/")}));
}

TEST_F(BasicScanTest, SelectAllHeaderAndMemberTicks) {
    TickDataAndScan();
    const int A = HeaderRow("a.txt"), B = HeaderRow("b.dat");
    auto Expect = [&](const std::string& GroupA, const std::string& GroupB) {
        std::string Want(7, '?');
        Want.replace(size_t(A), 4, GroupA);
        Want.replace(size_t(B), 3, GroupB);
        EXPECT_EQ(Ticks(), Want);
    };
    ClickOption(Form->cbSelectAllDel);
    Expect("x.xx", "x.x");
    ClickOption(Form->cbSelectAllDel);
    Expect("....", "...");

    ClickTick(A);
    Expect("x.xx", "...");
    ClickTick(A);
    Expect("....", "...");
    ClickTick(A + 1);  // a member: its own tick
    Expect(".x..", "...");
    ClickTick(A + 1, Qt::RightButton);
    Expect(".x..", "...");
    ClickTick(A);  // the first member is unticked by the header
    Expect("x.xx", "...");
    ClickTick(A + 3);
    Expect("x.x.", "...");

    // A click on the row's text changes nothing.
    TVirtualListView* L = Form->DuplicatesListView;
    const QRect Cell = L->visualRect(L->model()->index(B + 1, 0));
    SendClick(L->viewport(), QPoint(Cell.right() - 10, Cell.center().y()));
    Expect("x.x.", "...");
}

TEST_F(BasicScanTest, DeleteToTheTrashShowsTheSummary) {
    QTemporaryDir Data;
    const QByteArray OldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", Data.path().toLocal8Bit());
    TickDataAndScan();
    const int A = HeaderRow("a.txt");
    ClickTick(A);  // the two older copies
    Answers = {plat::IDYES};
    ClickButton(Form->DeleteButton);
    qputenv("XDG_DATA_HOME", OldData);

    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, RecycleQuestion);
    EXPECT_EQ(Boxes[0].Caption, "Corvane - Delete Confirmation");
    EXPECT_EQ(Boxes[0].Flags, 0x134u);
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 3);
    EXPECT_EQ(Buttons(), "F");

    ASSERT_EQ(Form->FinishListView->topLevelItemCount(), 2);
    for (int I = 0; I < 2; ++I) {
        QTreeWidgetItem* It = Form->FinishListView->topLevelItem(I);
        EXPECT_EQ(It->text(1), "Succeeded");
        EXPECT_EQ(It->foreground(1).color(), QColor(0, 128, 0));
        EXPECT_EQ(It->foreground(0).color(), QColor(Qt::black));
    }
    EXPECT_EQ(Form->FinishListView->topLevelItem(0)->text(0).toStdString(), Folder("other/a.txt"));
    EXPECT_EQ(Form->FinishListView->topLevelItem(1)->text(0).toStdString(), Folder("docs/a.txt"));
    EXPECT_EQ(Form->DelStatus1->text(), "5 files have been found. 2 files were selected for deletion.");
    EXPECT_EQ(Form->DelStatus2->text(), "2 files have been deleted successfully.");
    EXPECT_EQ(Form->DelStatus3->text(), "Fail to delete 0 files.");
    EXPECT_EQ(Form->DelStatus3->palette().color(QPalette::WindowText), QColor(Qt::black));

    EXPECT_FALSE(Exists(Folder("other/a.txt")));
    EXPECT_FALSE(Exists(Folder("docs/a.txt")));
    EXPECT_TRUE(Exists(Folder("docs/sub/a.txt")));
    const QStringList InTrash = QDir(Data.path() + "/Trash/files").entryList(QDir::Files);
    EXPECT_EQ(InTrash.size(), 2) << InTrash.join(",").toStdString();

    ClickButton(Form->FinishButton);
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 0);
    EXPECT_EQ(Buttons(), "S");
}

TEST_F(BasicScanTest, DeleteForGoodSparesAFileChangedSinceTheScan) {
    Tree.File("docs/ro.txt", {.Content = "r", .Mode = 0444});
    Tree.File("ro.txt", {.Content = "r", .Mode = 0444});
    TickDataAndScan();
    ClickOption(Form->rbDeleteFile);
    ASSERT_TRUE(Form->rbDeleteFile->Checked());
    ClickOption(Form->cbSelectAllDel);
    // Somebody writes to one ticked copy after the scan.
    const int A = HeaderRow("a.txt");
    const std::string Changed = Rows()[size_t(A) + 2].Caption + "a.txt";
    std::ofstream(Changed, std::ios::app) << "more";

    Answers = {plat::IDYES};
    ClickButton(Form->DeleteButton);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, ForGoodQuestion);
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 3);
    EXPECT_EQ(Form->FinishListView->topLevelItemCount(), 4);
    int Failed = 0;
    for (int I = 0; I < Form->FinishListView->topLevelItemCount(); ++I) {
        QTreeWidgetItem* It = Form->FinishListView->topLevelItem(I);
        if (It->text(1) == "Failed") {
            ++Failed;
            EXPECT_EQ(It->text(0).toStdString(), Changed);
            EXPECT_EQ(It->foreground(1).color(), QColor(0, 128, 0));  // green whatever it says
        }
    }
    EXPECT_EQ(Failed, 1);
    EXPECT_TRUE(Exists(Changed));
    EXPECT_EQ(Form->DelStatus1->text(), "7 files have been found. 4 files were selected for deletion.");
    EXPECT_EQ(Form->DelStatus2->text(), "3 files have been deleted successfully.");
    EXPECT_EQ(Form->DelStatus3->text(), "Fail to delete 1 files.");
    EXPECT_EQ(Form->DelStatus3->palette().color(QPalette::WindowText), QColor(Qt::red));
    // The read-only copy went too; the newest of each group stays.
    const int Gone = int(Exists(Folder("ro.txt"))) + int(Exists(Folder("docs/ro.txt")));
    EXPECT_EQ(Gone, 1);
    EXPECT_TRUE(Exists(Folder("docs/sub/a.txt")));
}

TEST_F(BasicScanTest, AnswerNoOrNothingTickedLeavesTheResults) {
    TickDataAndScan();
    ClickTick(HeaderRow("a.txt"));
    const std::string Before = Ticks();
    ClickButton(Form->DeleteButton);  // answered No
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 2);
    EXPECT_EQ(Ticks(), Before);
    EXPECT_TRUE(Exists(Folder("docs/a.txt")));

    ClickTick(HeaderRow("a.txt"));
    Answers = {plat::IDYES};
    ClickButton(Form->DeleteButton);
    ASSERT_EQ(Boxes.size(), 3u);
    EXPECT_EQ(Boxes[2].Text, "Please select the items you want to remove first!");
    EXPECT_EQ(Boxes[2].Caption, "Corvane - Delete Confirmation");
    EXPECT_EQ(Boxes[2].Flags, 0x30u);
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 2);
    EXPECT_EQ(Buttons(), "EBD");
}

TEST_F(BasicScanTest, InputIsHeldOffWhileTheDeletionRuns) {
    TickDataAndScan();
    ClickOption(Form->cbSelectAllDel);
    const size_t RowCount = Rows().size();
    int Calls = 0;
    plat::TShellHooks Hooks;
    Hooks.Trash = [&](const std::string&, std::string*) {
        ++Calls;
        EXPECT_TRUE(Form->Deleting());
        for (QWidget* W : {static_cast<QWidget*>(Form->BackButton), static_cast<QWidget*>(Form->DeleteButton),
                           static_cast<QWidget*>(Form->ExportButton), static_cast<QWidget*>(Form->BasicBtn),
                           static_cast<QWidget*>(Form->CrushBtn)})
            EXPECT_FALSE(W->isEnabled());
        SendClick(Form->BackButton);
        SendClick(Form->MusicBtn);
        ClickColumn(1);
        Form->DeleteButtonClick(Form->DeleteButton);
        EXPECT_EQ(Form->FRowList.size(), RowCount);
        return true;
    };
    plat::SetShellHooks(Hooks);
    Answers = {plat::IDYES};
    ClickButton(Form->DeleteButton);
    plat::SetShellHooks({});
    EXPECT_EQ(Calls, 3);
    EXPECT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Form->FMode, 1);
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 3);
    EXPECT_TRUE(ModeButtonsEnabled());
    EXPECT_FALSE(Form->Deleting());
}

TEST_F(BasicScanTest, OnlyTheTopNodeTickedScansNothing) {
    // A click on the top node would tick the drives below it too.
    Root()->StateIndex = places::StateTicked;
    Scan();
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 3);
    EXPECT_EQ(Buttons(), "F");
    EXPECT_EQ(Form->DuplicatesListView->ItemCount(), 0);
    EXPECT_EQ(Form->abStatus->text().toStdString(), "0 duplicate groups found where 0 Files are contained within.");
}

TEST_F(BasicScanTest, CustomTypesComeFromCustomIniBesideTheSettings) {
    QTemporaryDir Program, Store;
    plat::SetProgramFolderForTests(Program.path().toStdString() + "/");
    plat::TRegistry::SetStoreFolder(Store.path().toStdString());
    std::ofstream(Store.path().toStdString() + "/custom.ini") << "[File Type]\r\nMy Docs=*.dat\r\n";
    ClickOption(Form->rbCustom);
    ASSERT_TRUE(Form->rbCustom->Checked());
    TickDataAndScan();
    plat::SetProgramFolderForTests("");
    plat::TRegistry::SetStoreFolder("");
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(Form->FCustomFileTypes, (std::vector<std::string>{"*.dat"}));
    EXPECT_EQ(Rows().size(), 3u);
    EXPECT_EQ(HeaderRow("b.dat"), 0);
}

// ---- Stop and errors ------------------------------------------------------

class WalkTest : public ScanWindowTest {
protected:
    void SetUp() override {
        for (int I = 0; I < 40; ++I) Tree.File("d" + std::to_string(I) + "/f.txt", {.Content = "same"});
        ScanWindowTest::SetUp();
        Form->PumpIntervalMs = 0;
    }
    int MembersOfF() {
        const int H = HeaderRow("f.txt");
        return H < 0 ? 0 : int(Members(H).size());
    }
};

TEST_F(WalkTest, StopDuringTheWalkShowsWhatWasFound) {
    int Calls = 0;
    bool Checked = false;
    Form->OnProcessMessages = [&] {
        if (++Calls == 1) {
            Checked = true;
            EXPECT_EQ(Form->DataNotebook->currentIndex(), 1);
            EXPECT_EQ(Buttons(), "T");
            EXPECT_FALSE(ModeButtonsEnabled());
            EXPECT_TRUE(Form->ScanTimer->isActive());
            EXPECT_TRUE(Form->panDriveDir->isHidden());
            EXPECT_EQ(Form->FRunState, rsRunning);
        }
        if (Calls == 25) SendClick(Form->StopButton);
    };
    TickDataAndScan();
    EXPECT_TRUE(Checked);
    EXPECT_EQ(Form->FRunState, rsStopRequested);
    EXPECT_FALSE(Form->ScanTimer->isActive());
    EXPECT_TRUE(ModeButtonsEnabled());
    EXPECT_LT(Calls, 40);
    const int Found = MembersOfF();
    EXPECT_GE(Found, 2);
    EXPECT_LT(Found, 40);
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 2);
    EXPECT_EQ(Buttons(), "EBD");
}

TEST_F(WalkTest, StopBeforeAnyGroupShowsTheSummary) {
    Form->OnProcessMessages = [&] { SendClick(Form->StopButton); };
    TickDataAndScan();
    EXPECT_EQ(Form->FRunState, rsStopRequested);
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 3);
    EXPECT_EQ(Buttons(), "F");
}

TEST_F(WalkTest, AnErrorEndsTheRunCleanly) {
    int Calls = 0;
    Form->OnProcessMessages = [&] {
        if (++Calls == 25) throw std::runtime_error("Disk on fire");
    };
    TickDataAndScan();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Disk on fire");
    EXPECT_EQ(Boxes[0].Flags, unsigned(plat::MB_OK | plat::MB_ICONERROR));
    EXPECT_FALSE(Form->ScanTimer->isActive());
    EXPECT_TRUE(ModeButtonsEnabled());
    EXPECT_EQ(Form->FRunState, rsStopRequested);
    EXPECT_GE(MembersOfF(), 2);
    EXPECT_LT(MembersOfF(), 40);
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 2);
    EXPECT_EQ(Buttons(), "EBD");
    // The window is ready for the next run.
    Form->OnProcessMessages = nullptr;
    ClickButton(Form->BackButton);
    TickDataAndScan();
    EXPECT_EQ(MembersOfF(), 40);
}

// ---- Refusals -------------------------------------------------------------

struct TRefusal {
    const char* Name;
    int Mode;
    bool Tick;
    std::function<void(TDeleteDuplicatesForm&)> Prepare;
    const char* Text;
};

class RefusalTest : public ScanWindowTest, public ::testing::WithParamInterface<TRefusal> {};

TEST_P(RefusalTest, ShowsItsMessageAndStartsNothing) {
    const TRefusal& R = GetParam();
    QTemporaryDir Program, Store;  // no custom.ini here
    plat::SetProgramFolderForTests(Program.path().toStdString() + "/");
    plat::TRegistry::SetStoreFolder(Store.path().toStdString());
    const ScopedMailbox NoMailbox(false);  // never the machine's own
    Form->SwitchMode(uint16_t(R.Mode));
    if (R.Tick) ClickNode(Drive("Data"), NodePart::State);
    if (R.Prepare) R.Prepare(*Form);
    Scan();
    plat::SetProgramFolderForTests("");
    plat::TRegistry::SetStoreFolder("");
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, R.Text);
    EXPECT_EQ(Boxes[0].Caption, "Corvane - Error");
    EXPECT_EQ(Boxes[0].Flags, 0x30u);
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 0);
    EXPECT_EQ(Buttons(), "S");
    EXPECT_EQ(Form->FRunState, rsIdle);
    EXPECT_FALSE(Form->ScanTimer->isActive());
    EXPECT_TRUE(Form->FCustomFileTypes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, RefusalTest,
    ::testing::Values(
        TRefusal{"NoPlace", 1, false, nullptr,
                 "You haven't selected any drives or directries.\rPlease specify the drives or directories for "
                 "this scanning."},
        TRefusal{"NoPlaceMusic", 3, false, nullptr,
                 "You haven't selected any drives or directries.\rPlease specify the drives or directories for "
                 "this scanning."},
        TRefusal{"NoCustomTypes", 1, true,
                 [](TDeleteDuplicatesForm& F) { ClickLeftEdge(F.rbCustom); },
                 "You have not defined the file type."},
        TRefusal{"NoOutlook", 2, false, nullptr, "You do not have Outlook software."},
        TRefusal{"NoMusicType", 3, true,
                 [](TDeleteDuplicatesForm& F) {
                     ClickLeftEdge(F.rbMusicSpec);
                     for (TCheckBox* C : {F.cbMp3, F.cbWMA, F.cbRM, F.cbOgg, F.cbFLAC}) ClickLeftEdge(C);
                 },
                 "You have no choice types of music."},
        TRefusal{"NoPictureType", 4, true,
                 [](TDeleteDuplicatesForm& F) {
                     ClickLeftEdge(F.rbPhotoSpec);
                     for (TCheckBox* C : {F.cbBmp, F.cbJpeg, F.cbGif, F.cbWmf, F.cbPng, F.cbIco}) ClickLeftEdge(C);
                 },
                 "You have no choice types of picture."},
        TRefusal{"NothingToErase", 5, false, nullptr, "You haven't selected the file to be erased."}),
    [](const ::testing::TestParamInfo<TRefusal>& I) { return std::string(I.param.Name); });

TEST_F(ScanWindowTest, CrushAsksBeforeErasing) {
    Form->SwitchMode(5);
    auto Add = [&](const char* P) {
        auto* It = new QTreeWidgetItem(Form->EraseListView, {P, "File"});
        It->setCheckState(0, Qt::Checked);
    };
    Add("/nowhere/one");
    Scan();  // answered No
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text,
              "1 file will be erased. Once the file have been erased,it cannot be recovered.\rAre you sure to erase it?");
    EXPECT_EQ(Boxes[0].Caption, "Corvane");
    EXPECT_EQ(Boxes[0].Flags, 0x44u);
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 0);
    EXPECT_EQ(Buttons(), "S");

    Add("/nowhere/two");
    Add("/nowhere/three");
    Answers = {plat::IDYES};
    Scan();
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[1].Text, "3 files will be erased. Once the files have been erased,they cannot be "
                             "recovered.\rAre you sure to erase them?");
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 3);
    EXPECT_EQ(Buttons(), "F");
    EXPECT_EQ(Form->FRunState, rsFinished);
    EXPECT_EQ(Form->abDuplicates->text(), "0");
}

TEST_F(ScanWindowTest, CrushErasesTheTickedItemsAndFillsTheSummary) {
    TempTree T;
    const std::string File = T.File("a/file.txt", {.Content = "private", .Size = 3000});
    T.File("b/inner/x.txt", {.Content = "x"});
    const std::string Kept = T.File("c/unticked.txt", {.Content = "stays"});
    const std::string Protected = T.File("etc/fstab", {.Content = "mounts"});
    Form->ProtectedFiles = {Protected};
    Form->SwitchMode(5);
    auto Add = [&](const std::string& P, const char* Type, bool Tick) {
        auto* It = new QTreeWidgetItem(Form->EraseListView, {QString::fromStdString(P), Type});
        It->setCheckState(0, Tick ? Qt::Checked : Qt::Unchecked);
    };
    Add(File, "File", true);
    Add(T.Path("b"), "Folder", true);
    Add(Kept, "File", false);
    Add(T.Path("missing"), "File", true);
    Add(Protected, "File", true);
    Answers = {plat::IDYES};
    Scan();
    ASSERT_EQ(Form->DataNotebook->currentIndex(), 3);
    QTreeWidget* L = Form->FinishListView;
    ASSERT_EQ(L->topLevelItemCount(), 4);
    const char* Want[] = {"Succeeded", "Succeeded", "Not exist", "Protected"};
    for (int I = 0; I < 4; ++I) EXPECT_EQ(L->topLevelItem(I)->text(1).toStdString(), Want[I]) << I;
    EXPECT_EQ(L->topLevelItem(0)->text(0).toStdString(), File);
    EXPECT_EQ(Form->DelStatus1->text().toStdString(), "5 items have been found. 4 items were selected for erasion.");
    EXPECT_EQ(Form->DelStatus2->text().toStdString(), "2 items have been erased successfully.");
    EXPECT_EQ(Form->DelStatus3->text().toStdString(), "Fail to erase 2 items.");
    EXPECT_FALSE(T.Exists("a/file.txt"));
    EXPECT_FALSE(T.Exists("b"));
    EXPECT_EQ(T.Read("c/unticked.txt"), "stays");
    EXPECT_EQ(T.Read("etc/fstab"), "mounts");
    EXPECT_EQ(Form->EraseListView->topLevelItemCount(), 5);  // the list itself is kept
    EXPECT_EQ(Form->FRunState, rsFinished);
}

TEST_F(ScanWindowTest, CrushStopEndsBeforeTheItemAfterNext) {
    TempTree T;
    Form->SwitchMode(5);
    for (const char* N : {"one", "two", "three"}) {
        auto* It = new QTreeWidgetItem(Form->EraseListView, {QString::fromStdString(T.File(N, {.Content = N})), "File"});
        It->setCheckState(0, Qt::Checked);
    }
    int Calls = 0;
    Form->OnProcessMessages = [&] {
        if (++Calls == 2) Form->StopButtonClick(nullptr);
    };
    Answers = {plat::IDYES};
    Scan();
    EXPECT_EQ(Form->FinishListView->topLevelItemCount(), 2);
    EXPECT_FALSE(T.Exists("two"));
    EXPECT_EQ(T.Read("three"), "three");
    EXPECT_EQ(Form->FRunState, rsStopRequested);
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 3);
}

TEST_F(WalkTest, ClosingTheWindowStopsTheWalk) {
    int Calls = 0;
    Form->OnProcessMessages = [&] {
        if (++Calls == 5) Form->close();
    };
    TickDataAndScan();
    EXPECT_EQ(Form->FRunState, rsStopRequested);
    EXPECT_LT(Calls, 40);
}

TEST_F(BasicScanTest, OpenPropertyAndShowFileActOnTheSelectedRow) {
    TickDataAndScan();
    std::vector<std::string> Opened, Properties;
    plat::TShellHooks Hooks;
    Hooks.Open = [&](const std::string& P) { Opened.push_back(P); };
    Hooks.Properties = [&](const std::string& P) { Properties.push_back(P); };
    plat::SetShellHooks(Hooks);
    TVirtualListView* L = Form->DuplicatesListView;
    auto Select = [&](int Row) {
        L->selectionModel()->clearSelection();
        L->selectionModel()->select(L->model()->index(Row, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };
    // Nothing selected: nothing happens.
    Form->OpenwithDirectory1Click(nullptr);
    Form->DuplicatesListViewDblClick(nullptr);
    EXPECT_TRUE(Opened.empty());

    const int A = HeaderRow("a.txt");
    Select(A + 1);  // the newest copy: docs/sub/
    Form->OpenwithDirectory1Click(nullptr);
    Form->DuplicatesListViewDblClick(nullptr);
    Form->Property1Click(nullptr);
    Form->Showfile1Click(nullptr);
    EXPECT_EQ(Opened, (std::vector<std::string>{Folder("docs/sub/"), Folder("docs/sub/"), Folder("docs/sub/a.txt")}));
    EXPECT_EQ(Properties, (std::vector<std::string>{Folder("docs/sub/a.txt")}));

    // A same-name header names no file.
    Opened.clear();
    Properties.clear();
    Select(A);
    Form->Property1Click(nullptr);
    Form->Showfile1Click(nullptr);
    EXPECT_TRUE(Opened.empty());
    EXPECT_TRUE(Properties.empty());
    plat::SetShellHooks({});
}

TEST_F(ScanWindowTest, ElapsedTimeRestartsAfterADay) {
    // 25 hours, 3 minutes and 7 seconds ago.
    Form->FStartTime = plat::NowDateTime() - (25.0 * 3600 + 3 * 60 + 7) / 86400.0;
    Form->ScanTimerTimer(Form->ScanTimer);
    const QString T = Form->abScanTime->text();
    EXPECT_TRUE(T == "01:03:07" || T == "01:03:08") << T.toStdString();
    EXPECT_EQ(Form->abDuplicates->text(), "0");
}

namespace {

// A double click as the window system delivers it: press, release, the
// double-click press, release.
void SendDoubleClick(QWidget* W, const QPoint& P) {
    const QPointF G(W->mapToGlobal(P));
    for (QEvent::Type T : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                           QEvent::MouseButtonRelease}) {
        const bool Down = T != QEvent::MouseButtonRelease;
        QMouseEvent E(T, QPointF(P), G, Qt::LeftButton, Down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(W, &E);
    }
    QApplication::processEvents();
}

} // namespace

TEST_F(BasicScanTest, DoubleClicksOnTheListActAsTheirTwoPressesDo) {
    TickDataAndScan();
    std::vector<std::string> Opened;
    plat::TShellHooks Hooks;
    Hooks.Open = [&](const std::string& P) { Opened.push_back(P); };
    plat::SetShellHooks(Hooks);
    TVirtualListView* L = Form->DuplicatesListView;
    const int A = HeaderRow("a.txt");
    auto TickPoint = [&](int Row) {
        const QRect Cell = L->visualRect(L->model()->index(Row, 0));
        for (int X = Cell.left(); X < Cell.left() + 80; ++X)
            if (L->OnItemImage(QPoint(X, Cell.center().y()))) return QPoint(X, Cell.center().y());
        ADD_FAILURE() << "no tick picture on row " << Row;
        return QPoint();
    };

    // Both presses reach the tick: a member is ticked and unticked again,
    // and the double click opens the member's folder.
    SendDoubleClick(L->viewport(), TickPoint(A + 2));
    EXPECT_EQ(Ticks(), ".......");
    EXPECT_EQ(Opened, (std::vector<std::string>{Folder("other/")}));
    ClickTick(A + 2);
    EXPECT_EQ(Ticks().substr(size_t(A), 4), "..x.");

    plat::SetShellHooks({});
}

TEST_F(BasicScanTest, CountsDatesAndTimesShowWholeInTheirColumns) {
    ClickOption(Form->rbScanFileBye);
    TickDataAndScan();
    TVirtualListView* L = Form->DuplicatesListView;
    ASSERT_GE(L->ItemCount(), 2);
    auto Fits = [&](int Row, int Column) {
        const QModelIndex I = L->model()->index(Row, Column);
        return L->sizeHintForIndex(I).width() <= L->columnWidth(Column);
    };
    EXPECT_TRUE(Fits(0, 1)) << "the header's member count";
    EXPECT_TRUE(Fits(1, 2)) << "the modification date and time";
    EXPECT_TRUE(Fits(1, 3)) << "the creation date and time";
}

TEST_F(BasicScanTest, AColumnWidenedByTheUserKeepsItsWidthThroughASort) {
    TickDataAndScan();
    QHeaderView* H = Form->DuplicatesListView->header();
    H->resizeSection(0, 420);  // what dragging the column's edge does
    ClickColumn(2);
    EXPECT_EQ(H->sectionSize(0), 420);
    EXPECT_EQ(Form->DuplicatesListView->Column(0).Width, 420);
    EXPECT_TRUE(H->isSectionHidden(5));  // "ResultFlag" stays out of sight
}
