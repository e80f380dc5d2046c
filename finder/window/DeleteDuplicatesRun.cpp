// The main window's run: Scan Now and Stop, the scanning page's counters,
// the results list with its ticks and ordering, the deletion and the
// summary. The walk, the matching, the rows and the deletion are the
// scanning core's; this file maps the controls to it and shows what it found.
#include <QCoreApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTreeWidget>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "finder/core/DeleteCore.h"
#include "finder/window/DeleteDuplicatesUnit.h"
#include "finder/core/FileWipe.h"
#include "frame/SettingsUnit.h"
#include "platform/widgets/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/Shell.h"
#include "windows/AddFileTypeUnit.h"

namespace {

constexpr const char* ErrorCaption = "Corvane - Error";

void Warn(const std::string& Text) {
    plat::MessageBox(Text, ErrorCaption, plat::MB_OK | plat::MB_ICONWARNING);
}

QString Q(const std::string& S) {
    return QString::fromStdString(S);
}

std::string TwoDigits(int V) {
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, V < 10 ? "0%d" : "%d", V);
    return Buf;
}

// Restores the controls that a run or a deletion holds off, also when an
// error leaves early.
template <class F>
class TAtExit {
public:
    explicit TAtExit(F Fn) : FFn(std::move(Fn)) {}
    ~TAtExit() { FFn(); }
    TAtExit(const TAtExit&) = delete;
    TAtExit& operator=(const TAtExit&) = delete;

private:
    F FFn;
};

} // namespace

// ============================================================================
// Wiring
// ============================================================================

void TDeleteDuplicatesForm::ConnectResultsList() {
    DuplicatesListView->OnData = [this](TListItem& Item) { DuplicatesListViewData(Item); };
    DuplicatesListView->OnCustomDrawItem = [this](const TListItem& Item, TListItemLook& Look) {
        DuplicatesListViewCustomDrawItem(Item, Look);
    };
    DuplicatesListView->OnMouseDown = [this](QObject* S, Qt::MouseButton B, Qt::KeyboardModifiers K, int X, int Y) {
        DuplicatesListViewMouseDown(S, B, K, X, Y);
    };
    DuplicatesListView->OnColumnClick = [this](int Column) { DuplicatesListViewColumnClick(Column); };
    DuplicatesListView->OnDblClick = [this](QObject* S) { DuplicatesListViewDblClick(S); };
    connect(OpenwithDirectory1, &QAction::triggered, this, [this] { OpenwithDirectory1Click(OpenwithDirectory1); });
    connect(Property1, &QAction::triggered, this, [this] { Property1Click(Property1); });
    connect(Showfile1, &QAction::triggered, this, [this] { Showfile1Click(Showfile1); });
}

void TDeleteDuplicatesForm::SetModeButtonsEnabled(bool Enabled) {
    for (TImageEx* B : {BasicBtn, OutlookBtn, MusicBtn, PhotoBtn, CrushBtn}) B->setEnabled(Enabled);
}

// ============================================================================
// The options as the core takes them
// ============================================================================

finder::TScanKind TDeleteDuplicatesForm::ScanKind() const {
    if (FMode == 2) return finder::TScanKind::None;  // mail and contact rows are not file rows
    if (rbScanFileName->Checked()) return finder::TScanKind::FileName;
    if (rbScanFileBye->Checked()) return finder::TScanKind::FileBye;
    if (rbScanTitle->Checked()) return finder::TScanKind::Title;
    if (rbScanSimilar->Checked()) return finder::TScanKind::Similar;
    return finder::TScanKind::None;
}

finder::TScanOptions TDeleteDuplicatesForm::ScanOptions() const {
    finder::TScanOptions O;
    finder::TMatchOptions& M = O.Match;
    M.Kind = ScanKind();
    M.Mode = FMode;
    M.SameSize = cbFileSize->Checked();
    M.SameDate = cbFileModifyTime->Checked();
    M.SameArtist = cbMailSender->Checked();
    M.SimilarityOn = chkSimilarty->Checked();
    M.SimilarityText = edtSimilarity->text().toStdString();

    finder::TFilterOptions& F = M.Filter;
    F.Mode = FMode;
    F.ProtectSystemFiles = cbSystemFile->Checked();
    F.SizeLimit = cbUserFileSize->Checked();
    F.SizeLimitKB = sedUserFileSize->value();
    F.SkipZero = cbZero->Checked();
    using B = finder::TBasicType;
    F.BasicType = rbDocumentfiles->Checked() ? B::Documents
                  : rbPicturePhoto->Checked() ? B::PicturePhoto
                  : rbMusic->Checked()        ? B::Music
                  : rbVideoMovies->Checked()  ? B::VideoMovies
                  : rbCustom->Checked()       ? B::Custom
                  : rbZero->Checked()         ? B::Zero
                                              : B::AllFiles;
    F.MusicAll = rbMusicAll->Checked();
    F.Mp3 = cbMp3->Checked();
    F.Wma = cbWMA->Checked();
    F.Rm = cbRM->Checked();
    F.Ogg = cbOgg->Checked();
    F.Flac = cbFLAC->Checked();
    F.PhotoAll = rbPhotoAll->Checked();
    F.Bmp = cbBmp->Checked();
    F.Jpeg = cbJpeg->Checked();
    F.Gif = cbGif->Checked();
    F.Wmf = cbWmf->Checked();
    F.Png = cbPng->Checked();
    F.Ico = cbIco->Checked();
    F.CustomFileTypes = FCustomFileTypes;

    // Ticked nodes below the top node, in the tree's order. A node whose
    // sub-folders are listed is scanned for its own files only.
    for (TPlaceNode* Node : tvDiskDir->Nodes()) {
        if (Node->Level() < 1 || Node->StateIndex != places::StateTicked || !Node->Data) continue;
        O.Places.push_back({Node->Data->Path, Node->HasChildren()});
    }
    O.ProtectSystemFolders = cbSystemPath->Checked();
    GetWindowsDir(O.WindowsDir);
    O.PumpIntervalMs = PumpIntervalMs;
    return O;
}

// ============================================================================
// The scan run
// ============================================================================

bool TDeleteDuplicatesForm::AnyPlaceChecked() {
    for (TPlaceNode* Node : tvDiskDir->Nodes())
        if (Node->StateIndex == places::StateTicked) return true;
    return false;
}

int TDeleteDuplicatesForm::LoadCustomFileTypes(std::vector<std::string>& List) {
    List.clear();
    for (const TCustomFileType& T : ReadCustomFileTypes(CustomIniToRead())) List.push_back(T.Filter);
    return int(List.size());
}

void TDeleteDuplicatesForm::ScanCheckedPlaces() {
    finder::TScanCallbacks Callbacks;
    Callbacks.ProcessMessages = [this] {
        QCoreApplication::processEvents();
        if (OnProcessMessages) OnProcessMessages();
    };
    Callbacks.ScanMessage = [this](const std::string& Path) { ScanMessage->setText(Q(Path)); };
    finder::TScanRun Run(ScanOptions(), FRunState, FGroupList, std::move(Callbacks));
    FScan = &Run;
    TAtExit Forget([this] { FScan = nullptr; });
    const finder::TScanOutcome Outcome = Run.Run();
    // The core ended the walk as a stop and kept the groups found so far.
    if (Outcome.Failed) throw std::runtime_error(Outcome.Error);
}

void TDeleteDuplicatesForm::ScanNowButtonClick(QObject*) {
    if (FRunState == rsRunning || FDeleting) return;  // one run at a time

    // 1. A place to scan.
    if (FMode != 2 && FMode != 5 && !AnyPlaceChecked()) {
        Warn("You haven't selected any drives or directries.\rPlease specify the drives or directories for this "
             "scanning.");
        return;
    }

    // 2. The mode's own checks.
    switch (FMode) {
    case 1:
        if (rbCustom->Checked() && LoadCustomFileTypes(FCustomFileTypes) == 0) {
            Warn("You have not defined the file type.");
            return;
        }
        break;
    case 2:
        // A test instance, released at once: refused when there is no mailbox.
        try {
            FOutlookApp = plat::CreateOleObject("Outlook.Application");
            FOutlookApp.reset();
        } catch (const plat::EOutlookError&) {
            FOutlookApp.reset();
            Warn("You do not have Outlook software.");
            return;
        }
        break;
    case 3:
        if (rbMusicSpec->Checked() && !cbMp3->Checked() && !cbWMA->Checked() && !cbRM->Checked() &&
            !cbOgg->Checked() && !cbFLAC->Checked()) {
            Warn("You have no choice types of music.");
            return;
        }
        break;
    case 4:
        if (rbPhotoSpec->Checked() && !cbBmp->Checked() && !cbJpeg->Checked() && !cbGif->Checked() &&
            !cbWmf->Checked() && !cbPng->Checked() && !cbIco->Checked()) {
            Warn("You have no choice types of picture.");
            return;
        }
        if (DuplicatesListView->ColumnCount() >= 4) {
            if (rbScanSimilar->Checked()) {
                DuplicatesListView->SetColumnWidth(0, 345);
                DuplicatesListView->SetColumnCaption(3, "Similarity");
                DuplicatesListView->SetColumnWidth(3, 80);
            } else {
                DuplicatesListView->SetColumnWidth(0, 310);
                DuplicatesListView->SetColumnCaption(3, "Created");
                DuplicatesListView->SetColumnWidth(3, 115);
            }
        }
        break;
    case 5: {
        int Count = 0;
        for (int I = 0; I < EraseListView->topLevelItemCount(); ++I)
            if (EraseListView->topLevelItem(I)->checkState(0) == Qt::Checked) ++Count;
        if (Count == 0) {
            Warn("You haven't selected the file to be erased.");
            return;
        }
        const std::string Text =
            std::to_string(Count) +
            (Count == 1 ? " file will be erased. Once the file have been erased,it cannot be recovered.\rAre you "
                          "sure to erase it?"
                        : " files will be erased. Once the files have been erased,they cannot be recovered.\rAre "
                          "you sure to erase them?");
        if (plat::MessageBox(Text, "Corvane", plat::MB_YESNO | plat::MB_ICONINFORMATION) != plat::IDYES) return;
        break;
    }
    default:
        return;
    }

    // 3. The scanning page.
    DataNotebook->setCurrentIndex(1);
    for (QWidget* W : std::initializer_list<QWidget*>{panDriveDir, BackButton, ScanNowButton, DeleteButton,
                                                       FinishButton, ExportButton})
        W->hide();
    StopButton->show();
    MinBtnMouseLeave(StopButton);
    SetModeButtonsEnabled(false);
    FRunState = rsRunning;
    FStartTime = plat::NowDateTime();
    abDuplicates->setText("0");
    abDupFiles->setText("0");
    abScanTime->setText("00:00:00");
    ScanTimer->start();
    DuplicatesListView->SetItemCount(0);
    FRowList.clear();
    FGroupList.clear();

    // 4. The mode's work. An error ends the run as a stop would: the groups
    // found so far are shown and the window is usable again.
    std::string Error, MailboxError;
    try {
        if (FMode == 1 || FMode == 3 || FMode == 4) ScanCheckedPlaces();
        if (FMode == 2) MailboxError = OutlookScanRun();
        if (FMode == 5) {
            // The shredder: every ticked item is overwritten and deleted, one
            // summary row each; between items every message gets through
            // (the Stop button), while wiping only painting does.
            const std::vector<finder::TEraseItem> Items = EraseListItems();
            finder::TEraseContext Ctx;
            GetWindowsDir(Ctx.WindowsDir);
            Ctx.ProtectedFiles = ProtectedFiles;
            Ctx.ProgramPath = plat::ProgramPath();
            Ctx.ProgramFolder = plat::ProgramFolder();
            Ctx.ProcessMessages = [this] {
                QCoreApplication::processEvents();
                if (OnProcessMessages) OnProcessMessages();
            };
            Ctx.PaintPump = [] { QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest); };
            QTreeWidgetItem* Row = nullptr;
            Ctx.ShowItem = [&](const std::string& Caption) {
                Row = new QTreeWidgetItem(FinishListView, {Q(Caption)});
                Row->setTextAlignment(1, Qt::AlignCenter);
                for (int Col = 0; Col < 2; ++Col) FinishListViewCustomDrawSubItem(Row, Col);
                ScanMessage->setText(Q(Caption));
            };
            Ctx.ItemDone = [&](const finder::TEraseOutcome& O) {
                if (Row) Row->setText(1, finder::EraseStatusText(O.Status));
            };
            FinishListView->clear();
            finder::TEraseSummary Summary;
            finder::EraseItems(Items, FRunState, Ctx, Summary);
            DelStatus1->setText(Q(Summary.DelStatus1));
            DelStatus2->setText(Q(Summary.DelStatus2));
            DelStatus3->setText(Q(Summary.DelStatus3));
            ApplyFontColor(DelStatus3, Summary.Red ? Qt::red : Qt::black);
        }
    } catch (const std::exception& E) {
        Error = E.what();
    } catch (...) {
        Error = "Unknown error";
    }
    if (!Error.empty() && FRunState == rsRunning) FRunState = rsStopRequested;

    // 5. End of the run.
    ScanMessage->clear();
    ScanTimer->stop();
    ScanTimerTimer(ScanTimer);  // the final counts
    if (FRunState == rsRunning) FRunState = rsFinished;
    if (!Error.empty()) plat::ShowException(Error);
    // A mailbox that could not be read ends the run as finished, with what was found.
    if (!MailboxError.empty()) Warn(MailboxError);

    // 6. Results.
    EndOfRun();
    // 7.
    SetModeButtonsEnabled(true);
}

void TDeleteDuplicatesForm::EndOfRun() {
    if (FMode != 5) {
        try {
            BuildResultRows();
        } catch (const std::exception& E) {
            FRowList.clear();
            DuplicatesListView->SetItemCount(0);
            plat::ShowException(E);
        }
        const bool Rows = DuplicatesListView->ItemCount() > 0;
        for (TImageEx* B : {BackButton, DeleteButton, ExportButton}) B->setVisible(Rows);
        for (TImageEx* B : {ScanNowButton, StopButton}) B->hide();
        FinishButton->setVisible(!Rows);
        DataNotebook->setCurrentIndex(Rows ? 2 : 3);
    } else {
        for (TImageEx* B : {BackButton, ScanNowButton, StopButton, DeleteButton, ExportButton}) B->hide();
        FinishButton->show();
        DataNotebook->setCurrentIndex(3);
    }
    for (TImageEx* B : {BackButton, DeleteButton, ExportButton, FinishButton}) MinBtnMouseLeave(B);
}

void TDeleteDuplicatesForm::StopButtonClick(QObject*) {
    FRunState = rsStopRequested;
}

void TDeleteDuplicatesForm::ScanTimerTimer(QObject*) {
    long long Groups = 0, Members = 0;
    if (FMode != 5) {
        if (FScan) {
            // The walk keeps these counts as groups grow, so a tick costs nothing.
            Groups = FScan->DuplicateGroups();
            Members = FScan->DuplicateFiles();
        } else if (FOutlookScan) {
            Groups = FOutlookScan->DuplicateGroups();
            Members = FOutlookScan->DuplicateFiles();
        } else {
            for (const auto& G : FGroupList)
                if (G->Count > 1) {
                    ++Groups;
                    Members += G->Count;
                }
        }
    }
    abDuplicates->setText(QString::number(Groups));
    abDupFiles->setText(QString::number(Members));

    // Hours, minutes and seconds of the day: a run past 24 hours starts at 00 again.
    double Elapsed = plat::NowDateTime() - FStartTime;
    if (!(Elapsed >= 0)) Elapsed = 0;
    const long long Ms = std::llround((Elapsed - std::floor(Elapsed)) * 86400000.0) % 86400000LL;
    const int S = int(Ms / 1000);
    abScanTime->setText(Q(TwoDigits(S / 3600) + ":" + TwoDigits(S / 60 % 60) + ":" + TwoDigits(S % 60)));
}

// ============================================================================
// The results list
// ============================================================================

void TDeleteDuplicatesForm::BuildResultRows() {
    std::string Status;
    if (FMode == 2) {
        const bool Email = rbEmail->Checked();
        Status = finder::BuildOutlookRows(FGroupList, Email, Email ? FMailSortColumn : FContactSortColumn,
                                          FSortDirection, FRowList, FOutlookUnread);
    } else {
        finder::TSortState Sort{FFileSortColumn, FSortDirection};
        Status = finder::BuildResultRows(FGroupList, ScanKind(), Sort, FRowList);
    }
    DuplicatesListView->SetItemCount(int(FRowList.size()));
    DuplicatesListView->Repaint();
    abStatus->setText(Q(Status));
}

void TDeleteDuplicatesForm::DuplicatesListViewData(TListItem& Item) {
    if (Item.Index < 0 || size_t(Item.Index) >= FRowList.size()) return;
    const finder::TRowTexts T = finder::RowTexts(*FRowList[size_t(Item.Index)], FMode, ScanKind());
    Item.Caption = Q(T.Caption);
    Item.SubItems.clear();
    for (const std::string& S : T.SubItems) Item.SubItems << Q(S);
    Item.Indent = T.Indent;
    Item.ImageIndex = T.ImageIndex;
}

void TDeleteDuplicatesForm::DuplicatesListViewCustomDrawItem(const TListItem& Item, TListItemLook& Look) {
    if (Item.SubItems.size() > 4 && Item.SubItems[4] == "0") {
        Look.Brush = QColor(0xF5, 0xF5, 0xF5);
        Look.FontColor = QColor(0, 0, 0xFF);
        Look.Bold = true;
    } else {
        Look.FontColor = Qt::black;
        Look.Bold = false;
    }
}

void TDeleteDuplicatesForm::DuplicatesListViewMouseDown(QObject*, Qt::MouseButton Button, Qt::KeyboardModifiers,
                                                        int X, int Y) {
    if (FDeleting || Button != Qt::LeftButton) return;
    const QPoint P(X, Y);
    if (!DuplicatesListView->OnItemImage(P)) return;
    const int Index = DuplicatesListView->ItemAt(P);
    if (Index < 0 || size_t(Index) >= FRowList.size()) return;
    // The picture shown is the row's tick.
    finder::ToggleRowTick(FRowList, size_t(Index));
    DuplicatesListView->Repaint();
}

void TDeleteDuplicatesForm::cbSelectAllDelClick(QObject*) {
    if (FDeleting) return;
    finder::SelectAllDuplicates(FRowList, cbSelectAllDel->Checked());
    DuplicatesListView->Repaint();
}

void TDeleteDuplicatesForm::DuplicatesListViewColumnClick(int Column) {
    if (FDeleting) return;
    if (FMode == 1 || FMode == 3 || FMode == 4) {
        finder::TSortState Sort{FFileSortColumn, FSortDirection};
        finder::FileColumnClick(Column, Sort);
        FFileSortColumn = Sort.FileSortColumn;
        FSortDirection = Sort.SortDirection;
    } else {
        if (FMode == 2)
            finder::OutlookColumnClick(Column, rbEmail->Checked() ? FMailSortColumn : FContactSortColumn,
                                       FSortDirection);
        else
            FSortDirection = FSortDirection == 0 ? 1 : 0;
    }
    BuildResultRows();
}

finder::TSearchResult* TDeleteDuplicatesForm::SelectedFileRow(TListItem& Item) {
    const QModelIndexList Sel = DuplicatesListView->selectionModel()
                                    ? DuplicatesListView->selectionModel()->selectedRows()
                                    : QModelIndexList();
    if (Sel.isEmpty()) return nullptr;
    const int Index = Sel.first().row();
    if (Index < 0 || size_t(Index) >= FRowList.size()) return nullptr;
    Item = DuplicatesListView->Item(Index);
    return dynamic_cast<finder::TSearchResult*>(FRowList[size_t(Index)].get());
}

namespace {

// The folder part of a caption, up to and including its last "/".
QString FolderOf(const QString& Caption) {
    const int Slash = Caption.lastIndexOf('/');
    return Slash < 0 ? QString() : Caption.left(Slash + 1);
}

} // namespace

void TDeleteDuplicatesForm::DuplicatesListViewDblClick(QObject*) {
    if (FMode == 2) return OutlookDblClick();
    TListItem Item;
    if (!SelectedFileRow(Item)) return;
    if (FMode == 4) {
        if (QFileInfo(Item.Caption).isFile()) plat::ShellOpen(Item.Caption.toStdString());
        return;
    }
    const QString Folder = FolderOf(Item.Caption);
    if (!Folder.isEmpty() && QFileInfo(Folder).isDir()) plat::ShellOpen(Folder.toStdString());
}

void TDeleteDuplicatesForm::OpenwithDirectory1Click(QObject*) {
    TListItem Item;
    if (!SelectedFileRow(Item)) return;
    const QString Folder = FolderOf(Item.Caption);
    if (!Folder.isEmpty() && QFileInfo(Folder).isDir()) plat::ShellOpen(Folder.toStdString());
}

namespace {

// The file a row stands for: a same-name member's folder and name; in the
// other file scans the caption, which is the full path of header and member.
std::string RowPath(const finder::TSearchResult& Row, const TListItem& Item, finder::TScanKind Kind) {
    switch (Kind) {
    case finder::TScanKind::FileName: return Row.RowKind == 1 ? Row.Path + Row.Text : std::string();
    case finder::TScanKind::FileBye:
    case finder::TScanKind::Title:
    case finder::TScanKind::Similar: return Item.Caption.toStdString();
    default: return std::string();
    }
}

} // namespace

void TDeleteDuplicatesForm::Property1Click(QObject*) {
    TListItem Item;
    const finder::TSearchResult* Row = SelectedFileRow(Item);
    if (!Row) return;
    const std::string Path = RowPath(*Row, Item, ScanKind());
    if (!Path.empty()) plat::ShowProperties(Path);
}

void TDeleteDuplicatesForm::Showfile1Click(QObject*) {
    TListItem Item;
    const finder::TSearchResult* Row = SelectedFileRow(Item);
    if (!Row) return;
    const std::string Path = RowPath(*Row, Item, ScanKind());
    if (!Path.empty() && QFileInfo(Q(Path)).isFile()) plat::ShellOpen(Path);
}

// ============================================================================
// Deletion and summary
// ============================================================================

void TDeleteDuplicatesForm::DeleteButtonClick(QObject*) {
    if (FDeleting || FRunState == rsRunning) return;
    std::string Confirmation;
    ConfirmAndDelete(Confirmation);
}

void TDeleteDuplicatesForm::ConfirmAndDelete(std::string& Confirmation) {
    if (FMode == 2)
        Confirmation = finder::OutlookDeleteConfirmationText;
    else
        Confirmation = finder::DeleteConfirmationText(rbDeleteToRec->Checked());
    if (plat::MessageBox(Confirmation, finder::DeleteConfirmationCaption,
                         plat::MB_YESNO | plat::MB_ICONWARNING | plat::MB_DEFBUTTON2) != plat::IDYES)
        return;
    if (DeleteSelected() >= 1) {
        for (TImageEx* B : {BackButton, ScanNowButton, StopButton, DeleteButton}) B->hide();
        FinishButton->show();
        MinBtnMouseLeave(FinishButton);
        ExportButton->hide();
        DataNotebook->setCurrentIndex(3);
    } else {
        plat::MessageBox(finder::NothingSelectedText, finder::DeleteConfirmationCaption,
                         plat::MB_OK | plat::MB_ICONWARNING);
    }
}

int32_t TDeleteDuplicatesForm::DeleteSelected() {
    // While the rows are walked nothing may rebuild them or start another run.
    FDeleting = true;
    const std::vector<QWidget*> HeldOff{BackButton, DeleteButton,  ExportButton,   BasicBtn, OutlookBtn, MusicBtn,
                                        PhotoBtn,   CrushBtn,      cbSelectAllDel, gboxDelOption};
    std::vector<bool> WasEnabled;
    for (QWidget* W : HeldOff) {
        WasEnabled.push_back(W->isEnabled());
        W->setEnabled(false);
    }
    DuplicatesListView->header()->setSectionsClickable(false);
    TAtExit Restore([&] {
        for (size_t I = 0; I < HeldOff.size(); ++I) HeldOff[I]->setEnabled(WasEnabled[I]);
        DuplicatesListView->header()->setSectionsClickable(true);
        FDeleting = false;
    });

    FinishListView->setUpdatesEnabled(false);
    FinishListView->clear();
    finder::TDeleteSummary Summary;
    if (FMode == 1 || FMode == 3 || FMode == 4)
        finder::DeleteSelected(FRowList, ScanKind(), rbDeleteToRec->Checked(), Summary,
                               [] { QCoreApplication::processEvents(); });
    else if (FMode == 2)
        DeleteOutlookSelected(Summary);
    QList<QTreeWidgetItem*> Items;
    Items.reserve(qsizetype(Summary.Items.size()));
    for (const finder::TDeleteOutcome& O : Summary.Items) {
        auto* It = new QTreeWidgetItem({Q(O.Caption), O.Succeeded ? "Succeeded" : "Failed"});
        It->setTextAlignment(1, Qt::AlignCenter);
        for (int Col = 0; Col < 2; ++Col) FinishListViewCustomDrawSubItem(It, Col);
        Items.append(It);
    }
    FinishListView->addTopLevelItems(Items);
    DelStatus1->setText(Q(Summary.DelStatus1));
    DelStatus2->setText(Q(Summary.DelStatus2));
    DelStatus3->setText(Q(Summary.DelStatus3));
    FinishListView->setUpdatesEnabled(true);
    ApplyFontColor(DelStatus3, Summary.Red ? Qt::red : Qt::black);
    return Summary.Succeeded + Summary.Failed;
}

void TDeleteDuplicatesForm::FinishListViewCustomDrawSubItem(QTreeWidgetItem* Item, int SubItem) {
    // The status column is green whatever it says.
    Item->setForeground(SubItem, SubItem == 1 ? QColor(0, 0x80, 0) : QColor(Qt::black));
}
