// The Outlook mode in the window: a scan of the sample mailbox, the double
// click that shows an item, the deletion with its summary, and a mailbox
// that cannot be read or has gone after the scan.
#include <QItemSelectionModel>
#include <filesystem>

#include "tests/common/MailboxFixture.h"
#include "tests/finder/window/ScanWindowSupport.h"

using namespace corvane_test;

class OutlookWindowTest : public ScanWindowTest {
protected:
    ScopedMailbox Box;

    void ScanOutlook(bool Contacts) {
        Form->SwitchMode(2);
        if (Contacts) ClickOption(Form->rbLinkman);
        Scan();
    }
    void DoubleClick(int Row) {
        Form->DuplicatesListView->selectionModel()->select(Form->DuplicatesListView->model()->index(Row, 0),
                                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        Form->DuplicatesListViewDblClick(Form->DuplicatesListView);
    }
    std::string Status(int Row) { return Form->FinishListView->topLevelItem(Row)->text(1).toStdString(); }
};

TEST_F(OutlookWindowTest, MailScanShowsGroupsOpensAndDeletesTheTickedMessage) {
    ScanOutlook(false);
    EXPECT_TRUE(Boxes.empty());
    ASSERT_EQ(Form->DataNotebook->currentIndex(), 2);
    EXPECT_EQ(Form->FRunState, rsFinished);
    EXPECT_EQ(Form->abStatus->text().toStdString(), "4 duplicate groups found where 9 Emails are contained within.");
    EXPECT_EQ(Form->abDupFiles->text(), "9");
    const auto R = Rows();
    ASSERT_EQ(R.size(), 13u);
    EXPECT_EQ(R[0].Caption, "Meeting notes");
    EXPECT_EQ(R[1].SubItems[5], "1705053600.M3P100.host");  // newest received first

    DoubleClick(0);  // a header: nothing
    DoubleClick(1);
    EXPECT_EQ(Box.Opened, std::vector<std::string>{Box.Maildir("new/1705053600.M3P100.host")});

    ClickTick(2);
    Answers = {plat::IDYES};
    ClickButton(Form->DeleteButton);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "The mails will be permanently deleted and can not recovered!\r\rAre you sure to proceed?");
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 3);
    EXPECT_EQ(Buttons(), "F");
    ASSERT_EQ(Form->FinishListView->topLevelItemCount(), 1);
    EXPECT_EQ(Form->FinishListView->topLevelItem(0)->text(0).toStdString(), "Meeting notes");
    EXPECT_EQ(Status(0), "Succeeded");
    EXPECT_EQ(Form->DelStatus2->text().toStdString(), "1 mails have been deleted successfully.");
    EXPECT_TRUE(Box.Tree.Exists("home/Maildir/.Trash/cur/1704967200.M2P100.host:2,S"));
    EXPECT_FALSE(Box.Tree.Exists("home/Maildir/cur/1704967200.M2P100.host:2,S"));
}

TEST_F(OutlookWindowTest, ContactScanDeletesTheTickedCardIntoTheTrash) {
    ScanOutlook(true);
    ASSERT_EQ(Form->DataNotebook->currentIndex(), 2);
    EXPECT_EQ(Form->abStatus->text().toStdString(), "3 duplicate groups found where 7 Contacts are contained within.");
    const int Anna = HeaderRow("Anna Smith ");
    ASSERT_GE(Anna, 0);
    ClickTick(Anna);  // every member but the first
    Answers = {plat::IDYES};
    ClickButton(Form->DeleteButton);
    ASSERT_EQ(Form->FinishListView->topLevelItemCount(), 2);
    EXPECT_EQ(Status(0), "Succeeded");
    EXPECT_EQ(Status(1), "Succeeded");
    EXPECT_EQ(Box.Trashed.size(), 2u);
    EXPECT_EQ(Form->DelStatus1->text().toStdString(),
              "7 contacts have been found. 2 contacts were selected for deletion.");
}

TEST_F(OutlookWindowTest, UnreadableMailboxEndsTheScanWithAMessage) {
    std::filesystem::remove_all(Box.Maildir("cur"));
    Box.Tree.File("home/Maildir/cur", {.Content = "not a folder"});
    ScanOutlook(false);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_NE(Boxes[0].Text.find("/cur cannot be read"), std::string::npos) << Boxes[0].Text;
    EXPECT_EQ(Boxes[0].Caption, "Corvane - Error");
    EXPECT_EQ(Form->FRunState, rsFinished);
    EXPECT_FALSE(Form->ScanTimer->isActive());
    EXPECT_EQ(Form->DataNotebook->currentIndex(), 3);
    EXPECT_TRUE(ModeButtonsEnabled());
}

TEST_F(OutlookWindowTest, MailboxGoneAfterTheScanGivesMessagesNotACrash) {
    ScanOutlook(false);
    ASSERT_EQ(Rows().size(), 13u);
    std::filesystem::remove_all(Box.Maildir());
    DoubleClick(1);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_NE(Boxes[0].Text.find("can no longer be found"), std::string::npos) << Boxes[0].Text;
    EXPECT_TRUE(Box.Opened.empty());

    ClickTick(2);
    Answers = {plat::IDYES};
    ClickButton(Form->DeleteButton);
    ASSERT_EQ(Boxes.size(), 3u);  // the question, then the reason
    EXPECT_NE(Boxes[2].Text.find("does not exist"), std::string::npos) << Boxes[2].Text;
    EXPECT_EQ(Status(0), "Failed");
    EXPECT_EQ(Form->DelStatus3->text().toStdString(), "Fail to delete 1 mails.");
}
