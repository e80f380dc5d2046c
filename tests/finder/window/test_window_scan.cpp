// Runs through the window: the pages, buttons, counters and rows a scan
// leaves; ticks and ordering; the deletion and its summary; Stop, errors and
// closing during a walk; the refusals; the shredder; Photo and Outlook runs
// on the samples; the export.
#include <QDate>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "finder/core/DeleteCore.h"
#include "finder/core/HtmlExport.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "tests/common/MailboxFixture.h"
#include "tests/finder/window/WindowTestSupport.h"

using namespace corvane_test;

namespace {

std::string ReadAll(const std::string& Path) {
    return std::string(std::istreambuf_iterator<char>(std::ifstream(Path, std::ios::binary).rdbuf()), {});
}

std::string Sample(const char* Folder, const std::string& Name) { return ReadAll(std::string(Folder) + "/" + Name); }

void SelectRow(TVirtualListView* L, int Row) {
    L->selectionModel()->select(L->model()->index(Row, 0),
                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

} // namespace

class BasicScanTest : public WindowTest {
protected:
    void SetUp() override {
        Tree.File("docs/a.txt", {.Content = "one", .MTime = 1600000000});
        Tree.File("docs/sub/a.txt", {.Content = "two2", .MTime = 1700000000});
        Tree.File("other/a.txt", {.Content = "three", .MTime = 1650000000});
        Tree.File("b.dat", {.Content = "xyz", .MTime = 1600000000});
        Tree.File("docs/b.dat", {.Content = "xyz", .MTime = 1600000100});
        Tree.File("single.txt", {.Content = "s"});
        WindowTest::SetUp();
        TickDataAndScan();
    }
};

TEST_F(BasicScanTest, RunShowsItsGroupsAndColumnClicksReorderThemClearingTicks) {
    EXPECT_EQ(RunView(), "2 EBD finished");
    EXPECT_EQ(Form->abDuplicates->text() + "/" + Form->abDupFiles->text(), "2/5");
    EXPECT_EQ(Form->abStatus->text().toStdString(), "2 duplicate groups found where 5 Files are contained within.");
    ASSERT_EQ(Rows().size(), 7u);
    // Newest first; a same-name member shows its folder.
    EXPECT_EQ(Members(HeaderRow("a.txt")), "docs/sub/;other/;docs/;");
    ClickOption(Form->cbSelectAllDel);
    Form->DuplicatesListView->header()->resizeSection(0, 420);  // what dragging the column's edge does
    ClickColumn(2);  // "Modified" again: oldest first
    EXPECT_EQ(Members(HeaderRow("a.txt")), "docs/;other/;docs/sub/;");
    EXPECT_EQ(Ticks(), ".......");
    EXPECT_TRUE(Form->cbSelectAllDel->Checked());  // the box keeps its state
    EXPECT_EQ(Form->DuplicatesListView->header()->sectionSize(0), 420);
}

// The first member of a group is the copy that is kept: neither "Select All
// Duplicates" nor a header's tick ever ticks it.
TEST_F(BasicScanTest, SelectAllAndHeaderTicksLeaveTheKeptCopy) {
    const int A = HeaderRow("a.txt"), B = HeaderRow("b.dat");
    auto Expect = [&](const std::string& GroupA, const std::string& GroupB) {
        std::string Want(7, '?');
        Want.replace(size_t(A), 4, GroupA);
        Want.replace(size_t(B), 3, GroupB);
        EXPECT_EQ(Ticks(), Want);
    };
    // A member's tick picture stands one picture width to the right of its header's.
    EXPECT_EQ(TickPoint(A + 1).x() - TickPoint(A).x(), Form->DuplicatesListView->SmallImageWidth);
    ClickOption(Form->cbSelectAllDel);
    Expect("x.xx", "x.x");
    ClickOption(Form->cbSelectAllDel);
    Expect("....", "...");
    ClickTick(A);
    Expect("x.xx", "...");
    ClickTick(A);
    Expect("....", "...");
    ClickTick(A + 1);  // a member: its own tick, with the left button only
    ClickTick(A + 2, Qt::RightButton);
    Expect(".x..", "...");
    ClickTick(A);  // the header unticks the first member
    ClickTick(A + 3);
    // A click on the row's text changes nothing.
    const QRect Cell = Form->DuplicatesListView->visualRect(Form->DuplicatesListView->model()->index(B + 1, 0));
    SendClick(Form->DuplicatesListView->viewport(), QPoint(Cell.right() - 10, Cell.center().y()));
    Expect("x.x.", "...");
}

TEST_F(BasicScanTest, DeleteAsksFirstThenTrashesTheTickedAndShowsTheSummary) {
    QTemporaryDir Data;
    const QByteArray OldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", Data.path().toLocal8Bit());
    Answers = {plat::IDNO, plat::IDYES};
    SendClick(Form->DeleteButton);  // No: nothing happens; Yes with nothing ticked: a message
    SendClick(Form->DeleteButton);
    ClickTick(HeaderRow("a.txt"));  // the two older copies
    Answers = {plat::IDYES};
    SendClick(Form->DeleteButton);
    qputenv("XDG_DATA_HOME", OldData);
    const auto Shown = TakeBoxes();
    ASSERT_EQ(Shown.size(), 4u);
    EXPECT_EQ(Shown[0].Text, finder::DeleteConfirmationText(true));
    EXPECT_EQ(Shown[2].Text, finder::NothingSelectedText);
    EXPECT_EQ(RunView(), "3 F finished");
    EXPECT_EQ(ListTexts(Form->FinishListView, 0), Folder("other/a.txt") + ";" + Folder("docs/a.txt") + ";");
    EXPECT_EQ(ListTexts(Form->FinishListView, 1), "Succeeded;Succeeded;");
    EXPECT_EQ(Form->DelStatus2->text(), "2 files have been deleted successfully.");
    EXPECT_FALSE(Tree.Exists("other/a.txt") || Tree.Exists("docs/a.txt"));
    EXPECT_EQ(QDir(Data.path() + "/Trash/files").entryList(QDir::Files).size(), 2);
    SendClick(Form->FinishButton);
    EXPECT_EQ(RunView(), "0 S idle");
}

TEST_F(BasicScanTest, DeleteForGoodSparesAFileChangedSinceTheScan) {
    ClickOption(Form->rbDeleteFile);
    ClickOption(Form->cbSelectAllDel);
    // Somebody writes to one ticked copy after the scan.
    const std::string Changed = Rows()[size_t(HeaderRow("a.txt")) + 2].Caption + "a.txt";
    std::ofstream(Changed, std::ios::app) << "more";
    Answers = {plat::IDYES};
    SendClick(Form->DeleteButton);
    EXPECT_EQ(TakeBoxes().at(0).Text, finder::DeleteConfirmationText(false));
    EXPECT_EQ(ListTexts(Form->FinishListView, 0), Folder("b.dat") + ";" + Changed + ";" + Folder("docs/a.txt") + ";");
    EXPECT_EQ(ListTexts(Form->FinishListView, 1), "Succeeded;Failed;Succeeded;");
    EXPECT_EQ(ReadAll(Changed), "threemore");
    EXPECT_EQ(Form->DelStatus3->text(), "Fail to delete 1 files.");
}

TEST_F(BasicScanTest, InputIsHeldOffWhileTheDeletionRuns) {
    ClickOption(Form->cbSelectAllDel);
    int Calls = 0;
    plat::TShellHooks Hooks;
    Hooks.Trash = [&](const std::string&, std::string*) {
        ++Calls;
        EXPECT_EQ(RunView(), "2 EBD finished locked");
        SendClick(Form->BackButton);
        SendClick(Form->MusicBtn);
        ClickColumn(1);
        Form->DeleteButtonClick(Form->DeleteButton);
        Form->DuplicatesListViewColumnClick(1);
        EXPECT_EQ(Form->FRowList.size(), 7u);
        return true;
    };
    plat::SetShellHooks(Hooks);
    Answers = {plat::IDYES};
    SendClick(Form->DeleteButton);
    plat::SetShellHooks({});
    EXPECT_EQ(Calls, 3);
    EXPECT_EQ(TakeBoxes().size(), 1u);
    EXPECT_EQ(Form->FMode, 1);
    EXPECT_EQ(RunView(), "3 F finished");
    EXPECT_FALSE(Form->Deleting());
}

TEST_F(BasicScanTest, MenuAndDoubleClickActOnTheSelectedMemberOnly) {
    std::vector<std::string> Opened, Properties;
    plat::TShellHooks Hooks;
    Hooks.Open = [&](const std::string& P) { Opened.push_back(P); };
    Hooks.Properties = [&](const std::string& P) { Properties.push_back(P); };
    plat::SetShellHooks(Hooks);
    const int A = HeaderRow("a.txt");
    // Nothing selected, then a same-name header, which names no file, then the newest copy.
    for (int Row : {-1, A, A + 1}) {
        if (Row >= 0) SelectRow(Form->DuplicatesListView, Row);
        Form->Property1Click(nullptr);
        Form->Showfile1Click(nullptr);
    }
    Form->OpenwithDirectory1Click(nullptr);
    EXPECT_EQ(Opened, (std::vector<std::string>{Folder("docs/sub/a.txt"), Folder("docs/sub/")}));
    EXPECT_EQ(Properties, (std::vector<std::string>{Folder("docs/sub/a.txt")}));
    // A double click on a tick: both presses reach it, and the member's folder opens.
    const QPoint P = TickPoint(A + 2);
    QWidget* V = Form->DuplicatesListView->viewport();
    for (QEvent::Type T : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                           QEvent::MouseButtonRelease}) {
        QMouseEvent E(T, QPointF(P), QPointF(V->mapToGlobal(P)), Qt::LeftButton,
                      T == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(V, &E);
    }
    plat::SetShellHooks({});
    EXPECT_EQ(Ticks(), ".......");
    EXPECT_EQ(Opened.back(), Folder("other/"));
}

// A custom-type scan takes its types from custom.ini beside the settings,
// not from the program folder.
TEST_F(BasicScanTest, CustomTypesComeFromCustomIniBesideTheSettings) {
    QTemporaryDir Program, Store;
    plat::SetProgramFolderForTests(Program.path().toStdString() + "/");
    plat::TRegistry::SetStoreFolder(Store.path().toStdString());
    std::ofstream(Store.path().toStdString() + "/custom.ini") << "[File Type]\r\nMy Docs=*.dat\r\n";
    ClickOption(Form->rbCustom);
    Scan();
    plat::SetProgramFolderForTests("");
    plat::TRegistry::SetStoreFolder("");
    EXPECT_EQ(Rows().size(), 3u);
    EXPECT_EQ(HeaderRow("b.dat"), 0);
}

TEST_F(WindowTest, ElapsedTimeRestartsAfterADay) {
    Form->FStartTime = plat::NowDateTime() - (25.0 * 3600 + 3 * 60 + 7) / 86400.0;
    Form->ScanTimerTimer(Form->ScanTimer);
    const QString T = Form->abScanTime->text();
    EXPECT_TRUE(T == "01:03:07" || T == "01:03:08") << T.toStdString();
}

// Stop, an error and closing the window each end the walk at once and show
// what was found, or the summary page when nothing was.
TEST_F(WindowTest, StopErrorsAndClosingEndTheWalk) {
    for (int I = 0; I < 40; ++I) Tree.File("d" + std::to_string(I) + "/f.txt", {.Content = "same"});
    Form->PumpIntervalMs = 0;
    auto ScanWith = [&](std::function<void(int)> Act) {
        int Calls = 0;
        Form->OnProcessMessages = [&] { Act(++Calls); };
        SendClick(Form->BackButton);
        TickDataAndScan();
        Form->OnProcessMessages = nullptr;
        EXPECT_LT(Calls, 40);
        const std::string Found = HeaderRow("f.txt") < 0 ? "" : Members(HeaderRow("f.txt"));
        return int(std::count(Found.begin(), Found.end(), ';'));
    };
    const int Found = ScanWith([&](int Call) {
        if (Call == 1) {
            EXPECT_EQ(RunView() + (Form->panDriveDir->isHidden() ? "" : " places"), "1 T running timer locked");
        }
        if (Call == 25) SendClick(Form->StopButton);
    });
    EXPECT_EQ(RunView(), "2 EBD stopped");
    EXPECT_TRUE(Found >= 2 && Found < 40) << Found;
    ScanWith([&](int) { SendClick(Form->StopButton); });
    EXPECT_EQ(RunView(), "3 F stopped");
    EXPECT_LT(ScanWith([&](int Call) {
                  if (Call == 25) throw std::runtime_error("Disk on fire");
              }),
              40);
    EXPECT_EQ(TakeBoxes().at(0).Text, "Disk on fire");
    EXPECT_EQ(RunView(), "2 EBD stopped");
    ScanWith([&](int Call) {
        if (Call == 5) Form->close();
    });
    EXPECT_EQ(Form->FRunState, rsStopRequested);
}

// ---- refusals ---------------------------------------------------------------

struct TRefusal {
    const char* Name;
    int Mode;
    std::function<void(TDeleteDuplicatesForm&)> Prepare;  // after the drive is ticked; none: nothing ticked
    const char* Text;
};

void ClickAll(std::initializer_list<QWidget*> Options) {
    for (QWidget* W : Options) ClickOption(W);
}

class RefusalTest : public WindowTest, public ::testing::WithParamInterface<TRefusal> {};

TEST_P(RefusalTest, ShowsItsMessageAndStartsNothing) {
    QTemporaryDir Program, Store;  // no custom.ini here
    plat::SetProgramFolderForTests(Program.path().toStdString() + "/");
    plat::TRegistry::SetStoreFolder(Store.path().toStdString());
    const ScopedMailbox NoMailbox(false);  // never the machine's own
    Form->SwitchMode(uint16_t(GetParam().Mode));
    if (GetParam().Prepare) {
        ClickNode(Drive("Data"), NodePart::State);
        GetParam().Prepare(*Form);
    }
    Scan();
    plat::SetProgramFolderForTests("");
    plat::TRegistry::SetStoreFolder("");
    const auto Shown = TakeBoxes();
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0].Text, GetParam().Text);
    EXPECT_EQ(RunView(), "0 S idle");
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, RefusalTest,
    ::testing::Values(
        TRefusal{"NoPlace", 3, nullptr,
                 "You haven't selected any drives or directries.\rPlease specify the drives or directories for this "
                 "scanning."},
        TRefusal{"NoCustomTypes", 1, [](auto& F) { ClickOption(F.rbCustom); }, "You have not defined the file type."},
        TRefusal{"NoOutlook", 2, nullptr, "You do not have Outlook software."},
        TRefusal{"NoMusicType", 3,
                 [](auto& F) { ClickAll({F.rbMusicSpec, F.cbMp3, F.cbWMA, F.cbRM, F.cbOgg, F.cbFLAC}); },
                 "You have no choice types of music."},
        TRefusal{"NoPictureType", 4,
                 [](auto& F) { ClickAll({F.rbPhotoSpec, F.cbBmp, F.cbJpeg, F.cbGif, F.cbWmf, F.cbPng, F.cbIco}); },
                 "You have no choice types of picture."},
        TRefusal{"NothingToErase", 5, nullptr, "You haven't selected the file to be erased."}),
    [](const auto& I) { return std::string(I.param.Name); });

// ---- the shredder -------------------------------------------------------------

TEST_F(WindowTest, CrushErasesTheTickedItemsOnlyAfterYes) {
    TempTree T;
    const std::string Protected = T.File("etc/fstab", {.Content = "mounts"});
    Form->ProtectedFiles = {Protected};
    Form->SwitchMode(5);
    AddErase(T.File("a/file.txt", {.Content = "private", .Size = 3000}), "File", true);
    Scan();  // answered No
    EXPECT_EQ(TakeBoxes().size(), 1u);
    EXPECT_EQ(RunView(), "0 S idle");
    AddErase(T.File("c/unticked.txt", {.Content = "stays"}), "File", false);
    AddErase(T.Path("missing"), "File", true);
    AddErase(Protected, "File", true);
    Answers = {plat::IDYES};
    Scan();
    EXPECT_NE(TakeBoxes().at(0).Text.find("3 files will be erased"), std::string::npos);
    EXPECT_EQ(RunView(), "3 F finished");
    EXPECT_EQ(ListTexts(Form->FinishListView, 1), "Succeeded;Not exist;Protected;");
    EXPECT_FALSE(T.Exists("a/file.txt"));
    EXPECT_EQ(T.Read("c/unticked.txt") + T.Read("etc/fstab"), "staysmounts");
}

// "Add Files" keeps what was chosen, by its bytes: a name Qt cannot hold
// exactly is refused and named, never taken for the name Qt made of it; a
// folder on a chosen path swapped for a link before the run fails the row,
// and nothing behind the link is touched.
TEST_F(WindowTest, CrushErasesOnlyTheItemsChosen) {
    TempTree T;
    T.File("victim/f1", {.Content = "victim"});
    T.File("bad\xEF\xBF\xBD.txt", {.Content = "another"});
    QStringList Chosen;
    for (const char* Rel : {"c/sub/f1", "bad\xFF.txt", "good.txt"})
        Chosen << QFile::decodeName(T.File(Rel, {.Content = Rel}).c_str());
    Form->SwitchMode(5);
    Form->ChooseEraseFiles = [&] { return Chosen; };
    SendClick(Form->labAddFile);
    const auto Refused = TakeBoxes();
    ASSERT_EQ(Refused.size(), 1u);
    EXPECT_NE(Refused[0].Text.find(Chosen[1].toStdString()), std::string::npos);
    EXPECT_EQ(Form->EraseListView->topLevelItemCount(), 2);
    ::rename(T.Path("c/sub").c_str(), T.Path("c/sub-old").c_str());
    T.Link("c/sub", "../victim");
    Answers = {plat::IDYES};
    Scan();
    TakeBoxes();
    EXPECT_EQ(ListTexts(Form->FinishListView, 1), "Failed;Succeeded;");
    EXPECT_EQ(T.Read("victim/f1") + T.Read("c/sub-old/f1") + T.Read("bad\xFF.txt") + T.Read("bad\xEF\xBF\xBD.txt"),
              "victimc/sub/f1bad\xFF.txtanother");
    EXPECT_FALSE(T.Exists("good.txt"));
}

// ---- Photo runs on the samples --------------------------------------

TEST_F(WindowTest, SimilarPicturesGroupAtTheChosenPercentageOrAbove) {
    for (const char* Name : {"photo.png", "photo.bmp", "photo_q90.jpg", "photo_negative.png"})
        Tree.File(std::string("pics/") + Name, {.Content = Sample(CORVANE_PICTURE_SAMPLES, Name)});
    SendClick(Form->PhotoBtn);
    ClickOption(Form->rbScanSimilar);
    TickDataAndScan();
    ASSERT_EQ(RunView(), "2 EBD finished");
    EXPECT_EQ(Form->DuplicatesListView->Column(3).Caption, "Similarity");
    EXPECT_EQ(Form->abDupFiles->text(), "3");  // the negative stays out
    for (const TShownRow& R : Rows()) EXPECT_TRUE(R.Header() || std::stod(R.SubItems[2]) >= 90.0) << R.SubItems[2];
    // A pair alike in exactly half its pixels groups at 50 % and not above.
    QImage Half(10, 10, QImage::Format_RGB888);
    Half.fill(Qt::black);
    ASSERT_TRUE(Half.save(QString::fromStdString(Tree.Dir("half") + "/black.png")));
    for (int Y = 0; Y < 10; ++Y) std::memset(Half.scanLine(Y), 255, 15);
    ASSERT_TRUE(Half.save(QString::fromStdString(Folder("half/half.png"))));
    for (int Percent : {50, 51}) {
        SendClick(Form->BackButton);
        ClickOption(Form->rbScanSimilar);
        Form->UpDown1->setValue(Percent);
        TickDataAndScan();
        EXPECT_EQ(Form->abDuplicates->text(), Percent == 50 ? "2" : "1") << Percent;
    }
    // A same-name scan takes the "Created" column back.
    SendClick(Form->BackButton);
    Tree.File("other/photo.png", {.Content = Sample(CORVANE_PICTURE_SAMPLES, "photo.png")});
    TickDataAndScan();
    EXPECT_EQ(Form->DuplicatesListView->Column(3).Caption, "Created");
    EXPECT_EQ(HeaderRow("photo.png"), 0);
}

// ---- Outlook ------------------------------------------------------------------

TEST_F(WindowTest, OutlookScanOpensAndDeletesTheTickedMessageAndSaysWhenTheMailboxIsGone) {
    ScopedMailbox Box;
    auto DoubleClick = [&](int Row) {
        SelectRow(Form->DuplicatesListView, Row);
        Form->DuplicatesListViewDblClick(Form->DuplicatesListView);
    };
    Form->SwitchMode(2);
    Box.Tree.File("home/Maildir/cur/unreadable", {.Content = "X-Pad: " + std::string(1100000, 'x') + "\n\n"});
    for (bool Gone : {false, true}) {
        Scan();
        EXPECT_EQ(RunView(), "2 EBD finished");
        EXPECT_TRUE(Form->abStatus->text().endsWith(" 1 items unreadable."));
        if (Gone) std::filesystem::rename(Box.Maildir(), Box.Maildir() + ".gone");
        // A mail program files the newest one away after the scan: it is still found.
        else std::filesystem::rename(Box.Maildir("new/1705053600.M3P100.host"), Box.Maildir("cur/1705053600.M3P100.host:2,S"));
        DoubleClick(0);  // a header: nothing
        DoubleClick(1);  // the newest received
        ClickTick(2);
        Answers = {plat::IDYES};
        SendClick(Form->DeleteButton);
        const auto Shown = TakeBoxes();  // the question; when gone, before it a box and after it the reason
        ASSERT_EQ(Shown.size(), Gone ? 3u : 1u);
        EXPECT_EQ(Shown[0].Text.find("does not exist") != std::string::npos, Gone);
        EXPECT_EQ(RunView(), "3 F finished");
        EXPECT_EQ(ListTexts(Form->FinishListView, 0) + ListTexts(Form->FinishListView, 1),
                  Gone ? "Meeting notes;Failed;" : "Meeting notes;Succeeded;");
        SendClick(Form->FinishButton);
    }
    EXPECT_EQ(Box.Opened, std::vector<std::string>{Box.Maildir("cur/1705053600.M3P100.host:2,S")});
    EXPECT_TRUE(Box.Tree.Exists("home/Maildir.gone/.Trash/cur/1704967200.M2P100.host:2,S"));
    // A mailbox that cannot be read ends the scan as finished, with the reason.
    std::filesystem::rename(Box.Maildir() + ".gone", Box.Maildir());
    std::filesystem::remove_all(Box.Maildir("cur"));
    Box.Tree.File("home/Maildir/cur", {.Content = "not a folder"});
    Scan();
    EXPECT_NE(TakeBoxes().at(0).Text.find("/cur cannot be read"), std::string::npos);
    EXPECT_EQ(RunView(), "3 F finished");
    // Contacts are scanned as contacts.
    SendClick(Form->FinishButton);
    ClickOption(Form->rbLinkman);
    Scan();
    EXPECT_EQ(Form->abStatus->text().toStdString(), "2 duplicate groups found where 5 Contacts are contained within.");
}

// ---- export -------------------------------------------------------------------

TEST_F(WindowTest, ExportWritesTheRowsShownAndSaysWhereOrWhyNot) {
    QTemporaryDir Out;
    std::vector<std::string> Proposed;  // the names the dialog was given
    std::string Answer;                 // what the dialog returns
    finder::SetExportDialog([&](const std::string& Name) {
        Proposed.push_back(Name);
        return Answer;
    });
    Tree.File("x y/a & <b>.txt", {.Content = "same bytes"});
    Tree.File("z/a.txt", {.Content = "same bytes"});
    SendClick(Form->ExportButton);  // nothing to export yet: no dialog
    ClickOption(Form->rbScanFileBye);
    TickDataAndScan();
    // A cancelled dialog writes and says nothing; a failed write is an error.
    for (const char* Name : {"", "missing/list.html", "list.html"}) {
        Answer = *Name ? Out.filePath(Name).toStdString() : std::string();
        SendClick(Form->ExportButton);
    }
    finder::SetExportDialog({});
    ASSERT_EQ(Proposed.size(), 3u);
    EXPECT_EQ(Proposed[0], "DuplicateFile_" + QDate::currentDate().toString("yyyyMMdd").toStdString() + ".html");
    const auto Shown = TakeBoxes();
    ASSERT_EQ(Shown.size(), 2u);
    EXPECT_EQ(Shown[0].Flags, plat::MB_OK | plat::MB_ICONERROR);
    EXPECT_NE(Shown[0].Text.find("missing/list.html"), std::string::npos) << Shown[0].Text;
    EXPECT_EQ(Shown[1].Text, "Data has been exported to " + Answer);
    const std::string Html = ReadAll(Answer);
    EXPECT_NE(Html.find("<b>Scan mode:</b> Scan for same byte <br />"), std::string::npos);
    EXPECT_NE(Html.find(finder::HtmlText(Tree.Root()) + "/x y/a &amp; &lt;b&gt;.txt</a>"), std::string::npos);
}
