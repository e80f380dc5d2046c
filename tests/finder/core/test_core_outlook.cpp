// The Outlook mode's core: the digest, the indexed matching held against a
// plain reference, the sample mailbox's groups and rows, the stop,
// and the deletion by EntryID.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "finder/core/MD5Unit.h"
#include "finder/core/OutlookResults.h"
#include "finder/core/OutlookScan.h"
#include "tests/common/Fifo.h"
#include "tests/common/MailboxFixture.h"

using namespace finder;
using corvane_test::ScopedMailbox;
using corvane_test::WaitsOnFifo;
using namespace std::string_literals;

namespace {

TEST(MD5, KnownDigests) {
    const std::pair<std::string, const char*> Suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {std::string("a\0b", 3), "70350f6027bce3713f6b76473084309b"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"}};
    for (const auto& [Text, Digest] : Suite) EXPECT_EQ(MD5Print(MD5String(Text)), Digest) << Text;
}

// ---- matching against the plain rule: every group in turn, first match wins ----

template <class V>
void Feed(TOutlookScan& Scan, const V& Item) {
    bool Unmatched = true;
    Scan.MatchOutlookItem(Unmatched, Item);
    if (Unmatched) Scan.NewOutlookGroup(Item);
}

std::string Shape(const TGroupList& Groups) {
    std::string S;
    for (const auto& G : Groups) {
        S += '[';
        if (G->Kind() == TGroupKind::Mail)
            for (const auto& M : static_cast<const TSearchStatMail&>(*G).Mails) S += M.EntryID + ' ';
        else
            for (const auto& C : static_cast<const TSearchStatContact&>(*G).Contacts) S += C.EntryID + ' ';
        S += ']';
    }
    return S;
}

// The plain rule: an item goes to the first group whose first item it
// matches, and joins it when the extra conditions hold; else it opens one.
template <class V, class Match, class Keep>
std::string Reference(const std::vector<V>& Items, Match Matches, Keep Joins) {
    std::vector<std::vector<const V*>> Groups;
    for (const V& Item : Items) {
        auto G = std::find_if(Groups.begin(), Groups.end(), [&](const auto& G) { return Matches(*G[0], Item); });
        if (G == Groups.end()) Groups.push_back({&Item});
        else if (Joins(*(*G)[0], Item)) G->push_back(&Item);
    }
    std::string S;
    for (const auto& G : Groups) {
        S += '[';
        for (const V* Item : G) S += Item->EntryID + ' ';
        S += ']';
    }
    return S;
}

TEST(OutlookMatching, IndexedMatchingGivesThePlainRulesGroups) {
    std::mt19937 R(11);
    auto Pick = [&](std::initializer_list<const char*> L) { return std::string(*(L.begin() + R() % L.size())); };
    for (int Round = 0; Round < 40; ++Round) {
        std::vector<TMailValues> Mails(120);
        std::vector<TContactValues> Contacts(120);
        for (size_t I = 0; I < Mails.size(); ++I) {
            TMailValues& M = Mails[I];
            M.Subject = Pick({"a", "A", "", "b"});
            M.BodyDigest = Pick({"d1", "d2", ""});
            M.HTMLBodyDigest = Pick({"h1", "h2", ""});
            M.SenderName = Pick({"s", "t"});
            M.Received = R() % 2, M.Size = R() % 2;
            M.EntryID = "m" + std::to_string(I);
            TContactValues& C = Contacts[I];
            C.FirstName = Pick({"", "A", "B"}), C.LastName = Pick({"", "A"});
            C.Nickname = Pick({"", "n", "m"});
            C.Email1Address = Pick({"", "x", "y", "z", "w", "v"});
            C.Email2Address = Pick({"", "x", "y", "z", "w", "v"});
            C.Email3Address = Pick({"", "", "x", "u"});
            C.Phone = " 1 ", C.EntryID = "c" + std::to_string(I);
        }
        TOutlookOptions O;
        O.Criterion = Round % 2 ? TScanKind::FileBye : TScanKind::FileName;
        O.SameDate = Round & 2, O.SameSize = Round & 4, O.SameSender = Round & 8;
        uint8_t State = rsRunning;
        TGroupList Groups;
        TOutlookScan Scan(O, State, Groups);
        for (const TMailValues& M : Mails) Feed(Scan, M);
        // An empty key (no subject; no body of any kind) never matches.
        auto SameKey = [&](const TMailValues& F, const TMailValues& V) {
            return O.Criterion == TScanKind::FileName ? !V.Subject.empty() && F.Subject == V.Subject
                                                      : !(V.BodyDigest + V.HTMLBodyDigest).empty() &&
                                                            F.BodyDigest + "|" + F.HTMLBodyDigest == V.BodyDigest + "|" + V.HTMLBodyDigest;
        };
        auto Joins = [&](const TMailValues& F, const TMailValues& V) {
            return (!O.SameDate || V.Received == F.Received) && (!O.SameSize || V.Size == F.Size) &&
                   (!O.SameSender || V.SenderName == F.SenderName);
        };
        ASSERT_EQ(Shape(Groups), Reference(Mails, SameKey, Joins)) << "round " << Round;

        const TScanKind Kinds[] = {TScanKind::FileName, TScanKind::FileBye, TScanKind::Title};
        O.Kind = 2;
        O.Criterion = Kinds[Round % 3];
        TGroupList CGroups;
        TOutlookScan CScan(O, State, CGroups);
        for (const TContactValues& C : Contacts) Feed(CScan, C);
        auto SameContact = [&](const TContactValues& F, const TContactValues& V) {
            if (O.Criterion != TScanKind::FileBye)
                return O.Criterion == TScanKind::Title ? !V.Nickname.empty() && F.Nickname == V.Nickname
                                                       : !(V.FirstName + V.LastName).empty() && F.FirstName == V.FirstName &&
                                                             F.LastName == V.LastName;
            for (const std::string* A : {&F.Email1Address, &F.Email2Address, &F.Email3Address})
                if (!A->empty() && (*A == V.Email1Address || *A == V.Email2Address || *A == V.Email3Address)) return true;
            return false;
        };
        ASSERT_EQ(Shape(CGroups), Reference(Contacts, SameContact, [](auto&, auto&) { return true; })) << "round " << Round;
        for (const auto& G : CGroups) {  // the first contact's phone as read, a joining one's trimmed
            const auto& Members = static_cast<const TSearchStatContact&>(*G).Contacts;
            for (const auto& M : Members) ASSERT_EQ(M.BusinessTelephoneNumber, &M == &Members[0] ? " 1 " : "1");
        }
    }
}

// ---- the sample mailbox through the whole scan ----

struct TSampleRow {
    const char* Name;
    int Kind;
    TScanKind Criterion;
    const char* Rows;  // header captions and member EntryIDs as the rows show them
};

class SampleScan : public ::testing::TestWithParam<TSampleRow> {};

TEST_P(SampleScan, FindsThePartsGroups) {
    ScopedMailbox Box;
    const TSampleRow& P = GetParam();
    TOutlookOptions O;
    O.Kind = P.Kind;
    O.Criterion = P.Criterion;
    uint8_t State = rsRunning;
    TGroupList Groups;
    TOutlookScan Scan(O, State, Groups);
    EXPECT_FALSE(Scan.Run().Failed);
    EXPECT_EQ(State, rsFinished);
    TRowList Rows;
    const std::string Status = BuildOutlookRows(Groups, P.Kind == 1, P.Kind == 1 ? 3 : 0, 0, Rows);
    std::string S;
    int Headers = 0;
    for (const auto& Row : Rows) {
        TRowTexts T;
        ASSERT_TRUE(OutlookRowTexts(*Row, T));
        const std::string& Id = T.SubItems[5];
        Headers += Row->RowKind == 0;
        S += Row->RowKind == 0 ? "|" + T.Caption + ":" : " " + Id.substr(0, Id.find('#') == std::string::npos ? 12 : Id.find('#') + 1);
    }
    EXPECT_EQ(S, P.Rows);
    EXPECT_EQ(Status, std::to_string(Headers) + " duplicate groups found where " + std::to_string(Rows.size() - Headers) +
                          (P.Kind == 1 ? " Emails" : " Contacts") + " are contained within.");
}

INSTANTIATE_TEST_SUITE_P(
    Samples, SampleScan,
    ::testing::Values(
        TSampleRow{"MailSubject", 1, TScanKind::FileName,
                   "|Meeting notes: 1704880800.M 1704967200.M 1705053600.M|Café au lait: 1705226400.M 1705312800.M"
                   "|Quarterly report: 1705572000.M 1705658400.M"},
        TSampleRow{"MailContent", 1, TScanKind::FileBye,
                   "|Invoice 2024-001: 1705744800.M 1705831200.M|Picture 14: 1706004014.M 1706004015.M"},
        TSampleRow{"ContactName", 2, TScanKind::FileName,
                   "|Anna Smith : urn:uuid:2f1 urn:uuid:2f1 urn:uuid:2f1|Jürgen Müller : legacy.vcf# modern.vcf#"},
        TSampleRow{"ContactEmail", 2, TScanKind::FileBye,
                   "|Anna Smith : urn:uuid:2f1 urn:uuid:2f1 urn:uuid:2f1|Jürgen Müller : legacy.vcf# modern.vcf#"},
        TSampleRow{"ContactNickname", 2, TScanKind::Title,
                   "|Anna Smith : urn:uuid:2f1 urn:uuid:2f1|Jürgen Müller : legacy.vcf# modern.vcf#"}),
    [](const auto& I) { return std::string(I.param.Name); });

// ---- two messages, a and b, side by side ----

struct TPairRow {
    const char* Name;
    TScanKind Criterion;
    std::string A, B;
    const char* Groups;  // then the items that could not be read
    bool SameSender = false;
};

class MailPair : public ::testing::TestWithParam<TPairRow> {};

// Line ends are no content, nor is an empty subject or body a key; texts
// are compared whole, NUL bytes and all; what the window shows of an item is
// cut and holds no NUL; a header block over the limit is unread.
TEST_P(MailPair, GroupsWhatIsTheSame) {
    ScopedMailbox Box(false);
    Box.Tree.File("home/Maildir/cur/a", {.Content = GetParam().A});
    Box.Tree.File("home/Maildir/cur/b", {.Content = GetParam().B});
    TOutlookOptions O;
    O.Criterion = GetParam().Criterion;
    O.SameSender = GetParam().SameSender;
    O.PumpIntervalMs = 0;
    uint8_t State = rsRunning;
    TGroupList Groups;
    std::vector<std::string> Shown;
    TOutlookScan Scan(O, State, Groups, {[] {}, [&](const std::string& C) { Shown.push_back(C); }});
    Scan.Run();
    EXPECT_EQ(Shape(Groups) + " " + std::to_string(Scan.ItemsSkipped()), GetParam().Groups);
    TRowList Rows;
    BuildOutlookRows(Groups, true, 0, 0, Rows);
    for (const auto& Row : Rows) {
        TRowTexts T;
        OutlookRowTexts(*Row, T);
        Shown.push_back(T.Caption);
    }
    for (const std::string& Text : Shown) {
        EXPECT_LE(Text.size(), ShownChars + 3);
        EXPECT_EQ(Text.find('\0'), std::string::npos);
    }
}

const std::string Pad(1100000, 'x');
// Text as UTF-16LE, as a mail program may send it without naming a charset.
std::string Utf16(std::string_view Text) {
    std::string Out;
    for (char C : Text) Out += {C, '\0'};
    return Out;
}

const std::string Attached = "Subject: Pictures\nContent-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: image/png\n"
                             "Content-Transfer-Encoding: base64\n\n";

INSTANTIATE_TEST_SUITE_P(
    Pairs, MailPair,
    ::testing::Values(
        TPairRow{"CrlfCopy", TScanKind::FileBye, "Subject: s\n\nline\n\nend\n", "Subject: s\r\n\r\nline\r\n\r\nend\r\n", "[a b ] 0"},
        TPairRow{"OtherAttachments", TScanKind::FileBye, Attached + "AAAA\n--b--\n", Attached + "BBBB\n--b--\n", "[a ][b ] 0"},
        TPairRow{"NoBodyAtAll", TScanKind::FileBye, "Subject: s\n\n", "Subject: t\n", "[a ][b ] 0"},
        TPairRow{"NoSubject", TScanKind::FileName, "Subject: \n\nx\n", "From: f@example.org\n\ny\n", "[a ][b ] 0"},
        TPairRow{"LongSubject", TScanKind::FileName, "Subject: " + Pad.substr(0, 5000) + "\n\nx\n",
                 "Subject: " + Pad.substr(0, 5000) + "\n\ny\n", "[a b ] 0"},
        TPairRow{"LongHeader", TScanKind::FileName, "X-Pad: " + Pad + "\nSubject: s\n\n", "Subject:\n\n", "[b ] 1"},
        TPairRow{"LongHeaderContent", TScanKind::FileBye, "X-Pad: " + Pad + "\n\nx\n", "Subject: s\n\nx\n", "[b ] 1"},
        TPairRow{"NulInBody", TScanKind::FileBye, "Subject: s\n\nPlease pay\0 account 1111\n"s,
                 "Subject: s\n\nPlease pay\0 account 9999\n"s, "[a ][b ] 0"},
        TPairRow{"Utf16Body", TScanKind::FileBye, "Subject: s\n\n" + Utf16("Order 1\n"),
                 "Subject: s\n\n" + Utf16("Order 2\n"), "[a ][b ] 0"},
        TPairRow{"NulInSubject", TScanKind::FileName, "Subject: Please pay\0 account 1111\n\nx\n"s,
                 "Subject: Please pay\0 account\n =?utf-8?q?9999?=\n\nx\n"s, "[a ][b ] 0"},
        TPairRow{"NulInSender", TScanKind::FileName, "Subject: s\nFrom: Bank\0 A <a@example.org>\n\nx\n"s,
                 "Subject: s\nFrom: Bank\0 B <b@example.org>\n\nx\n"s, "[a ] 0", true}),
    [](const auto& I) { return std::string(I.param.Name); });

// An item that cannot be read (gone, or a FIFO in its place, which is never
// waited on) is passed over, a mailbox that cannot be read ends the run with
// the reason; Stop ends the walk after the current item.
TEST(OutlookScanRun, UnreadableItemsAndStop) {
    ScopedMailbox Box;
    TOutlookOptions O;
    O.PumpIntervalMs = 0;
    uint8_t State = rsRunning;
    TGroupList Groups;
    TOutlookScan Scan(O, State, Groups);
    auto Items = plat::CreateOleObject("Outlook.Application")->GetNameSpace("MAPI")->GetDefaultFolder(6)->Items();
    std::filesystem::remove(Box.Maildir("cur/1704967200.M2P100.host:2,S"));  // gone after the listing
    const std::string Fifo = Box.Maildir("cur/1705399200.M7P100.host:2,S");
    std::filesystem::remove(Fifo);
    Box.Tree.Fifo("home/Maildir/cur/1705399200.M7P100.host:2,S");
    ASSERT_FALSE(WaitsOnFifo(Fifo, [&] { Scan.OutlookScanFolder(*Items, 1); }));
    Scan.OutlookScanFolder(*Items, 1);
    EXPECT_EQ(Scan.ItemsSkipped(), 2);
    EXPECT_EQ(Scan.ItemsRead(), 13);
    EXPECT_EQ(Groups[0]->Count, 2);

    TGroupList Stopped;
    TOutlookScan Stopping(O, State = rsRunning, Stopped, {[&] { State = rsStopRequested; }, {}});
    Stopping.Run();
    // The next item sees the stop before any comparison and opens its own group.
    EXPECT_EQ(Shape(Stopped), "[1704880800.M1P100.host ][1705053600.M3P100.host ]");
    EXPECT_EQ(State, rsStopRequested);

    std::filesystem::remove_all(Box.Maildir("cur"));
    Box.Tree.File("home/Maildir/cur", {.Content = "no folder"});
    TGroupList None;
    const TScanOutcome Outcome = TOutlookScan(O, State = rsRunning, None).Run();
    EXPECT_TRUE(Outcome.Failed);
    EXPECT_NE(Outcome.Error.find("/cur cannot be read"), std::string::npos) << Outcome.Error;
    EXPECT_EQ(State, rsFinished);
}

// ---- deletion ----

// Ticked mails go to the trash found by EntryID, across the indexes that
// shift as they go, and only while they are the files the scan read and a
// copy the user keeps is still there as read; a mail gone since the scan
// fails and nothing is taken in its place; with the mailbox gone every
// ticked row fails with the reason. Two cards of one file go, each to be
// restored under a name of its own, and a card whose kept copy is gone stays.
TEST(OutlookDelete, OnlyTheScannedItemsAndNeverTheLastCopy) {
    ScopedMailbox Box;
    TOutlookOptions O;
    uint8_t State = rsRunning;
    TGroupList Groups;
    TOutlookScan Scan(O, State, Groups);
    Scan.Run();
    std::shared_ptr<plat::TOutlookItems> Folder = Scan.OutlookFolder;
    TRowList Rows;
    BuildOutlookRows(Groups, true, 2, 1, Rows);
    // Rows: "Meeting notes" newest first (M3, M2, M1), "Café au lait" (M6, M5), "Quarterly report" (M10, M9).
    for (size_t I : {0u, 1u, 3u, 5u, 6u, 9u}) Rows[I]->Checked = true;  // a header is never removed
    std::filesystem::remove(Box.Maildir("cur/1705312800.M6P100.host:2,S"));
    // Another program marks M1 answered: its flags change, its EntryID stays.
    std::filesystem::rename(Box.Maildir("cur/1704880800.M1P100.host:2,S"), Box.Maildir("cur/1704880800.M1P100.host:2,RS"));
    // Another message takes M3's name; M9's only kept copy goes.
    std::filesystem::remove(Box.Maildir("new/1705053600.M3P100.host"));
    Box.Tree.File("home/Maildir/new/1705053600.M3P100.host", {.Content = "Subject: another\n\n"});
    std::filesystem::remove(Box.Maildir("cur/1705658400.M10P100.host:2,S"));
    TDeleteSummary S;
    std::string Error;
    auto Outcomes = [&] {
        std::string O;
        for (const TDeleteOutcome& I : S.Items) O += I.Succeeded ? 'S' : 'F';
        return O;
    };
    EXPECT_EQ(DeleteOutlookSelected(Rows, true, Scan.NameSpace.get(), Folder, S, Error), 5);
    EXPECT_EQ(Outcomes(), "FSFSF");  // M3 M1 M6 M5 M9
    for (const char* Rel : {".Trash/cur/1704880800.M1P100.host:2,RS", "cur/1704967200.M2P100.host:2,S",
                            ".Trash/cur/1705226400.M5P100.host:2,S", "cur/1705572000.M9P100.host:2,S"})
        EXPECT_TRUE(Box.Tree.Exists("home/Maildir/" + std::string(Rel))) << Rel;
    EXPECT_EQ(Box.Tree.Read("home/Maildir/new/1705053600.M3P100.host"), "Subject: another\n\n");
    EXPECT_EQ(S.DelStatus1, "7 mails have been found. 5 mails were selected for deletion.");
    EXPECT_EQ(S.DelStatus3, "Fail to delete 3 mails.");

    Rows[2]->Checked = true;
    std::filesystem::remove_all(Box.Maildir());
    Folder.reset();
    EXPECT_EQ(DeleteOutlookSelected(Rows, true, Scan.NameSpace.get(), Folder, S, Error), 6);
    EXPECT_EQ(S.Failed, 6);
    EXPECT_NE(Error.find("does not exist"), std::string::npos) << Error;

    O.Kind = 2;
    TGroupList Cards;
    TOutlookScan CardScan(O, State = rsRunning, Cards);
    CardScan.Run();
    Folder = CardScan.OutlookFolder;
    BuildOutlookRows(Cards, false, 0, 0, Rows);
    // Rows: "Anna Smith" (friends.vcf twice, modern.vcf), "Jürgen Müller" (legacy.vcf, modern.vcf).
    for (size_t I : {1u, 2u, 6u}) Rows[I]->Checked = true;
    std::filesystem::remove(Box.Contacts("legacy.vcf"));
    Box.Tree.File("home/.contacts/Anna Smith.2.vcf", {.Content = "no card"});
    EXPECT_EQ(DeleteOutlookSelected(Rows, false, CardScan.NameSpace.get(), Folder, S, Error), 3);
    EXPECT_EQ(Outcomes(), "SSF");
    EXPECT_EQ(plat::SplitVCards(Box.Tree.Read("home/.contacts/friends.vcf")).size(), 2u);
    int Trashed = 0;
    for (const auto& E : std::filesystem::directory_iterator(Box.Tree.Path("home/.local/share/Trash/info"))) {
        const std::string Info = Box.Tree.Read("home/.local/share/Trash/info/" + E.path().filename().string());
        const std::string Name = E.path().stem();  // as in the trash's files
        EXPECT_NE(Info.find("\nPath=" + plat::PercentEncoded(Box.Contacts(Name)) + "\n"), std::string::npos) << Info;
        EXPECT_FALSE(std::filesystem::exists(Box.Contacts(Name)));
        ++Trashed;
    }
    EXPECT_EQ(Trashed, 2);
}

} // namespace
