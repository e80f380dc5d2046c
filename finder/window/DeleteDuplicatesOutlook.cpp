// The main window's Outlook branches: the mail or contact scan through the
// mailbox component, showing an item on a double click, and removing the
// ticked items. The work is the scanning core's; this maps the controls.
#include <QCoreApplication>
#include <QItemSelectionModel>

#include "finder/core/OutlookResults.h"
#include "finder/window/DeleteDuplicatesUnit.h"
#include "platform/widgets/MessageBox.h"

namespace {

void Warn(const std::string& Text) {
    plat::MessageBox(Text, "Corvane - Error", plat::MB_OK | plat::MB_ICONWARNING);
}

} // namespace

std::string TDeleteDuplicatesForm::OutlookScanRun() {
    finder::TOutlookOptions O;
    O.Kind = rbEmail->Checked() ? 1 : 2;
    O.Criterion = rbScanFileName->Checked()  ? finder::TScanKind::FileName
                  : rbScanFileBye->Checked() ? finder::TScanKind::FileBye
                  : rbScanTitle->Checked()   ? finder::TScanKind::Title
                                             : finder::TScanKind::None;
    O.SameDate = cbFileModifyTime->Checked();
    O.SameSize = cbFileSize->Checked();
    O.SameSender = cbMailSender->Checked();
    O.PumpIntervalMs = PumpIntervalMs;
    finder::TScanCallbacks Callbacks;
    Callbacks.ProcessMessages = [this] {
        QCoreApplication::processEvents();
        if (OnProcessMessages) OnProcessMessages();
    };
    Callbacks.ScanMessage = [this](const std::string& Caption) {
        ScanMessage->setText(QString::fromStdString(Caption));
    };
    finder::TOutlookScan Scan(O, FRunState, FGroupList, std::move(Callbacks));
    FOutlookScan = &Scan;
    const finder::TScanOutcome Outcome = Scan.Run();
    FOutlookScan = nullptr;
    FOutlookApp = Scan.OutlookApp;
    FNameSpace = Scan.NameSpace;
    FOutlookFolder = Scan.OutlookFolder;
    // The status line of the results tells how many items could not be
    // read; without a duplicate there are no results, and the box says it.
    FOutlookUnread = Scan.ItemsSkipped();
    if (Outcome.Failed) return Outcome.Error;
    if (FOutlookUnread > 0 && Scan.DuplicateGroups() == 0)
        return std::to_string(FOutlookUnread) + " items could not be read.";
    return std::string();
}

void TDeleteDuplicatesForm::OutlookDblClick() {
    const QModelIndexList Sel = DuplicatesListView->selectionModel()
                                    ? DuplicatesListView->selectionModel()->selectedRows()
                                    : QModelIndexList();
    if (Sel.isEmpty()) return;
    const TListItem Item = DuplicatesListView->Item(Sel.first().row());
    // A header row carries no EntryID.
    const std::string EntryID = Item.SubItems.size() > 5 ? Item.SubItems[5].toStdString() : std::string();
    if (EntryID.empty() || !FOutlookFolder || FOutlookFolder->Count() <= 0) return;
    try {
        finder::DisplayOutlookItem(EntryID, rbEmail->Checked(), FNameSpace.get(), FOutlookFolder);
    } catch (const plat::EOutlookError& E) {
        Warn(E.what());
    }
}

void TDeleteDuplicatesForm::DeleteOutlookSelected(finder::TDeleteSummary& Summary) {
    std::string Error;
    finder::DeleteOutlookSelected(FRowList, rbEmail->Checked(), FNameSpace.get(), FOutlookFolder, Summary, Error,
                                  [] { QCoreApplication::processEvents(); });
    // The rows it concerns are "Failed" in the summary; the reason is told once.
    if (!Error.empty()) Warn(Error);
}
