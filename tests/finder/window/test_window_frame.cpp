// The window before any run: the first showing, the modes and what each
// shows, the option handlers and the options as the scan takes
// them, the places tree, the shredder's list and the reset between runs.
#include "tests/finder/window/WindowTestSupport.h"

using namespace corvane_test;

TEST_F(WindowTest, FirstShowingIsAnIdleBasicModeWithTheUsableDrivesUnticked) {
    EXPECT_EQ(Form->FMode, 1);
    EXPECT_EQ(RunView(), "0 S idle");
    EXPECT_EQ(Root()->StateIndex, places::StateUnticked);
    EXPECT_EQ(ChildNames(Root()), (std::vector<std::string>{"System", "Data"}));  // not the full drive
    EXPECT_EQ(Drive("Data")->StateIndex, places::StateUnticked);
}

TEST(VersionCaption, MajorAndMinorOnly) {
    const std::pair<const char*, const char*> Cases[] = {
        {"2.3.5.48", "v2.3"}, {"10.20.30", "v10.20"}, {"1.2", "v1."}, {"7", "v."}, {"", "v."}, {".5.", "v.5"}};
    for (const auto& [Version, Caption] : Cases)
        EXPECT_EQ(TDeleteDuplicatesForm::VersionCaption(Version).toStdString(), Caption) << Version;
}

// ---- the modes -------------------------------------------------------------

struct VisibilityCase {
    const char* Name;
    int Mode;
    // panDriveDir panDFile panPFile panObject rbScanTitle rbScanSimilar panFilter pan_Filter_Basic
    // pan_Filter_Music pan_Filter_Photo panAlso cbMailSender panNotScan cbSystemFile panEmailPhoto
    // gboxDelOption, the counters; S shown, - hidden.
    const char* Row;
};

class ModeVisibilityTest : public WindowTest, public ::testing::WithParamInterface<VisibilityCase> {};

TEST_P(ModeVisibilityTest, PanelsFollowTheModeAndTheResultsAreEmptied) {
    TDeleteDuplicatesForm& F = *Form;
    // Entered from another mode, with results on show.
    F.SwitchMode(GetParam().Mode == 1 ? 2 : 1);
    F.DataNotebook->setCurrentIndex(2);
    F.DuplicatesListView->SetItemCount(4);
    F.FGroupList.push_back(std::make_unique<finder::TSearchStat>());
    F.SwitchMode(uint16_t(GetParam().Mode));
    EXPECT_EQ(RunView(), "0 S idle");
    EXPECT_TRUE(F.FMode == GetParam().Mode && F.DuplicatesListView->ItemCount() == 0 && F.FGroupList.empty());
    const QWidget* Controls[] = {F.panDriveDir,      F.panDFile,         F.panPFile,       F.panObject,
                                 F.rbScanTitle,      F.rbScanSimilar,    F.panFilter,      F.pan_Filter_Basic,
                                 F.pan_Filter_Music, F.pan_Filter_Photo, F.panAlso,        F.cbMailSender,
                                 F.panNotScan,       F.cbSystemFile,     F.panEmailPhoto,  F.gboxDelOption,
                                 F.labGroup};
    std::string Shown;
    for (const QWidget* W : Controls) Shown += W->isHidden() ? '-' : 'S';
    EXPECT_EQ(Shown, GetParam().Row);
}

// In Outlook mode the e-mails (the default) decide rbScanTitle and panAlso.
INSTANTIATE_TEST_SUITE_P(Modes, ModeVisibilityTest,
                         ::testing::Values(VisibilityCase{"Basic", 1, "SS----SS--S-SS-SS"},
                                           VisibilityCase{"Outlook", 2, "-S-S------SS-SS-S"},
                                           VisibilityCase{"Music", 3, "SS--S-S-S-S-S--SS"},
                                           VisibilityCase{"Photo", 4, "SS---SS--SS-S--SS"},
                                           VisibilityCase{"Crush", 5, "--S-------S-S--S-"}),
                         [](const auto& I) { return std::string(I.param.Name); });

TEST_F(WindowTest, SongTitleAndSimilarScansForceTheirSpecificTypesUntilLeft) {
    TDeleteDuplicatesForm& F = *Form;
    F.SwitchMode(3);
    F.rbScanTitle->click();
    EXPECT_TRUE(F.rbMusicSpec->isChecked() && F.gboxSpecMusic->isEnabled());
    EXPECT_FALSE(F.rbMusicAll->isEnabled());
    EXPECT_FALSE(F.cbMailSender->isHidden());  // "Same artist"
    F.SwitchMode(1);  // the reset checks the name scan while the mode is still 3
    F.SwitchMode(3);
    EXPECT_TRUE(F.rbMusicAll->isEnabled() && F.rbMusicAll->isChecked() && F.cbMailSender->isHidden());

    F.SwitchMode(4);
    F.rbScanSimilar->click();
    EXPECT_TRUE(F.chkSimilarty->isChecked() && F.rbPhotoSpec->isChecked() && !F.rbPhotoAll->isEnabled());
    F.rbScanFileBye->click();
    EXPECT_TRUE(!F.chkSimilarty->isEnabled() && F.rbPhotoAll->isChecked() && F.rbPhotoAll->isEnabled());
}

TEST_F(WindowTest, ContactsHideTheMailOptionsUntilEmailsAreChosenAgain) {
    TDeleteDuplicatesForm& F = *Form;
    F.SwitchMode(2);
    F.rbLinkman->click();
    EXPECT_TRUE(F.panAlso->isHidden());
    EXPECT_FALSE(F.rbScanTitle->isHidden());
    F.SwitchMode(1);
    EXPECT_FALSE(F.panAlso->isHidden() || F.panNotScan->isHidden());
    F.SwitchMode(2);  // the contacts are still chosen
    EXPECT_TRUE(F.rbLinkman->isChecked() && F.panAlso->isHidden());
    F.rbScanFileBye->click();
    F.rbEmail->click();
    EXPECT_TRUE(F.rbScanFileName->isChecked());
    EXPECT_FALSE(F.panAlso->isHidden());
    EXPECT_TRUE(F.rbScanTitle->isHidden());
}

TEST_F(WindowTest, ZeroSizeFilterChoosesTheContentScan) {
    TDeleteDuplicatesForm& F = *Form;
    F.cbZero->click();
    F.rbZero->click();
    EXPECT_FALSE(F.cbZero->isChecked());
    EXPECT_TRUE(F.rbScanFileBye->isChecked());
    // Another kind may be chosen after; a click on the checked filter changes nothing.
    F.rbScanFileName->click();
    F.cbZero->click();
    F.rbZero->click();
    EXPECT_TRUE(F.rbScanFileName->isChecked() && F.cbZero->isChecked());
}

// ---- the places tree and the options as the scan receives them ------------

class PlacesWindowTest : public WindowTest {
protected:
    void SetUp() override {
        Tree.Dir("a/a1/a1x/a1xy");
        Tree.Dir("a/a2");
        Tree.Dir("b");
        Tree.Dir(".hidden");
        Tree.File("file.txt", {.Content = "x"});
        Tree.Link("link", "a");
        WindowTest::SetUp();
        Data = Drive("Data");
        ASSERT_NE(Data, nullptr);
    }
    TPlaceNode* Data = nullptr;
};

struct OptionCase {
    const char* Name;
    std::function<void(TDeleteDuplicatesForm&, TPlaceNode* Data)> Set;
    std::function<bool(const finder::TScanOptions&, const std::string& DataPath)> Holds;
};

class OptionsReachTheScan : public PlacesWindowTest, public ::testing::WithParamInterface<OptionCase> {};

TEST_P(OptionsReachTheScan, ControlSetsItsField) {
    GetParam().Set(*Form, Data);
    EXPECT_TRUE(GetParam().Holds(Form->ScanOptions(), Tree.Root() + "/"));
}

INSTANTIATE_TEST_SUITE_P(
    Controls, OptionsReachTheScan,
    ::testing::Values(
        OptionCase{"Music", [](auto& F, auto*) { F.rbMusic->click(); },
                   [](const auto& O, auto&) { return O.Match.Filter.BasicType == finder::TBasicType::Music; }},
        OptionCase{"Video", [](auto& F, auto*) { F.rbVideoMovies->click(); },
                   [](const auto& O, auto&) { return O.Match.Filter.BasicType == finder::TBasicType::VideoMovies; }},
        OptionCase{"SameDate", [](auto& F, auto*) { F.cbFileModifyTime->click(); },
                   [](const auto& O, auto&) { return O.Match.SameDate && !O.Match.SameSize; }},
        OptionCase{"SameSize", [](auto& F, auto*) { F.cbFileSize->click(); },
                   [](const auto& O, auto&) { return O.Match.SameSize && !O.Match.SameDate; }},
        OptionCase{"SkipZero", [](auto& F, auto*) { F.cbZero->click(); },
                   [](const auto& O, auto&) { return O.Match.Filter.SkipZero; }},
        OptionCase{"SystemFoldersProtectedByDefault", [](auto&, auto*) {},
                   [](const auto& O, auto&) {
                       return O.ProtectSystemFolders && O.WindowsDir == "/usr" && O.Match.Filter.ProtectSystemFiles;
                   }},
        OptionCase{"SystemFoldersUnprotected", [](auto& F, auto*) { F.cbSystemPath->click(); },
                   [](const auto& O, auto&) { return !O.ProtectSystemFolders && O.Match.Filter.ProtectSystemFiles; }},
        OptionCase{"SongTitleAndArtist",
                   [](auto& F, auto*) {
                       F.SwitchMode(3);
                       F.rbScanTitle->click();
                       F.cbMailSender->click();
                   },
                   [](const auto& O, auto&) {
                       return O.Match.Kind == finder::TScanKind::Title && O.Match.SameArtist &&
                              !O.Match.Filter.MusicAll;
                   }},
        // The up-down drives the read-only percentage the matcher reads.
        OptionCase{"SimilarityFromTheUpDown",
                   [](auto& F, auto*) {
                       F.SwitchMode(4);
                       F.rbScanSimilar->click();
                       F.UpDown1->setValue(75);
                   },
                   [](const auto& O, auto&) {
                       return O.Match.Kind == finder::TScanKind::Similar && O.Match.SimilarityOn &&
                              O.Match.SimilarityText == "75";
                   }},
        // A ticked, expanded drive with one child left ticked: its own files,
        // then that child with its subtree.
        OptionCase{"ExpandedFolderScansItsOwnFiles",
                   [](auto& F, TPlaceNode* Data) {
                       Data->StateIndex = places::StateTicked;
                       F.ExpandPlaceNode(Data);
                       for (int I = 0; I < Data->Count(); ++I)
                           if (Data->Child(I)->Text() != "a") Data->Child(I)->StateIndex = places::StateUnticked;
                   },
                   [](const auto& O, const std::string& Path) {
                       return O.Places.size() == 2 && O.Places[0].Path == Path && O.Places[0].FilesOnly &&
                              O.Places[1].Path == Path + "a/" && !O.Places[1].FilesOnly;
                   }}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(PlacesWindowTest, IconOrLabelListsTheFoldersWithAnyButtonAndEmptySpaceNothing) {
    ClickNode(Data, NodePart::Empty);
    EXPECT_EQ(Data->Count(), 0);
    ClickNode(Data, NodePart::Label);
    EXPECT_EQ(Data->Count(), 3);  // the folders alone
    ClickNode(ChildNamed(Data, "a"), NodePart::Icon, Qt::RightButton);
    EXPECT_EQ(ChildNamed(Data, "a")->Count(), 2);
    // A folder gone since the listing gets no children.
    ASSERT_EQ(::rmdir(Tree.Path("b").c_str()), 0);
    ClickNode(ChildNamed(Data, "b"), NodePart::Label);
    EXPECT_EQ(ChildNamed(Data, "b")->Count(), 0);
    // Only folders below a drive show the open picture when selected.
    for (TPlaceNode* N : {Root(), Data, ChildNamed(Data, "a")}) Form->tvDiskDirGetImageIndex(Form->tvDiskDir, N);
    EXPECT_EQ(Data->SelectedIndex, Data->ImageIndex);
    EXPECT_EQ(ChildNamed(Data, "a")->SelectedIndex, ChildNamed(Data, "a")->ImageIndex + 1);
}

TEST_F(PlacesWindowTest, TickReachesChildrenAndGrandchildrenOnlyAndListingsInheritIt) {
    ClickNode(Data, NodePart::Label);
    TPlaceNode* A = ChildNamed(Data, "a");
    ClickNode(A, NodePart::Label);
    TPlaceNode* A1 = ChildNamed(A, "a1");
    ClickNode(A1, NodePart::Label);
    ClickNode(Data, NodePart::State);
    EXPECT_EQ(A->StateIndex, places::StateTicked);
    EXPECT_EQ(A1->StateIndex, places::StateTicked);
    EXPECT_EQ(ChildNamed(A1, "a1x")->StateIndex, places::StateUnticked);  // deeper listed nodes keep theirs
    EXPECT_EQ(Root()->StateIndex, places::StateUnticked);                 // the parent never follows
    ClickNode(Data, NodePart::State);
    EXPECT_EQ(A1->StateIndex, places::StateUnticked);
    // A ticked folder lists its folders ticked; listing again starts afresh from its own state.
    ClickNode(A, NodePart::State);
    ClickNode(A, NodePart::Label);
    EXPECT_EQ(ChildNamed(A, "a2")->StateIndex, places::StateTicked);
    Tree.Dir("c");
    ClickNode(Data, NodePart::Label);
    EXPECT_EQ(Data->Count(), 4);
    for (int I = 0; I < Data->Count(); ++I) EXPECT_EQ(Data->Child(I)->StateIndex, places::StateUnticked);
}

// ---- the shredder's list and the reset between runs ------------------------

TEST_F(WindowTest, ShredderListSortsKeepingTicksRemovesTheTickedAndTheResetDropsThem) {
    Form->SwitchMode(5);
    AddErase("/d", "Folder", true);
    AddErase("/c", "File", false);
    AddErase("/b", "Folder", false);
    QHeaderView* H = Form->EraseListView->header();
    SendClick(H->viewport(), QPoint(H->sectionViewportPosition(1) + 10, H->height() / 2));
    EXPECT_EQ(ListTexts(Form->EraseListView, 0), "/c;/d;/b;");
    SendClick(H->viewport(), QPoint(H->sectionViewportPosition(0) + 10, H->height() / 2));
    EXPECT_EQ(ListTexts(Form->EraseListView, 0), "/b;/c;/d;");
    EXPECT_EQ(Form->EraseListView->topLevelItem(2)->checkState(0), Qt::Checked);
    Form->EraseListView->topLevelItem(0)->setSelected(true);
    SendClick(Form->labRemoveItem);  // the ticked rows go, not the selected
    EXPECT_EQ(ListTexts(Form->EraseListView, 0), "/b;/c;");
    AddErase("/x", "File", true);
    new QTreeWidgetItem(Form->FinishListView, {"/x", "Succeeded"});
    Form->SwitchMode(1);
    EXPECT_EQ(ListTexts(Form->EraseListView, 0), "/b;/c;");
    EXPECT_EQ(Form->FinishListView->topLevelItemCount(), 0);
}

// Back and Finish end a run's pages: page 0, an idle window, the criteria
// reset but the protections as the user left them, the drives listed afresh
// and unticked, and the places shown only in the file modes.
TEST_F(WindowTest, BackAndFinishResetTheRunButKeepTheProtections) {
    TDeleteDuplicatesForm& F = *Form;
    Tree.Dir("a/a1");
    ClickNode(Root(), NodePart::State);
    ClickNode(Drive("Data"), NodePart::Label);
    F.rbScanFileBye->click();
    F.rbVideoMovies->click();
    for (TCheckBox* C : {F.cbFileSize, F.cbFileModifyTime, F.cbUserFileSize, F.cbZero, F.cbSelectAllDel}) C->click();
    F.cbSystemPath->click();
    F.sedUserFileSize->setValue(500);
    F.rbDeleteFile->click();
    // As a run leaves it: the results page and its buttons, a running state.
    F.DataNotebook->setCurrentIndex(2);
    F.ScanNowButton->hide();
    for (TImageEx* B : {F.BackButton, F.DeleteButton, F.ExportButton}) B->show();
    F.FRunState = rsRunning;
    F.FGroupList.push_back(std::make_unique<finder::TSearchStat>());
    SendClick(F.BackButton);
    EXPECT_EQ(RunView(), "0 S idle");
    EXPECT_TRUE(F.FGroupList.empty());
    EXPECT_TRUE(F.rbScanFileName->isChecked() && F.rbAllFiles->isChecked() && F.rbDeleteToRec->isChecked());
    for (TCheckBox* C : {F.cbFileSize, F.cbFileModifyTime, F.cbUserFileSize, F.cbSelectAllDel})
        EXPECT_FALSE(C->isChecked()) << C->text().toStdString();
    EXPECT_EQ(F.sedUserFileSize->value(), 10);
    EXPECT_TRUE(F.cbZero->isChecked() && !F.cbSystemPath->isChecked());
    EXPECT_EQ(Root()->StateIndex, places::StateUnticked);
    EXPECT_EQ(Drive("Data")->StateIndex, places::StateUnticked);
    EXPECT_EQ(Drive("Data")->Count(), 0);
    for (auto [Mode, Shown] : {std::pair{1, true}, {2, false}, {3, true}, {4, true}, {5, false}}) {
        F.SwitchMode(uint16_t(Mode));
        F.DataNotebook->setCurrentIndex(3);
        F.ScanNowButton->hide();
        F.FinishButton->show();
        ClickNode(Root(), NodePart::State);
        SendClick(F.FinishButton);
        EXPECT_EQ(!F.panDriveDir->isHidden(), Shown) << Mode;
        EXPECT_EQ(RunView(), "0 S idle") << Mode;
        EXPECT_EQ(Root()->StateIndex, places::StateUnticked) << Mode;
        EXPECT_EQ(Drive("Data")->StateIndex, places::StateUnticked) << Mode;
    }
}
