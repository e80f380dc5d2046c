#pragma once
// The main window: a borderless, rounded, skinned frame with five modes
// (Basic, Outlook, Music, Photo, Crush), the places tree, the option pages,
// the progress, results and summary pages, and the reset between runs.
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStringList>
#include <QTimer>
#include <QTreeWidget>
#include <QVariant>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "finder/window/FormControls.h"
#include "finder/window/ImageEx.h"
#include "finder/core/FileWipe.h"
#include "finder/core/OutlookResults.h"
#include "finder/core/OutlookScan.h"
#include "finder/core/PlacesTree.h"
#include "finder/core/ResultRows.h"
#include "finder/core/ScanCore.h"
#include "platform/FileTime.h"

class QTreeWidgetItem;

// Run state of a scan or erase run.
enum RunState : uint8_t { rsIdle = 0, rsRunning = 1, rsStopRequested = 2, rsFinished = 3 };

class TDeleteDuplicatesForm : public QWidget {
    Q_OBJECT
public:
    explicit TDeleteDuplicatesForm(QWidget* Parent = nullptr);
    ~TDeleteDuplicatesForm() override;

    // ---- Header and frame ----
    TPanel* TopPanel;
    TImageEx* imgHeader;
    TImageEx *MinBtn, *CloseBtn;
    TImageEx *BasicBtn, *OutlookBtn, *MusicBtn, *PhotoBtn, *CrushBtn;
    QLabel* abMainVersion;
    TLabelEx *labUpdate, *labOptions, *labAbout, *labHelp;
    TPanel* panHeader_Left;
    TImageEx *imgLeft1, *imgLeft_Top;
    TPanel *panLeft, *panRight, *BackPanel, *panLine_Top, *panLine_Bottom;
    TImageEx *imgLeftLine, *imtRightLine, *imgBottom;

    // ---- Places ----
    TPanel* panDriveDir;
    QGroupBox* gboxDrive;
    TPlacesTreeView* tvDiskDir;

    // ---- The notebook ----
    QStackedWidget* DataNotebook;

    // Page 0: options.
    QGroupBox* gboxOptions;
    TPanel* panDFile;
    TPanel *panObject, *panMode, *panFilter, *panAlso, *panEmailPhoto, *panNotScan;
    TRadioButton *rbEmail, *rbLinkman;
    TRadioButton *rbScanFileName, *rbScanFileBye, *rbScanTitle, *rbScanSimilar;
    TPanel *pan_Filter_Basic, *pan_Filter_Music, *pan_Filter_Photo;
    TRadioButton *rbAllFiles, *rbDocumentfiles, *rbPicturePhoto, *rbMusic, *rbVideoMovies, *rbCustom, *rbZero;
    TImageEx* imgAddFileType;
    TRadioButton *rbMusicAll, *rbMusicSpec;
    QGroupBox* gboxSpecMusic;
    TCheckBox *cbMp3, *cbWMA, *cbRM, *cbOgg, *cbFLAC;
    TRadioButton *rbPhotoAll, *rbPhotoSpec;
    QGroupBox* goxSpecPhoto;
    TCheckBox *cbBmp, *cbJpeg, *cbGif, *cbWmf, *cbPng, *cbIco;
    TCheckBox* chkSimilarty;
    QLineEdit* edtSimilarity;
    TUpDown* UpDown1;
    TCheckBox *cbFileModifyTime, *cbFileSize, *cbMailSender;
    TImageEx* imgEmail;
    TCheckBox* cbUserFileSize;
    QSpinBox* sedUserFileSize;
    TCheckBox *cbZero, *cbSystemPath, *cbSystemFile;
    TPanel* panPFile;
    QTreeWidget* EraseListView;
    TLabelEx *labAddFile, *labAddFolder, *labRemoveItem;

    // Page 1: progress.
    TPanel* ScanProcessPanel;
    QLabel* labScanTitle;
    QLabel* ScanMessage;
    QLabel *labGroup, *abDuplicates, *labGroupNum, *abDupFiles, *Label14, *abScanTime;
    TImageEx* imgFind;

    // Page 2: results.
    QLabel* panResult_Hint;
    TVirtualListView* DuplicatesListView;
    TPanel* panState;
    QLabel *abStatus, *labNote, *labDouble;
    TCheckBox* cbSelectAllDel;
    QGroupBox* gboxDelOption;
    TRadioButton *rbDeleteToRec, *rbDeleteFile;

    // Page 3: summary.
    QTreeWidget* FinishListView;
    QGroupBox* gboxResult;
    QLabel *DelStatus1, *DelStatus2, *DelStatus3;

    // ---- Bottom buttons ----
    TPanel *panBottomButton, *panButton;
    TImageEx *ExportButton, *BackButton, *DeleteButton;
    TImageEx *ScanNowButton, *StopButton, *FinishButton;

    // ---- Non-visual ----
    QTimer* ScanTimer;
    QMenu* pmDuplicates;
    QAction *OpenwithDirectory1, *Property1, *Showfile1;

    // ---- The window's own data ----
    uint8_t FFileSortColumn = 0;
    uint8_t FMailSortColumn = 0;
    uint8_t FContactSortColumn = 0;
    uint8_t FSortDirection = 0;
    uint8_t FRunState = rsIdle;
    finder::TGroupList FGroupList;  // the core's group records, in opening order
    finder::TRowList FRowList;      // the display rows of the results list
    std::vector<std::string> FCustomFileTypes;
    TDateTime FStartTime = 0;
    int32_t FMode = 0;
    // The mailbox connection a mail or contact scan leaves for showing and
    // deleting items; FOutlookFolder is the scanned folder's collection.
    std::shared_ptr<plat::TOutlookApplication> FOutlookApp;
    std::shared_ptr<plat::TOutlookNameSpace> FNameSpace;
    std::shared_ptr<plat::TOutlookItems> FOutlookFolder;

    // Seams of the run: called after each pass of the message pump, and how
    // often the pump runs at most (0: at every pass).
    std::function<void()> OnProcessMessages;
    int PumpIntervalMs = 5;
    // The system files the shredder never erases (tests give their own).
    std::vector<std::string> ProtectedFiles = finder::SystemProtectedFiles();
    // What the shredder's "Add Files" and "Add Folder" dialogs give; unset,
    // the dialogs themselves are shown.
    std::function<QStringList()> ChooseEraseFiles;
    std::function<QString()> ChooseEraseFolder;

    // ---- Handlers ----
    void FormCreate(QObject* Sender);
    void FormShow(QObject* Sender);
    void FormResize(QObject* Sender);
    void FormClose(QObject* Sender);
    void FormDestroy(QObject* Sender);
    void BackButtonClick(QObject* Sender);
    void FinishButtonClick(QObject* Sender);
    void TopPanelMouseDown(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void MinBtnClick(QObject* Sender);
    void CloseBtnClick(QObject* Sender);
    void MinBtnMouseEnter(QObject* Sender);
    void MinBtnMouseLeave(QObject* Sender);
    void labUpdateMouseEnter(QObject* Sender);
    void labUpdateMouseLeave(QObject* Sender);
    void labUpdateClick(QObject* Sender);
    void labOptionsClick(QObject* Sender);
    void labAboutClick(QObject* Sender);
    void labHelpClick(QObject* Sender);
    void imgAddFileTypeClick(QObject* Sender);

    // Modes and options.
    void BasicBtnClick(QObject* Sender);
    void OutlookBtnClick(QObject* Sender);
    void MusicBtnClick(QObject* Sender);
    void PhotoBtnClick(QObject* Sender);
    void CrushBtnClick(QObject* Sender);
    void rbCustomClick(QObject* Sender);
    void rbZeroClick(QObject* Sender);
    void rbMusicSpecClick(QObject* Sender);
    void rbPhotoSpecClick(QObject* Sender);
    void rbScanTitleClick(QObject* Sender);
    void rbEmailClick(QObject* Sender);
    void SwitchMode(uint16_t Mode);
    void ResetPages();

    // Places tree.
    void FillDriveTree();
    void ShellDisplayName(const std::string& Path, std::string& Name);
    bool AddSubFolders(const std::string& Path, TDirectoryList& List);
    void ExpandPlaceNode(TPlaceNode* Node);
    static void CopyStateToChildren(TPlaceNode* Node);
    void tvDiskDirMouseDown(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void tvDiskDirGetImageIndex(QObject* Sender, TPlaceNode* Node);

    // Entry points of the scan run, the results, the deletion, the export and
    // the shredder; the work behind them lives in the scanning core.
    void ScanNowButtonClick(QObject* Sender);
    void StopButtonClick(QObject* Sender);
    void ScanTimerTimer(QObject* Sender);
    void DeleteButtonClick(QObject* Sender);
    void ExportButtonClick(QObject* Sender);
    void cbSelectAllDelClick(QObject* Sender);
    bool AnyPlaceChecked();
    int LoadCustomFileTypes(std::vector<std::string>& List);
    void ScanCheckedPlaces();

    // The results list.
    void BuildResultRows();
    void DuplicatesListViewData(TListItem& Item);
    void DuplicatesListViewCustomDrawItem(const TListItem& Item, TListItemLook& Look);
    void DuplicatesListViewMouseDown(QObject* Sender, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X,
                                     int Y);
    void DuplicatesListViewColumnClick(int Column);
    void DuplicatesListViewDblClick(QObject* Sender);
    void OpenwithDirectory1Click(QObject* Sender);
    void Property1Click(QObject* Sender);
    void Showfile1Click(QObject* Sender);

    // The Outlook mode's branches: the scan (returns the reason when the
    // mailbox could not be read), showing the selected item, the deletion.
    std::string OutlookScanRun();
    void OutlookDblClick();
    void DeleteOutlookSelected(finder::TDeleteSummary& Summary);

    // The deletion and the summary.
    void ConfirmAndDelete(std::string& Confirmation);
    int32_t DeleteSelected();
    void FinishListViewCustomDrawSubItem(QTreeWidgetItem* Item, int SubItem);

    // What the option controls say, as the scanning core takes it.
    finder::TScanKind ScanKind() const;
    finder::TScanOptions ScanOptions() const;
    // True while a deletion walks the rows: nothing may change them then.
    bool Deleting() const { return FDeleting; }

    void labAddFileClick(QObject* Sender);
    void labAddFolderClick(QObject* Sender);
    void labRemoveItemClick(QObject* Sender);
    void EraseListViewColumnClick(int Column);
    // A ticked row of the shredder's list for an item recorded when chosen,
    // and the list's items as recorded, with their ticks, in list order: the
    // run erases what was recorded, never what a row's text says.
    QTreeWidgetItem* AddEraseRow(const finder::TEraseItem& Item);
    std::vector<finder::TEraseItem> EraseListItems() const;

    // The texts every reset writes into the summary lines, by mode.
    static void SummaryTexts(int Mode, QString& Line1, QString& Line2, QString& Line3);
    // "v" and the first two parts of a four-part version.
    static QString VersionCaption(const std::string& Version);

protected:
    void showEvent(QShowEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    bool FShown = false;
    bool FDeleting = false;
    finder::TScanRun* FScan = nullptr;  // the walk under way, for the counters
    finder::TOutlookScan* FOutlookScan = nullptr;  // the same for a mail or contact scan
    int64_t FOutlookUnread = 0;  // the items the last mail or contact scan could not read
    int FFindFrame = 0;
    QTimer* FFindAnimation;
    std::vector<QPixmap> FFindFrames;
    QPoint FDragOffset;
    bool FDragging = false;

    void BuildHeader();
    void BuildFrame();
    void BuildPlaces();
    void BuildOptionsPage();
    void BuildProgressPage();
    void BuildResultsPage();
    void BuildSummaryPage();
    void BuildBottom();
    void AlignAlsoPanel(bool Top);
    void LayoutPages();
    void SetFileColumns(bool MusicPhotoWidths);
    void EmptyResultLists();
    void SetFinishColumnCaption(const QString& Caption);
    void SetLabDouble(const QString& Line1, const QString& Line2);
    void ApplyFontColor(QLabel* Label, const QColor& Color);
    void ConnectResultsList();
    void EndOfRun();
    void SetModeButtonsEnabled(bool Enabled);
    // Adds the paths a dialog gave as items of Type not yet listed.
    void AddChosenEraseItems(const QStringList& Paths, const std::string& Type);
    // The selected row of the results list, or nullptr.
    finder::TSearchResult* SelectedFileRow(TListItem& Item);
    // The normal and hover pictures of a picture button; false for any other control.
    bool ButtonPictures(QObject* Sender, QPixmap& Normal, QPixmap& Hover) const;
};
