// The main window as a frame: first showing, shape, version label, picture
// buttons and links, and the reset that Back and Finish perform.
#include <QBitmap>
#include <QHeaderView>
#include <QTimer>

#include "frame/SettingsUnit.h"
#include "frame/StartupUnit.h"
#include "platform/Shell.h"
#include "tests/finder/window/WindowTestSupport.h"
#include "windows/AboutUnit.h"
#include "windows/DMUnit.h"

using namespace corvane_test;

namespace {

std::vector<QWidget*> BottomButtons(TDeleteDuplicatesForm& F) {
    return {F.ScanNowButton, F.StopButton, F.FinishButton, F.BackButton, F.DeleteButton, F.ExportButton};
}

// Which bottom buttons are shown, as a string of their initials.
std::string ShownButtons(TDeleteDuplicatesForm& F) {
    std::string Out;
    const char* Initials = "SFfBDE";  // Scan, Stop, Finish, Back, Delete, Export
    int I = 0;
    for (QWidget* W : BottomButtons(F)) {
        if (!W->isHidden()) Out += Initials[I];
        ++I;
    }
    return Out;
}

} // namespace

TEST_F(WindowTest, FirstShowingIsBasicModeOnPageZero) {
    TDeleteDuplicatesForm& F = *Form;
    EXPECT_EQ(F.FMode, 1);
    EXPECT_EQ(F.FRunState, rsIdle);
    EXPECT_EQ(F.DataNotebook->currentIndex(), 0);
    EXPECT_TRUE(F.rbAllFiles->isChecked());
    EXPECT_TRUE(F.rbScanFileName->isChecked());
    EXPECT_EQ(F.rbScanFileName->text(), "Scan for same name");
    EXPECT_EQ(F.gboxOptions->title(), "Scan Criteria For Duplicates With The Same Name");
    EXPECT_EQ(ShownButtons(F), "S");
    EXPECT_TRUE(F.imgAddFileType->isHidden());
    EXPECT_EQ(F.FFileSortColumn, 3);
    EXPECT_EQ(F.FMailSortColumn, 2);
    EXPECT_EQ(F.FContactSortColumn, 0);
    EXPECT_EQ(F.FSortDirection, 1);
    EXPECT_EQ(F.abMainVersion->text(), TDeleteDuplicatesForm::VersionCaption(AppVersion));
}

TEST_F(WindowTest, FirstShowingHasTheRootUntickedWithTheUsableDrives) {
    TPlaceNode* R = Root();
    ASSERT_NE(R, nullptr);
    EXPECT_EQ(Form->tvDiskDir->topLevelItemCount(), 1);
    EXPECT_EQ(R->Text(), "My Computer");
    EXPECT_EQ(R->StateIndex, places::StateUnticked);
    EXPECT_EQ(R->ImageIndex, places::ImageRoot);
    EXPECT_EQ(R->Data, nullptr);
    EXPECT_TRUE(R->isExpanded());
    // Fixed drives and a removable one with room; never a full one, a network or a pseudo file system.
    ASSERT_EQ(R->Count(), 3);
    const QString Want[] = {"System", "Data", "STICK"};
    const std::string Paths[] = {"/", Tree.Root() + "/", "/media/stick/"};
    for (int I = 0; I < 3; ++I) {
        TPlaceNode* D = R->Child(I);
        EXPECT_EQ(D->Text(), Want[I]);
        ASSERT_NE(D->Data, nullptr);
        EXPECT_EQ(D->Data->Path, Paths[I]);
        EXPECT_EQ(D->Data->DisplayName, Want[I].toStdString());
        EXPECT_EQ(D->StateIndex, places::StateUnticked);
        EXPECT_EQ(D->ImageIndex, places::ImageDrive);
        EXPECT_EQ(D->Count(), 0);
    }
}

struct VersionCase {
    const char* Version;
    const char* Caption;
};

class VersionCaptionTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionCaptionTest, MajorAndMinorOnly) {
    EXPECT_EQ(TDeleteDuplicatesForm::VersionCaption(GetParam().Version).toStdString(), GetParam().Caption);
}

INSTANTIATE_TEST_SUITE_P(Versions, VersionCaptionTest,
                         ::testing::Values(VersionCase{"2.3.5.48", "v2.3"}, VersionCase{"1.0.0.1", "v1.0"},
                                           VersionCase{"10.20.30", "v10.20"}, VersionCase{"1.2", "v1."},
                                           VersionCase{"7", "v."}, VersionCase{"", "v."},
                                           VersionCase{".5.", "v.5"}));

TEST_F(WindowTest, VersionLabelComesFromTheProgramVersion) {
    const std::string Saved = AppVersion;
    AppVersion = "2.3.5.48";
    TDeleteDuplicatesForm Other;
    EXPECT_EQ(Other.abMainVersion->text(), "v2.3");
    AppVersion = Saved;
}

TEST_F(WindowTest, BorderlessRoundedWindowOfTheDesignSize) {
    EXPECT_EQ(Form->size(), QSize(700, 553));
    EXPECT_TRUE(Form->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(Form->windowTitle(), "Corvane");
    const QRegion Shape = Form->mask();
    EXPECT_FALSE(Shape.contains(QPoint(0, 0)));
    EXPECT_FALSE(Shape.contains(QPoint(0, 552)));
    EXPECT_TRUE(Shape.contains(QPoint(350, 276)));
    EXPECT_TRUE(Shape.contains(QPoint(0, 276)));
    EXPECT_TRUE(Shape.contains(QPoint(699, 276)));
}

struct ButtonCase {
    const char* Name;
    TImageEx* TDeleteDuplicatesForm::*Button;
    TImageList TDM::*List;
    int Normal;
};

class PictureButtonTest : public WindowTest, public ::testing::WithParamInterface<ButtonCase> {};

TEST_P(PictureButtonTest, HoverShowsTheOddPictureAndLeaveTheEven) {
    const ButtonCase& C = GetParam();
    TImageEx* B = Form.get()->*C.Button;
    const TImageList& List = DM->*C.List;
    ASSERT_GT(List.Count(), C.Normal + 1) << C.Name;
    Form->MinBtnMouseEnter(B);
    EXPECT_TRUE(SamePicture(B->Picture(), List.Pixmap(C.Normal + 1))) << C.Name;
    Form->MinBtnMouseLeave(B);
    EXPECT_TRUE(SamePicture(B->Picture(), List.Pixmap(C.Normal))) << C.Name;
    // The control's own events reach the same handlers.
    SendEnter(B);
    EXPECT_TRUE(SamePicture(B->Picture(), List.Pixmap(C.Normal + 1))) << C.Name;
    SendLeave(B);
    EXPECT_TRUE(SamePicture(B->Picture(), List.Pixmap(C.Normal))) << C.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, PictureButtonTest,
    ::testing::Values(ButtonCase{"MinBtn", &TDeleteDuplicatesForm::MinBtn, &TDM::MinMaxImageList, 0},
                      ButtonCase{"CloseBtn", &TDeleteDuplicatesForm::CloseBtn, &TDM::MinMaxImageList, 2},
                      ButtonCase{"BasicBtn", &TDeleteDuplicatesForm::BasicBtn, &TDM::UpdateRegs, 0},
                      ButtonCase{"OutlookBtn", &TDeleteDuplicatesForm::OutlookBtn, &TDM::UpdateRegs, 2},
                      ButtonCase{"MusicBtn", &TDeleteDuplicatesForm::MusicBtn, &TDM::UpdateRegs, 4},
                      ButtonCase{"PhotoBtn", &TDeleteDuplicatesForm::PhotoBtn, &TDM::UpdateRegs, 8},
                      ButtonCase{"CrushBtn", &TDeleteDuplicatesForm::CrushBtn, &TDM::UpdateRegs, 10},
                      ButtonCase{"BackButton", &TDeleteDuplicatesForm::BackButton, &TDM::MainImageList, 0},
                      ButtonCase{"DeleteButton", &TDeleteDuplicatesForm::DeleteButton, &TDM::MainImageList, 2},
                      ButtonCase{"ExportButton", &TDeleteDuplicatesForm::ExportButton, &TDM::MainImageList, 4},
                      ButtonCase{"imgAddFileType", &TDeleteDuplicatesForm::imgAddFileType, &TDM::SetImages, 0},
                      ButtonCase{"ScanNowButton", &TDeleteDuplicatesForm::ScanNowButton, &TDM::MainImageList_big, 0},
                      ButtonCase{"StopButton", &TDeleteDuplicatesForm::StopButton, &TDM::MainImageList_big, 2},
                      ButtonCase{"FinishButton", &TDeleteDuplicatesForm::FinishButton, &TDM::MainImageList_big, 4}),
    [](const ::testing::TestParamInfo<ButtonCase>& I) { return std::string(I.param.Name); });

TEST_F(WindowTest, FirstShowingGivesEveryButtonItsNormalPicture) {
    EXPECT_TRUE(SamePicture(Form->BasicBtn->Picture(), DM->UpdateRegs.Pixmap(0)));
    EXPECT_TRUE(SamePicture(Form->CrushBtn->Picture(), DM->UpdateRegs.Pixmap(10)));
    EXPECT_TRUE(SamePicture(Form->StopButton->Picture(), DM->MainImageList_big.Pixmap(2)));
    EXPECT_TRUE(SamePicture(Form->CloseBtn->Picture(), DM->MinMaxImageList.Pixmap(2)));
}

TEST_F(WindowTest, OtherSendersChangeNoPicture) {
    const QPixmap Before = Form->BasicBtn->Picture();
    Form->MinBtnMouseEnter(Form->labHelp);
    Form->MinBtnMouseEnter(nullptr);
    Form->MinBtnMouseLeave(Form->imgHeader);
    EXPECT_TRUE(SamePicture(Form->BasicBtn->Picture(), Before));
    EXPECT_FALSE(Form->imgHeader->Picture().isNull());
}

TEST_F(WindowTest, LinksUnderlineWhileHovered) {
    for (TLabelEx* L : {Form->labUpdate, Form->labOptions, Form->labAbout, Form->labHelp, Form->labAddFile,
                        Form->labAddFolder, Form->labRemoveItem}) {
        SendEnter(L);
        EXPECT_TRUE(L->font().underline()) << L->text().toStdString();
        SendLeave(L);
        EXPECT_FALSE(L->font().underline()) << L->text().toStdString();
    }
    // Another sender is ignored.
    QFont Before = Form->abMainVersion->font();
    Form->labUpdateMouseEnter(Form->abMainVersion);
    EXPECT_EQ(Form->abMainVersion->font(), Before);
}

TEST_F(WindowTest, HeaderTextsAndPlaces) {
    EXPECT_EQ(Form->labUpdate->text(), "Update");
    EXPECT_EQ(Form->labOptions->text(), "Options");
    EXPECT_EQ(Form->labAbout->text(), "About");
    EXPECT_EQ(Form->labHelp->text(), "Help");
    EXPECT_EQ(Form->labHelp->pos(), QPoint(650, 63));
    EXPECT_EQ(Form->BasicBtn->geometry(), QRect(91, 60, 74, 64));
    EXPECT_EQ(Form->CrushBtn->geometry(), QRect(402, 60, 74, 64));
    EXPECT_EQ(Form->CloseBtn->geometry(), QRect(672, 7, 22, 15));
    EXPECT_EQ(Form->TopPanel->height(), 125);
    EXPECT_EQ(Form->panDriveDir->width(), 256);
    EXPECT_EQ(Form->panBottomButton->height(), 41);
}

TEST_F(WindowTest, HelpOpensTheVendorsHelpPage) {
    std::vector<std::string> Opened;
    plat::TShellHooks Hooks;
    Hooks.Open = [&](const std::string& T) { Opened.push_back(T); };
    plat::SetShellHooks(Hooks);
    SendClick(Form->labHelp);
    plat::SetShellHooks({});
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_EQ(Opened[0], std::string(VendorSite) + "/help");
}

TEST_F(WindowTest, ModeButtonClickSwitchesAndTheHeaderDoesNotDrag) {
    SendClick(Form->MusicBtn);
    EXPECT_EQ(Form->FMode, 3);
    SendClick(Form->BasicBtn);
    EXPECT_EQ(Form->FMode, 1);
}

TEST_F(WindowTest, CloseButtonClosesTheWindow) {
    SendClick(Form->CloseBtn);
    EXPECT_FALSE(Form->isVisible());
}

TEST_F(WindowTest, StopRequestsTheEndOfARun) {
    Form->FRunState = rsRunning;
    Form->StopButtonClick(Form->StopButton);
    EXPECT_EQ(Form->FRunState, rsStopRequested);
}

// ---- the reset between runs ----

TEST_F(WindowTest, BackLeavesPageZeroWithFreshUntickedDrives) {
    TDeleteDuplicatesForm& F = *Form;
    Tree.Dir("a/a1");
    TPlaceNode* Data = Drive("Data");
    ClickNode(Root(), NodePart::State);
    ClickNode(Data, NodePart::Label);
    ASSERT_EQ(Data->Count(), 1);
    // As a run leaves it: results page, its buttons, a running state.
    F.DataNotebook->setCurrentIndex(2);
    F.ScanNowButton->hide();
    for (TImageEx* B : {F.BackButton, F.DeleteButton, F.ExportButton}) B->show();
    F.FRunState = rsRunning;
    F.FGroupList.push_back(std::make_unique<finder::TSearchStat>());
    F.FRowList.push_back(std::make_unique<finder::TSearchResult>());
    F.ScanMessage->setText("/somewhere");
    F.abStatus->setText("3 duplicate groups");

    SendClick(F.BackButton);
    EXPECT_EQ(F.DataNotebook->currentIndex(), 0);
    EXPECT_EQ(ShownButtons(F), "S");
    EXPECT_EQ(F.FRunState, rsIdle);
    EXPECT_TRUE(F.FGroupList.empty());
    EXPECT_TRUE(F.FRowList.empty());
    EXPECT_TRUE(F.ScanMessage->text().isEmpty());
    EXPECT_TRUE(F.abStatus->text().isEmpty());
    EXPECT_EQ(Root()->StateIndex, places::StateUnticked);
    ASSERT_EQ(Root()->Count(), 3);
    for (int I = 0; I < 3; ++I) {
        EXPECT_EQ(Root()->Child(I)->StateIndex, places::StateUnticked);
        EXPECT_EQ(Root()->Child(I)->Count(), 0);
    }
}

TEST_F(WindowTest, FinishShowsThePlacesOnlyInTheFileModes) {
    const std::pair<int, bool> Cases[] = {{1, true}, {2, false}, {3, true}, {4, true}, {5, false}};
    for (auto [Mode, Shown] : Cases) {
        Form->SwitchMode(uint16_t(Mode));
        Form->DataNotebook->setCurrentIndex(3);
        Form->ScanNowButton->hide();
        Form->FinishButton->show();
        ClickNode(Root(), NodePart::State);
        SendClick(Form->FinishButton);
        EXPECT_EQ(!Form->panDriveDir->isHidden(), Shown) << Mode;
        EXPECT_EQ(Form->DataNotebook->currentIndex(), 0) << Mode;
        EXPECT_EQ(ShownButtons(*Form), "S") << Mode;
        EXPECT_EQ(Root()->StateIndex, places::StateUnticked) << Mode;
        EXPECT_EQ(Root()->Child(0)->StateIndex, places::StateUnticked) << Mode;
    }
}

TEST_F(WindowTest, BackKeepsAStoppedOrFinishedStateOnlyUntilTheReset) {
    for (uint8_t State : {rsIdle, rsRunning, rsStopRequested, rsFinished}) {
        Form->FRunState = State;
        Form->BackButtonClick(nullptr);
        EXPECT_EQ(Form->FRunState, rsIdle) << int(State);
    }
}

TEST_F(WindowTest, ResetRestoresTheCriteriaButKeepsTheProtections) {
    TDeleteDuplicatesForm& F = *Form;
    F.rbScanFileBye->click();
    F.rbVideoMovies->click();
    for (TCheckBox* C : {F.cbFileSize, F.cbFileModifyTime, F.cbUserFileSize, F.cbZero, F.cbSelectAllDel}) C->click();
    F.cbSystemPath->click();  // unticked by the user
    F.sedUserFileSize->setValue(500);
    F.rbDeleteFile->click();
    F.rbLinkman->setChecked(true);

    F.ResetPages();
    EXPECT_TRUE(F.rbScanFileName->isChecked());
    EXPECT_FALSE(F.rbScanFileBye->isChecked());
    EXPECT_TRUE(F.rbAllFiles->isChecked());
    EXPECT_FALSE(F.rbVideoMovies->isChecked());
    for (TCheckBox* C : {F.cbFileSize, F.cbFileModifyTime, F.cbUserFileSize, F.cbSelectAllDel})
        EXPECT_FALSE(C->isChecked()) << C->text().toStdString();
    EXPECT_EQ(F.sedUserFileSize->value(), 10);
    EXPECT_TRUE(F.rbDeleteToRec->isChecked());
    EXPECT_FALSE(F.rbDeleteFile->isChecked());
    // Left as the user chose them.
    EXPECT_TRUE(F.cbZero->isChecked());
    EXPECT_FALSE(F.cbSystemPath->isChecked());
    EXPECT_TRUE(F.rbLinkman->isChecked());
    // The reset's own radio change ran the criteria handler.
    EXPECT_EQ(F.gboxOptions->title(), "Scan Criteria For Duplicates With The Same Name");
}

struct SummaryCase {
    int Mode;
    const char* Line1;
    const char* Line2;
    const char* Line3;
};

class ResetSummaryTest : public WindowTest, public ::testing::WithParamInterface<SummaryCase> {};

TEST_P(ResetSummaryTest, BackWritesTheModesZeroLines) {
    const SummaryCase& C = GetParam();
    Form->SwitchMode(uint16_t(C.Mode));
    Form->DelStatus3->setStyleSheet("");
    QPalette P = Form->DelStatus3->palette();
    P.setColor(QPalette::WindowText, Qt::red);
    Form->DelStatus3->setPalette(P);
    Form->BackButtonClick(nullptr);
    EXPECT_EQ(Form->DelStatus1->text().toStdString(), C.Line1);
    EXPECT_EQ(Form->DelStatus2->text().toStdString(), C.Line2);
    EXPECT_EQ(Form->DelStatus3->text().toStdString(), C.Line3);
    EXPECT_EQ(Form->DelStatus3->palette().color(QPalette::WindowText), QColor(Qt::black));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ResetSummaryTest,
    ::testing::Values(
        SummaryCase{1, "0 files have been scanned. 0 files were selected for deletion.",
                    "0 files have been deleted successfully", "Fail to delete 0 files"},
        SummaryCase{2, "0 mails have been scanned. 0 mails were selected for deletion.",
                    "0 mails have been deleted successfully", "Fail to delete 0 mails"},
        SummaryCase{5, "0 files have been scanned. 0 files were selected for deletion.",
                    "0 files have been deleted successfully", "Fail to delete 0 files"}));

TEST_F(WindowTest, ResetEmptiesTheSummaryAndDropsTickedShredderRows) {
    Form->SwitchMode(5);
    auto Add = [&](const QString& Path, bool Ticked) {
        auto* It = new QTreeWidgetItem(Form->EraseListView, {Path, "File"});
        It->setCheckState(0, Ticked ? Qt::Checked : Qt::Unchecked);
    };
    Add("/a", true);
    Add("/b", false);
    Add("/c", true);
    Add("/d", false);
    new QTreeWidgetItem(Form->FinishListView, {"/x", "Succeeded"});
    Form->SwitchMode(1);
    ASSERT_EQ(Form->EraseListView->topLevelItemCount(), 2);
    EXPECT_EQ(Form->EraseListView->topLevelItem(0)->text(0), "/b");
    EXPECT_EQ(Form->EraseListView->topLevelItem(1)->text(0), "/d");
    EXPECT_EQ(Form->FinishListView->topLevelItemCount(), 0);
}

TEST_F(WindowTest, RemoveItemRemovesTheTickedRowsNotTheSelected) {
    Form->SwitchMode(5);
    for (const char* P : {"/a", "/b", "/c"}) {
        auto* It = new QTreeWidgetItem(Form->EraseListView, {P, "File"});
        It->setCheckState(0, P[1] == 'b' ? Qt::Checked : Qt::Unchecked);
    }
    Form->EraseListView->topLevelItem(0)->setSelected(true);
    SendClick(Form->labRemoveItem);
    ASSERT_EQ(Form->EraseListView->topLevelItemCount(), 2);
    EXPECT_EQ(Form->EraseListView->topLevelItem(0)->text(0), "/a");
    EXPECT_EQ(Form->EraseListView->topLevelItem(1)->text(0), "/c");
}

TEST_F(WindowTest, ShredderHeaderClickSortsByThatColumnKeepingTicks) {
    Form->SwitchMode(5);
    for (const char* P : {"/d", "/c", "/b"}) {
        auto* It = new QTreeWidgetItem(Form->EraseListView, {P, P[1] == 'c' ? "File" : "Folder"});
        It->setCheckState(0, P[1] == 'd' ? Qt::Checked : Qt::Unchecked);
    }
    QHeaderView* H = Form->EraseListView->header();
    const auto Order = [&] {
        QString S;
        for (int I = 0; I < Form->EraseListView->topLevelItemCount(); ++I)
            S += Form->EraseListView->topLevelItem(I)->text(0);
        return S;
    };
    SendClick(H->viewport(), QPoint(H->sectionViewportPosition(1) + 10, H->height() / 2));
    EXPECT_EQ(Order(), "/c/d/b");
    SendClick(H->viewport(), QPoint(H->sectionViewportPosition(0) + 10, H->height() / 2));
    EXPECT_EQ(Order(), "/b/c/d");
    EXPECT_EQ(Form->EraseListView->topLevelItem(2)->checkState(0), Qt::Checked);
}

TEST_F(WindowTest, ResizeFitsTheFirstColumns) {
    Form->FormResize(nullptr);
    const TVirtualListView* L = Form->DuplicatesListView;
    ASSERT_EQ(L->ColumnCount(), 6);
    EXPECT_EQ(L->Column(0).Width, L->width() - (55 + 105 + 105 + 43 + 20));
    EXPECT_EQ(Form->FinishListView->columnWidth(0), Form->FinishListView->width() - (120 + 20));
    // Without columns the results list is left as it is.
    Form->SwitchMode(5);
    Form->FormResize(nullptr);
    EXPECT_EQ(Form->DuplicatesListView->ColumnCount(), 0);
}

TEST_F(WindowTest, DraggingTheHeaderMovesTheWindow) {
    // Screen positions are taken before the window moves, as a real mouse gives them.
    auto Send = [](QWidget* W, QEvent::Type T, const QPoint& Global, Qt::MouseButton B, Qt::MouseButtons Bs) {
        QMouseEvent E(T, QPointF(W->mapFromGlobal(Global)), QPointF(Global), B, Bs, Qt::NoModifier);
        QApplication::sendEvent(W, &E);
    };
    const QPoint Start = Form->pos();
    for (QWidget* W : std::initializer_list<QWidget*>{Form->imgHeader, Form->abMainVersion}) {
        const QPoint From = Form->pos();
        const QPoint G = W->mapToGlobal(QPoint(5, 5));
        Send(W, QEvent::MouseButtonPress, G, Qt::LeftButton, Qt::LeftButton);
        Send(W, QEvent::MouseMove, G + QPoint(20, 10), Qt::NoButton, Qt::LeftButton);
        Send(W, QEvent::MouseButtonRelease, G + QPoint(40, 20), Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(Form->pos(), From + QPoint(40, 20));
    }
    // Other buttons, and moves after the release, leave the window where it is.
    const QPoint Moved = Form->pos();
    const QPoint G = Form->imgHeader->mapToGlobal(QPoint(5, 5));
    Send(Form->imgHeader, QEvent::MouseMove, G + QPoint(80, 80), Qt::NoButton, Qt::NoButton);
    Send(Form->imgHeader, QEvent::MouseButtonPress, G, Qt::RightButton, Qt::RightButton);
    Send(Form->imgHeader, QEvent::MouseMove, G + QPoint(60, 60), Qt::NoButton, Qt::RightButton);
    Send(Form->imgHeader, QEvent::MouseButtonRelease, G + QPoint(60, 60), Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(Form->pos(), Moved);
    EXPECT_NE(Moved, Start);
}

TEST_F(WindowTest, AboutOpensTheAboutWindowModally) {
    bool Seen = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* W = QApplication::activeModalWidget()) {
            Seen = dynamic_cast<TAboutForm*>(W) != nullptr;
            W->close();
        }
    });
    SendClick(Form->labAbout);
    EXPECT_TRUE(Seen);
    EXPECT_TRUE(Form->isVisible());
}

TEST_F(WindowTest, ResultListTellsAClickOnTheTickPicture) {
    TVirtualListView* L = Form->DuplicatesListView;
    L->OnData = [](TListItem& I) {
        I.Caption = I.Index == 0 ? "group" : "member";
        I.SubItems = {"1 KB", "", "", "1", I.Index == 0 ? "0" : "1"};
        I.ImageIndex = 0;
        I.Indent = I.Index == 0 ? 0 : 1;
    };
    L->SetItemCount(2);
    Form->DataNotebook->setCurrentIndex(2);
    QApplication::processEvents();
    const int W = L->SmallImageWidth;
    for (int Row = 0; Row < 2; ++Row) {
        const QRect Cell = L->visualRect(L->model()->index(Row, 0));
        ASSERT_TRUE(Cell.isValid());
        // Scan the row's first pixels: the picture is one contiguous run, after the indent.
        int First = -1, Last = -1;
        for (int X = Cell.left(); X < Cell.left() + 4 * W; ++X)
            if (L->OnItemImage(QPoint(X, Cell.center().y()))) {
                if (First < 0) First = X;
                Last = X;
            }
        ASSERT_GE(First, 0) << Row;
        EXPECT_EQ(Last - First + 1, W) << Row;
        EXPECT_GE(First - Cell.left(), Row * W) << Row;  // members stand one picture to the right
        EXPECT_EQ(L->ItemAt(QPoint(First, Cell.center().y())), Row);
        EXPECT_FALSE(L->OnItemImage(QPoint(Cell.left() + 5 * W, Cell.center().y()))) << Row;
    }
    EXPECT_EQ(L->Item(1).Caption, "member");
    EXPECT_EQ(L->Item(5).Caption, "");  // past the end the owner is not asked
}
