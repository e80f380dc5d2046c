// The mailbox component: messages and cards read from the sample mailbox,
// the folders' order and EntryIDs, and removal that never destroys.
#include "platform/Mailbox.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/common/MailboxFixture.h"

using namespace plat;
using corvane_test::ScopedMailbox;

namespace {

std::string ReadFile(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
}

struct TMailRow {
    const char* Name;
    const char* File;  // under the sample Maildir
    const char* Subject;
    const char* Sender;
    const char* Body;  // the start of the text body
    const char* Html;
    bool HasDate;
};

class MailRead : public ::testing::TestWithParam<TMailRow> {};

TEST_P(MailRead, DecodesHeadersAndBodies) {
    const TMailRow& R = GetParam();
    TMailFields F;
    std::string Error;
    ASSERT_TRUE(ReadMailFile(std::string(CORVANE_OUTLOOK_SAMPLES) + "/Maildir/" + R.File, true, F, Error)) << Error;
    EXPECT_EQ(F.Subject, R.Subject);
    EXPECT_EQ(F.SenderName, R.Sender);
    EXPECT_EQ(F.Body.substr(0, std::string(R.Body).size()), R.Body);
    EXPECT_EQ(F.HTMLBody, R.Html);
    EXPECT_EQ(F.HasDate, R.HasDate);
    // The header block alone gives the same headers.
    TMailFields H;
    ASSERT_TRUE(ReadMailFile(std::string(CORVANE_OUTLOOK_SAMPLES) + "/Maildir/" + R.File, false, H, Error));
    EXPECT_EQ(H.Subject, F.Subject);
    EXPECT_EQ(H.Date, F.Date);
    EXPECT_TRUE(H.Body.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Samples, MailRead,
    ::testing::Values(
        TMailRow{"Base64Utf8Subject", "new/1705053600.M3P100.host", "Meeting notes", "Björn", "Third copy", "", true},
        TMailRow{"QLatin1SubjectAndBody", "cur/1705226400.M5P100.host:2,S", "Café au lait", "François",
                 "Un café, s'il vous plaît.", "", true},
        TMailRow{"Base64Body", "cur/1705312800.M6P100.host:2,S", "Café au lait", "François",
                 "Un café, s'il vous plaît.", "", true},
        TMailRow{"NoSubjectAddressOnly", "cur/1705399200.M7P100.host:2,S", "", "carol@example.org", "No subject",
                 "", true},
        TMailRow{"NoDate", "cur/1705485600.M8P100.host:2,S", "", "Carol", "An empty subject", "", false},
        TMailRow{"FoldedSubject", "cur/1705572000.M9P100.host:2,S", "Quarterly report", "Dave", "The subject", "",
                 true},
        TMailRow{"AlternativeQpAndBase64", "cur/1705744800.M11P100.host:2,S", "Invoice 2024-001", "Erin",
                 "Your invoice: 42 €.", "<p>Your invoice: 42 €.</p>", true},
        TMailRow{"AttachmentIsNoBody", "cur/1705831200.M12P100.host:2,S", "Fwd: Invoice 2024-001", "Erin",
                 "Your invoice: 42 €.", "<p>Your invoice: 42 €.</p>", true},
        TMailRow{"NoTextPart", "cur/1706004014.M14P100.host:2,S", "Picture 14", "Frank", "", "", true}),
    [](const auto& I) { return std::string(I.param.Name); });

struct TCardRow {
    const char* Name;
    const char* File;
    int Index;  // the card's place in its file
    const char *Full, *First, *Last, *Nick, *Emails, *Work, *Uid;
};

class CardRead : public ::testing::TestWithParam<TCardRow> {};

TEST_P(CardRead, ReadsEveryVersion) {
    const TCardRow& R = GetParam();
    const std::string Text = ReadFile(std::string(CORVANE_OUTLOOK_SAMPLES) + "/.contacts/" + R.File);
    const std::vector<TVCardSpan> Spans = SplitVCards(Text);
    ASSERT_LT(size_t(R.Index), Spans.size());
    const TVCard C = ParseVCard(std::string_view(Text).substr(Spans[size_t(R.Index)].Offset, Spans[size_t(R.Index)].Length));
    std::string Emails;
    for (const std::string& E : C.Emails) Emails += (Emails.empty() ? "" : ",") + E;
    EXPECT_EQ(C.FullName, R.Full);
    EXPECT_EQ(C.FirstName, R.First);
    EXPECT_EQ(C.LastName, R.Last);
    EXPECT_EQ(C.Nickname, R.Nick);
    EXPECT_EQ(Emails, R.Emails);
    EXPECT_EQ(C.WorkPhone, R.Work);
    EXPECT_EQ(C.Uid, R.Uid);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, CardRead,
    ::testing::Values(
        TCardRow{"V30FoldedEmail", "friends.vcf", 0, "Anna Smith", "Anna", "Smith", "Annie", "anna@example.com",
                 "+1 555 0100", "urn:uuid:2f1c6a1e-0001"},
        TCardRow{"V30WorkTypeLowerCase", "friends.vcf", 1, "Anna Smith", "Anna", "Smith", "",
                 "anna.smith@work.example,anna@example.com", "  +1 555 0100  ", "urn:uuid:2f1c6a1e-0002"},
        TCardRow{"NoNameNoEmail", "friends.vcf", 2, "Nobody Known", "", "", "", "", "", ""},
        TCardRow{"V30Escapes", "friends.vcf", 3, "Pat O,Brien", "Pat", "O,Brien", "", "pat@example.net", "", ""},
        TCardRow{"V21QuotedPrintableLatin1", "legacy.vcf", 0, "Jürgen Müller", "Jürgen", "Müller", "Jue",
                 "juergen@example.de", "+49 30 1234", ""},
        TCardRow{"V21AfterSoftBreak", "legacy.vcf", 1, "No Name Either", "", "", "", "someone@example.de", "", ""},
        TCardRow{"V40QuotedTypesAndUri", "modern.vcf", 0, "Anna Smith", "Anna", "Smith", "Annie",
                 "annie@home.example,anna.s@example.org,anna@example.com", "+1-555-0100", "urn:uuid:2f1c6a1e-0003"}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(VCardSplit, NestedCardsBelongToTheirOuterCardAndUnendedCardsAreNone) {
    const std::string Text = "BEGIN:VCARD\nFN:A\nAGENT:BEGIN:VCARD\nBEGIN:VCARD\nFN:Inner\nEND:VCARD\nEND:VCARD\n"
                             "BEGIN:VCARD\nFN:Cut\n";
    const auto Spans = SplitVCards(Text);
    ASSERT_EQ(Spans.size(), 1u);
    EXPECT_EQ(ParseVCard(Text.substr(Spans[0].Offset, Spans[0].Length)).FullName, "A");
}

TEST(Mailbox, ApplicationNeedsOneOfTheTwoPlaces) {
    ScopedMailbox Box(false);
    EXPECT_THROW(CreateOleObject("Outlook.Application"), EOutlookError);
    Box.Tree.Dir("home/.contacts");
    auto NameSpace = CreateOleObject("Outlook.Application")->GetNameSpace("MAPI");
    EXPECT_EQ(NameSpace->GetDefaultFolder(olFolderContacts)->Items()->Count(), 0);
    EXPECT_THROW(NameSpace->GetDefaultFolder(olFolderInbox), EOutlookError);
}

TEST(Mailbox, InboxListsNewAndCurInNameOrderWithUniqueEntryIDs) {
    ScopedMailbox Box;
    Box.Tree.File("home/Maildir/new/.hidden", {.Content = "x"});
    Box.Tree.Link("home/Maildir/cur/link:2,S", "1704880800.M1P100.host:2,S");
    // A copy that differs only in its flags must not share the first's EntryID.
    Box.Tree.File("home/Maildir/cur/1704880800.M1P100.host:2,RS", {.Content = "Subject: copy\n\n"});
    auto Items = CreateOleObject("Outlook.Application")->GetNameSpace("MAPI")->GetDefaultFolder(6)->Items();
    ASSERT_EQ(Items->Count(), 16);
    EXPECT_EQ(Items->Item(1)->EntryID(), "cur/1704880800.M1P100.host:2,RS");
    EXPECT_EQ(Items->Item(2)->EntryID(), "cur/1704880800.M1P100.host:2,S");
    EXPECT_EQ(Items->Item(4)->EntryID(), "1705053600.M3P100.host");  // from new/, in name order
    EXPECT_THROW(Items->Item(17), EOutlookError);
}

TEST(Mailbox, ReceivedTimeFallsBackToTheFileTime) {
    ScopedMailbox Box;
    Box.Tree.SetMTime("home/Maildir/cur/1705485600.M8P100.host:2,S", 1705480200);
    auto Items = CreateOleObject("Outlook.Application")->GetNameSpace("MAPI")->GetDefaultFolder(6)->Items();
    for (int I = 1; I <= Items->Count(); ++I) {
        const auto Item = Items->Item(I);
        auto* M = dynamic_cast<TMailItem*>(Item.get());
        ASSERT_NE(M, nullptr);
        if (M->EntryID() == "1705485600.M8P100.host") {
            EXPECT_EQ(M->ReceivedTime(), FileTimeToLocalDateTime(TimespecToFileTime({1705480200, 0})));
        } else if (M->EntryID() == "1705399200.M7P100.host") {
            EXPECT_EQ(M->ReceivedTime(), FileTimeToLocalDateTime(TimespecToFileTime({1705399200, 0})));
        }
    }
}

TEST(Mailbox, MessageMovesIntoTrashFolderWithoutReplacingAnything) {
    ScopedMailbox Box;
    const std::string Name = "1704880800.M1P100.host:2,S";
    Box.Tree.File("home/Maildir/.Trash/cur/" + Name, {.Content = "an older message"});
    auto Items = CreateOleObject("Outlook.Application")->GetNameSpace("MAPI")->GetDefaultFolder(6)->Items();
    const std::string Text = ReadFile(Box.Maildir("cur/" + Name));
    Items->Item(1)->Delete();
    EXPECT_FALSE(Box.Tree.Exists("home/Maildir/cur/" + Name));
    EXPECT_EQ(Box.Tree.Read("home/Maildir/.Trash/cur/" + Name), "an older message");
    EXPECT_EQ(Box.Tree.Read("home/Maildir/.Trash/cur/1704880800.M1P100.host.1:2,S"), Text);
    EXPECT_TRUE(Box.Tree.Exists("home/Maildir/.Trash/new"));
    EXPECT_THROW(Items->Item(1)->Delete(), EOutlookError);  // gone: refused, not "succeeded"
    EXPECT_THROW(Items->Item(1)->display(), EOutlookError);
}

TEST(Mailbox, CardGoesToTrashAndItsFileKeepsTheOthers) {
    ScopedMailbox Box;
    const std::string Before = ReadFile(Box.Contacts("friends.vcf"));
    auto Folder = CreateOleObject("Outlook.Application")->GetNameSpace("MAPI")->GetDefaultFolder(10);
    auto Items = Folder->Items();
    ASSERT_EQ(Items->Count(), 8);
    const std::string PatId = Items->Item(4)->EntryID();
    EXPECT_EQ(PatId.substr(0, 12), "friends.vcf#");

    // The trash refuses: nothing changes.
    Box.TrashWorks = false;
    EXPECT_THROW(Items->Item(2)->Delete(), EOutlookError);
    EXPECT_EQ(ReadFile(Box.Contacts("friends.vcf")), Before);

    Box.TrashWorks = true;
    const std::string Second = dynamic_cast<TContactItem&>(*Items->Item(2)).Text();
    Items->Item(2)->Delete();
    ASSERT_EQ(Box.Trashed.size(), 1u);
    EXPECT_EQ(ReadFile(Box.Trashed[0]), Second);
    EXPECT_EQ(std::filesystem::path(Box.Trashed[0]).filename().string(), "0-Anna Smith.vcf");
    const std::string After = ReadFile(Box.Contacts("friends.vcf"));
    EXPECT_EQ(After, Before.substr(0, Before.find(Second)) + Before.substr(Before.find(Second) + Second.size()));

    // The other cards keep their EntryIDs.
    auto Fresh = Folder->Items();
    ASSERT_EQ(Fresh->Count(), 7);
    EXPECT_EQ(Fresh->Item(3)->EntryID(), PatId);
    // The only card of a file: the file itself goes to the trash.
    Box.Tree.File("home/.contacts/solo.vcf", {.Content = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Solo\r\nEND:VCARD\r\n"});
    Fresh = Folder->Items();
    Fresh->Item(Fresh->Count())->Delete();
    EXPECT_FALSE(Box.Tree.Exists("home/.contacts/solo.vcf"));
    EXPECT_EQ(std::filesystem::path(Box.Trashed.back()).filename().string(), "1-solo.vcf");
}

TEST(Mailbox, CardsSharingTheirUidGetDistinctEntryIDs) {
    ScopedMailbox Box;
    const std::string Card = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Twin\r\nUID:same\r\nEND:VCARD\r\n";
    Box.Tree.File("home/.contacts/twins.vcf", {.Content = Card + Card.substr(0, Card.size() - 11) + "NOTE:x\r\nEND:VCARD\r\n"});
    auto Items = CreateOleObject("Outlook.Application")->GetNameSpace("MAPI")->GetDefaultFolder(10)->Items();
    const std::string A = Items->Item(Items->Count() - 1)->EntryID(), B = Items->Item(Items->Count())->EntryID();
    EXPECT_NE(A, B);
    EXPECT_EQ(A.substr(0, 10), "twins.vcf#");
    Items->Item(Items->Count())->display();
    EXPECT_EQ(Box.Opened, std::vector<std::string>{Box.Contacts("twins.vcf")});
}

} // namespace
