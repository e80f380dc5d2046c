// Pictures of the window in each mode and page, for a person to look at:
// CORVANE_SHOTS=<folder> test_finder_window --gtest_filter='*Shots*'
#include <QDir>

#include "tests/finder/window/WindowTestSupport.h"

using namespace corvane_test;

TEST_F(WindowTest, ShotsOfEveryModeAndPage) {
    const QByteArray Folder = qgetenv("CORVANE_SHOTS");
    if (Folder.isEmpty()) GTEST_SKIP() << "set CORVANE_SHOTS to a folder to take the pictures";
    QDir().mkpath(QString::fromLocal8Bit(Folder));
    auto Save = [&](const QString& Name) {
        QApplication::processEvents();
        EXPECT_TRUE(Form->grab().save(QString::fromLocal8Bit(Folder) + "/" + Name + ".png")) << Name.toStdString();
    };
    Tree.Dir("Music/Albums");
    Tree.Dir("Pictures");
    Tree.Dir(".cache");
    ClickNode(Drive("Data"), NodePart::Label);
    ClickNode(ChildNamed(Drive("Data"), "Music"), NodePart::State);
    const char* Names[] = {"", "basic", "outlook", "music", "photo", "crush"};
    for (int Mode = 1; Mode <= 5; ++Mode) {
        Form->SwitchMode(uint16_t(Mode));
        ClickNode(Drive("Data"), NodePart::Label);
        ClickNode(ChildNamed(Drive("Data"), "Music"), NodePart::State);
        if (Mode == 5) {
            for (const char* P : {"/home/anna/old-tax-return.pdf", "/home/anna/Private"}) {
                auto* It = new QTreeWidgetItem(Form->EraseListView, {P, P[11] == 'P' ? "Folder" : "File"});
                It->setCheckState(0, Qt::Checked);
            }
        }
        Save(QString("mode%1-%2").arg(Mode).arg(Names[Mode]));
    }
    Form->SwitchMode(2);
    Form->rbLinkman->click();
    Save("mode2-contacts");
    Form->SwitchMode(3);
    Form->rbScanTitle->click();
    Save("mode3-title");
    Form->SwitchMode(4);
    Form->rbScanSimilar->click();
    Save("mode4-similar");
    Form->SwitchMode(1);
    Form->rbCustom->click();
    Form->MinBtnMouseEnter(Form->MusicBtn);
    Form->labUpdateMouseEnter(Form->labOptions);
    Save("mode1-custom-hover");
    Form->MinBtnMouseLeave(Form->MusicBtn);
    Form->labUpdateMouseLeave(Form->labOptions);

    // The other pages as a run would show them.
    Form->DataNotebook->setCurrentIndex(1);
    Form->ScanNowButton->hide();
    Form->StopButton->show();
    Form->panDriveDir->hide();
    Form->ScanMessage->setText(QString::fromStdString(Tree.Root()) + "/Music/Albums");
    Form->abDuplicates->setText("12");
    Form->abDupFiles->setText("31");
    Form->abScanTime->setText("00:00:07");
    Save("page1-progress");
    Form->DataNotebook->setCurrentIndex(2);
    Form->StopButton->hide();
    for (TImageEx* B : {Form->BackButton, Form->DeleteButton, Form->ExportButton}) B->show();
    Form->DuplicatesListView->OnData = [](TListItem& I) {
        const bool Header = I.Index % 3 == 0;
        I.Caption = Header ? "holiday.jpg" : QString("/home/anna/Pictures/%1/").arg(I.Index);
        I.SubItems = Header ? QStringList{"2  files", "", "", QString::number(I.Index / 3 + 1), "0"}
                            : QStringList{"2 MB", "2026-05-01 10:00", "2026-05-01 10:00",
                                          QString::number(I.Index / 3 + 1), "1"};
        I.ImageIndex = I.Index % 3 == 2 ? 1 : 0;
        I.Indent = Header ? 0 : 1;
    };
    Form->DuplicatesListView->OnCustomDrawItem = [](const TListItem& I, TListItemLook& L) {
        if (I.SubItems.value(4) == "0") {
            L.Brush = QColor(245, 245, 245);
            L.FontColor = Qt::blue;
            L.Bold = true;
        }
    };
    Form->DuplicatesListView->SetItemCount(9);
    Form->FormResize(nullptr);
    Form->abStatus->setText("3 duplicate groups found where 6 Files are contained within.");
    Save("page2-results");
    Form->DataNotebook->setCurrentIndex(3);
    for (TImageEx* B : {Form->BackButton, Form->DeleteButton, Form->ExportButton}) B->hide();
    Form->FinishButton->show();
    new QTreeWidgetItem(Form->FinishListView, {"/home/anna/Pictures/1/holiday.jpg", "Succeeded"});
    new QTreeWidgetItem(Form->FinishListView, {"/home/anna/Pictures/2/holiday.jpg", "Failed"});
    Save("page3-summary");
}
