// The five modes: which panels each shows, their captions and columns, and
// the option handlers that keep the choices consistent.
#include "tests/finder/window/WindowTestSupport.h"
#include "windows/DMUnit.h"

using namespace corvane_test;

namespace {

bool Shown(QWidget* W) { return !W->isHidden(); }

std::vector<std::pair<std::string, int>> Columns(const TVirtualListView* L) {
    std::vector<std::pair<std::string, int>> Out;
    for (int I = 0; I < L->ColumnCount(); ++I) Out.emplace_back(L->Column(I).Caption.toStdString(), L->Column(I).Width);
    return Out;
}

using ColumnList = std::vector<std::pair<std::string, int>>;

const ColumnList BasicColumns = {{"Name and Path", 310}, {"File Size", 55}, {"Modified", 105},
                                 {"Created", 105},      {"Group", 43},     {"ResultFlag", 0}};
const ColumnList MediaColumns = {{"Name and Path", 310}, {"File Size", 55}, {"Modified", 115},
                                 {"Created", 115},      {"Group", 45},     {"ResultFlag", 0}};
const ColumnList MailColumns = {{"Subject", 310}, {"Size", 65},      {"Received", 105}, {"From", 105},
                                {"Group", 45},    {"ResultFlag", 0}, {"EntryID", 0}};
const ColumnList ContactColumns = {{"Full Name", 200}, {"Nickname", 80},   {"Phone", 110}, {"Email Address", 200},
                                   {"Group", 45},      {"ResultFlag", 0}, {"EntryID", 0}};

} // namespace

// ---- the visibility table ----

struct VisibilityCase {
    int Mode;
    // panDriveDir panDFile panPFile panObject rbScanTitle rbScanSimilar panFilter
    // pan_Filter_Basic pan_Filter_Music pan_Filter_Photo panAlso cbMailSender
    // panNotScan cbSystemFile panEmailPhoto gboxDelOption counters
    const char* Row;
};

class ModeVisibilityTest : public WindowTest, public ::testing::WithParamInterface<VisibilityCase> {};

TEST_P(ModeVisibilityTest, PanelsFollowTheTable) {
    const VisibilityCase& C = GetParam();
    TDeleteDuplicatesForm& F = *Form;
    // Switch away first so the mode is entered from another one.
    F.SwitchMode(C.Mode == 1 ? 2 : 1);
    F.SwitchMode(uint16_t(C.Mode));
    EXPECT_EQ(F.FMode, C.Mode);
    const std::vector<QWidget*> Controls = {
        F.panDriveDir,      F.panDFile,         F.panPFile, F.panObject,    F.rbScanTitle,   F.rbScanSimilar,
        F.panFilter,        F.pan_Filter_Basic, F.pan_Filter_Music, F.pan_Filter_Photo, F.panAlso, F.cbMailSender,
        F.panNotScan,       F.cbSystemFile,     F.panEmailPhoto, F.gboxDelOption, F.labGroup};
    const char* Names[] = {"panDriveDir", "panDFile", "panPFile", "panObject", "rbScanTitle", "rbScanSimilar",
                           "panFilter", "pan_Filter_Basic", "pan_Filter_Music", "pan_Filter_Photo", "panAlso",
                           "cbMailSender", "panNotScan", "cbSystemFile", "panEmailPhoto", "gboxDelOption",
                           "counters"};
    ASSERT_EQ(std::string(C.Row).size(), Controls.size());
    for (size_t I = 0; I < Controls.size(); ++I)
        EXPECT_EQ(Shown(Controls[I]), C.Row[I] == 'S') << "mode " << C.Mode << " " << Names[I];
    for (QWidget* W : {F.abDuplicates, F.labGroupNum, F.abDupFiles}) EXPECT_EQ(Shown(W), C.Mode != 5);
    EXPECT_EQ(F.DataNotebook->currentIndex(), 0);
    EXPECT_FALSE(F.ScanNowButton->isHidden());
}

// In mode 2 the e-mail object (the default) decides rbScanTitle and panAlso.
INSTANTIATE_TEST_SUITE_P(Modes, ModeVisibilityTest,
                         ::testing::Values(VisibilityCase{1, "SS----SS--S-SS-SS"},
                                           VisibilityCase{2, "-S-S------SS-SS-S"},
                                           VisibilityCase{3, "SS--S-S-S-S-S--SS"},
                                           VisibilityCase{4, "SS---SS--SS-S--SS"},
                                           VisibilityCase{5, "--S-------S-S--S-"}));

// ---- captions, texts and columns ----

struct CaptionCase {
    int Mode;
    const char* Criteria;
    const char* FileName;
    const char* FileBye;
    const char* GroupNum;
    const char* FinishColumn;
    const char* Status1;
    const char* Hint;
    const char* Double;
    const char* ScanTitle;
    const ColumnList* Cols;
};

class ModeCaptionTest : public WindowTest, public ::testing::WithParamInterface<CaptionCase> {};

TEST_P(ModeCaptionTest, TextsAndColumnsOfTheMode) {
    const CaptionCase& C = GetParam();
    TDeleteDuplicatesForm& F = *Form;
    F.SwitchMode(C.Mode == 2 ? 5 : 2);
    F.SwitchMode(uint16_t(C.Mode));
    EXPECT_EQ(F.gboxOptions->title().toStdString(), C.Criteria);
    EXPECT_EQ(F.rbScanFileName->text().toStdString(), C.FileName);
    EXPECT_EQ(F.rbScanFileBye->text().toStdString(), C.FileBye);
    EXPECT_EQ(F.labGroupNum->text().toStdString(), C.GroupNum);
    EXPECT_EQ(F.FinishListView->headerItem()->text(0).toStdString(), C.FinishColumn);
    EXPECT_EQ(F.DelStatus1->text().toStdString(), C.Status1);
    EXPECT_EQ(F.panResult_Hint->text().toStdString(), C.Hint);
    EXPECT_EQ(F.labDouble->text().section('\n', 0, 0).toStdString(), C.Double);
    EXPECT_EQ(F.labScanTitle->text().toStdString(), C.ScanTitle);
    EXPECT_EQ(F.gboxDrive->title(), "Select Drives or Directories");
    EXPECT_EQ(Columns(F.DuplicatesListView), *C.Cols);
}

const ColumnList NoColumns;

INSTANTIATE_TEST_SUITE_P(
    Modes, ModeCaptionTest,
    ::testing::Values(
        CaptionCase{1, "Scan Criteria For Duplicates With The Same Name", "Scan for same name", "Scan for same byte",
                    "Files in duplicate groups:", "File",
                    "0 files have been found. 0 files were selected for deletion.",
                    "Please take caution before you delete the duplicate files.",
                    "* Double click to open  your specified directory", "Scanning in process", &BasicColumns},
        CaptionCase{2, "Scan Criteria For Duplicates With The Same Subject", "Scan for same subject",
                    "Scan for same content", "Emails in duplicate groups:", "Email",
                    "0 emails have been found. 0 emails were selected for deletion.",
                    "Please take caution before you delete the duplicate emails.",
                    "* Double click to open  your specified email", "Scanning in process", &MailColumns},
        CaptionCase{3, "Scan Criteria For Duplicates With The Same Name", "Scan for same file name",
                    "Scan for same byte", "Files in duplicate groups:", "File",
                    "0 files have been found. 0 files were selected for deletion.",
                    "Please take caution before you delete the duplicate files.",
                    "* Double click to open  your specified directory", "Scanning in process", &MediaColumns},
        CaptionCase{4, "Scan Criteria For Duplicates With The Same Name", "Scan for same file name",
                    "Scan for same byte", "Files in duplicate groups:", "File",
                    "0 files have been found. 0 files were selected for deletion.",
                    "Please take caution before you delete the duplicate files.",
                    "* Double click to open  your specified picture", "Scanning in process", &MediaColumns},
        CaptionCase{5, "", "Scan for same subject", "Scan for same byte", "Files in duplicate groups:", "File",
                    "0 items have been found. 0 items were selected for erasion.",
                    "Please take caution before you delete the duplicate files.",
                    "* Double click to open  your specified directory", "Erasing in process", &NoColumns}));

TEST_F(WindowTest, MusicModeCaptions) {
    Form->SwitchMode(3);
    EXPECT_EQ(Form->rbScanTitle->text(), "Scan for same song title");
    EXPECT_EQ(Form->cbMailSender->text(), "Same artist");
    Form->SwitchMode(2);
    EXPECT_EQ(Form->cbMailSender->text(), "Same sender");
}

TEST_F(WindowTest, OptionPanelsKeepTheirDesignTexts) {
    EXPECT_EQ(Form->rbAllFiles->text(), "All files");
    EXPECT_EQ(Form->rbZero->text(), "Zero-size files");
    EXPECT_EQ(Form->cbSystemFile->text(), "Protect other system files (*.sys,*.ocx,*.drv,*.dll)");
    EXPECT_EQ(Form->chkSimilarty->text(), "Similarity" + QString(26, ' ') + "%");
    EXPECT_EQ(Form->edtSimilarity->text(), "90");
    EXPECT_EQ(Form->UpDown1->minimum(), 1);
    EXPECT_EQ(Form->sedUserFileSize->maximum(), 1000000);
    EXPECT_EQ(Form->panFilter->height(), 125);
    EXPECT_EQ(Form->panNotScan->height(), 106);
    EXPECT_EQ(Form->EraseListView->headerItem()->text(0), "File/Path");
    EXPECT_EQ(Form->EraseListView->columnWidth(0), 550);
    // The up-down drives the read-only edit.
    Form->UpDown1->setValue(75);
    EXPECT_EQ(Form->edtSimilarity->text(), "75");
}

// ---- Outlook: e-mails or contacts ----

TEST_F(WindowTest, ContactsHideAlsoAndDontScanUntilAnotherModeShowsThem) {
    TDeleteDuplicatesForm& F = *Form;
    F.SwitchMode(2);
    F.rbLinkman->click();
    EXPECT_TRUE(F.panAlso->isHidden());
    EXPECT_TRUE(F.panNotScan->isHidden());
    EXPECT_FALSE(F.rbScanTitle->isHidden());
    EXPECT_EQ(F.rbScanFileName->text(), "Scan for same name");
    EXPECT_EQ(F.rbScanFileBye->text(), "Scan for same email");
    EXPECT_EQ(F.rbScanTitle->text(), "Scan for same nickname");
    EXPECT_EQ(F.gboxOptions->title(), "Scan Criteria For Duplicates With The Same Name");
    EXPECT_EQ(F.FinishListView->headerItem()->text(0), "Contact");
    EXPECT_EQ(F.DelStatus3->text(), "Fail to delete 0 Contacts.");
    EXPECT_EQ(Columns(F.DuplicatesListView), ContactColumns);
    EXPECT_TRUE(F.rbScanFileName->isChecked());

    // The criteria caption follows the contact kinds.
    F.rbScanTitle->click();
    EXPECT_EQ(F.gboxOptions->title(), "Scan Criteria For Duplicates With The Same Nickname");
    F.rbScanFileBye->click();
    EXPECT_EQ(F.gboxOptions->title(), "Scan Criteria For Duplicates With The Same Email");

    for (int Mode : {1, 3, 4}) {
        F.SwitchMode(uint16_t(Mode));
        EXPECT_FALSE(F.panAlso->isHidden()) << Mode;
        EXPECT_FALSE(F.panNotScan->isHidden()) << Mode;
    }
    // Back in Outlook mode the contacts are still chosen.
    F.SwitchMode(2);
    EXPECT_TRUE(F.rbLinkman->isChecked());
    EXPECT_TRUE(F.panAlso->isHidden());
    EXPECT_EQ(Columns(F.DuplicatesListView), ContactColumns);
}

TEST_F(WindowTest, EmailsCaptionFollowsTheScanKind) {
    TDeleteDuplicatesForm& F = *Form;
    F.SwitchMode(2);
    F.rbScanFileBye->click();
    EXPECT_EQ(F.gboxOptions->title(), "Scan Criteria For Duplicates With The Same Content");
    F.rbScanFileName->click();
    EXPECT_EQ(F.gboxOptions->title(), "Scan Criteria For Duplicates With The Same Subject");
    // Choosing e-mails again after contacts brings their columns back and the subject scan.
    F.rbLinkman->click();
    F.rbScanFileBye->click();
    F.rbEmail->click();
    EXPECT_TRUE(F.rbScanFileName->isChecked());
    EXPECT_EQ(Columns(F.DuplicatesListView), MailColumns);
    EXPECT_FALSE(F.panAlso->isHidden());
    EXPECT_TRUE(F.rbScanTitle->isHidden());
}

// ---- Music and Photo kinds ----

TEST_F(WindowTest, SongTitleScanWorksOnSpecificMusic) {
    TDeleteDuplicatesForm& F = *Form;
    F.SwitchMode(3);
    F.rbScanTitle->click();
    EXPECT_TRUE(F.rbMusicSpec->isChecked());
    EXPECT_TRUE(F.gboxSpecMusic->isEnabled());
    EXPECT_FALSE(F.rbMusicAll->isEnabled());
    EXPECT_FALSE(F.rbMusicAll->isChecked());
    EXPECT_FALSE(F.cbMailSender->isHidden());
    EXPECT_EQ(F.gboxOptions->title(), "Scan Criteria For Duplicates With The Song Title");

    F.rbScanFileName->click();
    EXPECT_TRUE(F.rbMusicAll->isEnabled());
    EXPECT_TRUE(F.rbMusicAll->isChecked());
    EXPECT_FALSE(F.rbMusicSpec->isChecked());
    EXPECT_FALSE(F.gboxSpecMusic->isEnabled());
    EXPECT_TRUE(F.cbMailSender->isHidden());
}

TEST_F(WindowTest, LeavingAMusicTitleScanReEnablesAllMusic) {
    TDeleteDuplicatesForm& F = *Form;
    F.SwitchMode(3);
    F.rbScanTitle->click();
    ASSERT_FALSE(F.rbMusicAll->isEnabled());
    F.SwitchMode(1);  // the reset checks the name scan while the mode is still 3
    EXPECT_TRUE(F.rbMusicAll->isEnabled());
    EXPECT_TRUE(F.rbMusicAll->isChecked());
    EXPECT_FALSE(F.gboxSpecMusic->isEnabled());
    F.SwitchMode(3);
    EXPECT_TRUE(F.rbMusicAll->isEnabled());
    EXPECT_TRUE(F.cbMailSender->isHidden());
}

TEST_F(WindowTest, SpecificMusicChosenByHandEnablesItsTypes) {
    TDeleteDuplicatesForm& F = *Form;
    F.SwitchMode(3);
    F.rbMusicSpec->click();
    EXPECT_TRUE(F.gboxSpecMusic->isEnabled());
    F.rbMusicAll->click();
    EXPECT_FALSE(F.gboxSpecMusic->isEnabled());
}

TEST_F(WindowTest, SimilarPictureScanTicksSimilarityAndForcesSpecificPictures) {
    TDeleteDuplicatesForm& F = *Form;
    F.SwitchMode(4);
    F.rbScanSimilar->click();
    EXPECT_TRUE(F.chkSimilarty->isChecked());
    EXPECT_TRUE(F.chkSimilarty->isEnabled());
    EXPECT_TRUE(F.rbPhotoSpec->isChecked());
    EXPECT_TRUE(F.goxSpecPhoto->isEnabled());
    EXPECT_FALSE(F.rbPhotoAll->isEnabled());
    EXPECT_EQ(F.gboxOptions->title(), "Scan Criteria For Duplicates By Similarity");

    F.rbScanFileBye->click();
    EXPECT_FALSE(F.chkSimilarty->isChecked());
    EXPECT_FALSE(F.chkSimilarty->isEnabled());
    EXPECT_TRUE(F.rbPhotoAll->isChecked());
    EXPECT_TRUE(F.rbPhotoAll->isEnabled());
    EXPECT_FALSE(F.goxSpecPhoto->isEnabled());
    EXPECT_EQ(F.gboxOptions->title(), "Scan Criteria For Duplicates By Byte-By-Byte Comparison");
}

TEST_F(WindowTest, LeavingAPhotoSimilarScanUnticksSimilarity) {
    TDeleteDuplicatesForm& F = *Form;
    F.SwitchMode(4);
    F.rbScanSimilar->click();
    F.SwitchMode(3);
    EXPECT_FALSE(F.chkSimilarty->isChecked());
    EXPECT_FALSE(F.chkSimilarty->isEnabled());
    EXPECT_TRUE(F.rbPhotoAll->isChecked());
}

// ---- Basic filters ----

TEST_F(WindowTest, ZeroSizeFilesSelectTheContentScan) {
    TDeleteDuplicatesForm& F = *Form;
    F.cbZero->click();
    ASSERT_TRUE(F.cbZero->isChecked());
    F.rbZero->click();
    EXPECT_FALSE(F.cbZero->isChecked());
    EXPECT_TRUE(F.rbScanFileBye->isChecked());
    EXPECT_FALSE(F.rbScanFileName->isChecked());
    EXPECT_EQ(F.gboxOptions->title(), "Scan Criteria For Duplicates By Byte-By-Byte Comparison");
    EXPECT_TRUE(F.imgAddFileType->isHidden());

    // The user may choose another kind; a click on the checked filter changes nothing.
    F.rbScanFileName->click();
    F.cbZero->click();
    F.rbZero->click();
    EXPECT_TRUE(F.rbScanFileName->isChecked());
    EXPECT_TRUE(F.cbZero->isChecked());

    // Leaving the zero-size filter by the reset does not touch "Skip zero-size files".
    F.SwitchMode(1);
    EXPECT_TRUE(F.rbAllFiles->isChecked());
    EXPECT_TRUE(F.cbZero->isChecked());
}

TEST_F(WindowTest, CustomTypesShowTheirPictureButton) {
    TDeleteDuplicatesForm& F = *Form;
    F.rbCustom->click();
    EXPECT_FALSE(F.imgAddFileType->isHidden());
    EXPECT_TRUE(SamePicture(F.imgAddFileType->Picture(), DM->SetImages.Pixmap(0)));
    for (TRadioButton* R : {F.rbDocumentfiles, F.rbPicturePhoto, F.rbMusic, F.rbVideoMovies, F.rbAllFiles}) {
        R->click();
        EXPECT_TRUE(F.imgAddFileType->isHidden()) << R->text().toStdString();
        EXPECT_TRUE(R->isChecked());
    }
    F.rbCustom->click();
    F.SwitchMode(3);  // the reset checks "All files" and hides the button again
    EXPECT_TRUE(F.imgAddFileType->isHidden());
}

TEST_F(WindowTest, RadioButtonsOfOnePanelExcludeEachOther) {
    TDeleteDuplicatesForm& F = *Form;
    F.rbVideoMovies->click();
    int Checked = 0;
    for (TRadioButton* R : {F.rbAllFiles, F.rbDocumentfiles, F.rbPicturePhoto, F.rbMusic, F.rbVideoMovies, F.rbCustom,
                            F.rbZero})
        Checked += R->isChecked();
    EXPECT_EQ(Checked, 1);
    // Another panel's buttons are their own group.
    EXPECT_TRUE(F.rbScanFileName->isChecked());
    EXPECT_TRUE(F.rbDeleteToRec->isChecked());
}

// ---- Crush ----

TEST_F(WindowTest, CrushModeShowsTheErasePicturesUntilItIsLeft) {
    TDeleteDuplicatesForm& F = *Form;
    F.SwitchMode(5);
    EXPECT_TRUE(SamePicture(F.ScanNowButton->Picture(), DM->MainImageList_big.Pixmap(6)));
    F.MinBtnMouseEnter(F.ScanNowButton);
    EXPECT_TRUE(SamePicture(F.ScanNowButton->Picture(), DM->MainImageList_big.Pixmap(7)));
    F.MinBtnMouseLeave(F.ScanNowButton);
    EXPECT_EQ(F.DuplicatesListView->ColumnCount(), 0);
    F.SwitchMode(1);
    EXPECT_TRUE(SamePicture(F.ScanNowButton->Picture(), DM->MainImageList_big.Pixmap(0)));
}

TEST_F(WindowTest, ModeSwitchEmptiesTheResultsAndReturnsToPageZero) {
    TDeleteDuplicatesForm& F = *Form;
    F.DataNotebook->setCurrentIndex(2);
    F.DuplicatesListView->OnData = [](TListItem& I) { I.Caption = "row"; };
    F.DuplicatesListView->SetItemCount(4);
    F.FGroupList.push_back(std::make_unique<finder::TSearchStat>());
    F.SwitchMode(4);
    EXPECT_EQ(F.DuplicatesListView->ItemCount(), 0);
    EXPECT_TRUE(F.FGroupList.empty());
    EXPECT_EQ(F.DataNotebook->currentIndex(), 0);
}

// ---- The options as the scan receives them ----

struct OptionCase {
    const char* Name;
    std::function<void(TDeleteDuplicatesForm&, TPlaceNode* Data)> Set;
    std::function<bool(const finder::TScanOptions&, const std::string& DataPath)> Holds;
};

void PrintTo(const OptionCase& C, std::ostream* Os) { *Os << C.Name; }

class OptionsReachTheScan : public WindowTest, public ::testing::WithParamInterface<OptionCase> {
protected:
    void SetUp() override {
        Tree.Dir("a");
        Tree.Dir("b");
        WindowTest::SetUp();
    }
};

TEST_P(OptionsReachTheScan, ControlSetsItsField) {
    TDeleteDuplicatesForm& F = *Form;
    F.SwitchMode(1);
    ASSERT_NE(Drive("Data"), nullptr);
    GetParam().Set(F, Drive("Data"));
    EXPECT_TRUE(GetParam().Holds(F.ScanOptions(), Tree.Root() + "/"));
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
        OptionCase{"SystemFoldersUnprotected", [](auto& F, auto*) { F.cbSystemPath->click(); },
                   [](const auto& O, auto&) { return !O.ProtectSystemFolders && O.Match.Filter.ProtectSystemFiles; }},
        // A ticked, expanded drive with one child unticked: its own files,
        // then the ticked child with its subtree.
        OptionCase{"ExpandedFolderScansItsOwnFiles",
                   [](auto& F, TPlaceNode* Data) {
                       Data->StateIndex = places::StateTicked;
                       F.ExpandPlaceNode(Data);
                       for (int I = 0; I < Data->Count(); ++I)
                           if (Data->Child(I)->Text() == "b") Data->Child(I)->StateIndex = places::StateUnticked;
                   },
                   [](const auto& O, const std::string& Path) {
                       return O.Places.size() == 2 && O.Places[0].Path == Path && O.Places[0].FilesOnly &&
                              O.Places[1].Path == Path + "a/" && !O.Places[1].FilesOnly;
                   }}),
    [](const auto& Info) { return std::string(Info.param.Name); });
