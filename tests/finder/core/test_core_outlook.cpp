// The Outlook mode's core: the digest, the indexed matching held against a
// plain reference, the sample mailbox's groups, ordering, rows, the stop,
// and the deletion by EntryID.
#include <gtest/gtest.h>

#include <random>

#include "finder/core/MD5Unit.h"
#include "finder/core/OutlookResults.h"
#include "finder/core/OutlookScan.h"
#include "tests/common/MailboxFixture.h"

using namespace finder;
using corvane_test::ScopedMailbox;

namespace {

TEST(MD5, Rfc1321TestSuite) {
    const std::pair<const char*, const char*> Suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"}};
    for (const auto& [Text, Digest] : Suite) {
        SCOPED_TRACE(Text);
        EXPECT_EQ(MD5Print(MD5String(Text)), Digest);
    }
    EXPECT_EQ(MD5Print(MD5String(std::string("a\0b", 3))), MD5Print(MD5String(std::string("a\0b", 3))));
    EXPECT_NE(MD5Print(MD5String(std::string("a\0b", 3))), MD5Print(MD5String("a")));
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

template <class V>
std::string RefShape(const std::vector<std::vector<const V*>>& Groups) {
    std::string S;
    for (const auto& G : Groups) {
        S += '[';
        for (const V* Item : G) S += Item->EntryID + ' ';
        S += ']';
    }
    return S;
}

std::string RefMails(const std::vector<TMailValues>& Items, const TOutlookOptions& O) {
    std::vector<std::vector<const TMailValues*>> Groups;
    for (const TMailValues& V : Items) {
        bool Matched = false;
        for (auto& G : Groups) {
            const TMailValues& F = *G[0];
            const bool Crit = O.Criterion == TScanKind::FileName
                                  ? F.Subject == V.Subject
                                  : F.BodyDigest == V.BodyDigest && F.HTMLBodyDigest == V.HTMLBodyDigest;
            if (!Crit) continue;
            Matched = true;
            if ((!O.SameDate || V.Received == F.Received) && (!O.SameSize || V.Size == F.Size) &&
                (!O.SameSender || V.SenderName == F.SenderName))
                G.push_back(&V);
            break;
        }
        if (!Matched) Groups.push_back({&V});
    }
    return RefShape(Groups);
}

std::string RefContacts(const std::vector<TContactValues>& Items, TScanKind Kind) {
    std::vector<std::vector<const TContactValues*>> Groups;
    for (const TContactValues& V : Items) {
        bool Matched = false;
        for (auto& G : Groups) {
            const TContactValues& F = *G[0];
            if (Kind == TScanKind::FileName) Matched = F.FirstName == V.FirstName && F.LastName == V.LastName;
            else if (Kind == TScanKind::Title) Matched = F.Nickname == V.Nickname;
            else
                for (const std::string* A : {&F.Email1Address, &F.Email2Address, &F.Email3Address})
                    for (const std::string* B : {&V.Email1Address, &V.Email2Address, &V.Email3Address})
                        Matched = Matched || (!A->empty() && *A == *B);
            if (Matched) {
                G.push_back(&V);
                break;
            }
        }
        if (!Matched) Groups.push_back({&V});
    }
    return RefShape(Groups);
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
            M.BodyDigest = Pick({"d1", "d2"});
            M.HTMLBodyDigest = Pick({"h1", "h2", ""});
            M.SenderName = Pick({"s", "t"});
            M.Received = R() % 2;
            M.Size = R() % 2;
            M.EntryID = "m" + std::to_string(I);
            TContactValues& C = Contacts[I];
            C.FirstName = Pick({"", "A", "B"});
            C.LastName = Pick({"", "A"});
            C.Nickname = Pick({"", "n", "m"});
            C.Email1Address = Pick({"", "x", "y", "z", "w", "v"});
            C.Email2Address = Pick({"", "x", "y", "z", "w", "v"});
            C.Email3Address = Pick({"", "", "x", "u"});
            C.EntryID = "c" + std::to_string(I);
        }
        TOutlookOptions O;
        O.Criterion = Round % 2 ? TScanKind::FileBye : TScanKind::FileName;
        O.SameDate = Round & 2, O.SameSize = Round & 4, O.SameSender = Round & 8;
        uint8_t State = rsRunning;
        TGroupList Groups;
        TOutlookScan Scan(O, State, Groups);
        for (const TMailValues& M : Mails) Feed(Scan, M);
        ASSERT_EQ(Shape(Groups), RefMails(Mails, O)) << "round " << Round;

        const TScanKind Kinds[] = {TScanKind::FileName, TScanKind::FileBye, TScanKind::Title};
        O.Kind = 2;
        O.Criterion = Kinds[Round % 3];
        TGroupList CGroups;
        TOutlookScan CScan(O, State, CGroups);
        for (const TContactValues& C : Contacts) Feed(CScan, C);
        ASSERT_EQ(Shape(CGroups), RefContacts(Contacts, O.Criterion)) << "round " << Round;
    }
}

TEST(OutlookMatching, DroppedItemOpensNoGroupAndJoinersPhoneIsTrimmed) {
    TOutlookOptions O;
    O.SameSize = true;
    uint8_t State = rsRunning;
    TGroupList Groups;
    TOutlookScan Scan(O, State, Groups);
    for (auto [Id, Size] : {std::pair{"first", 1}, {"other size", 2}, {"third", 1}}) {
        TMailValues V;
        V.Subject = "s", V.Size = Size, V.EntryID = Id;
        Feed(Scan, V);
    }
    EXPECT_EQ(Shape(Groups), "[first third ]");

    O.Kind = 2;
    TGroupList C;
    TOutlookScan Contacts(O, State, C);
    for (const char* Id : {"a", "b"}) {
        TContactValues V;
        V.Phone = " 1 ", V.EntryID = Id;
        Feed(Contacts, V);
    }
    const auto& G = static_cast<const TSearchStatContact&>(*C[0]);
    EXPECT_EQ(G.Contacts[0].BusinessTelephoneNumber, " 1 ");
    EXPECT_EQ(G.Contacts[1].BusinessTelephoneNumber, "1");
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
    BuildOutlookRows(Groups, P.Kind == 1, P.Kind == 1 ? 3 : 0, 0, Rows);
    std::string S;
    for (const auto& Row : Rows) {
        TRowTexts T;
        ASSERT_TRUE(OutlookRowTexts(*Row, T));
        const std::string& Id = T.SubItems[5];
        S += Row->RowKind == 0 ? "|" + T.Caption + ":" : " " + Id.substr(0, Id.find('#') == std::string::npos ? 12 : Id.find('#') + 1);
    }
    EXPECT_EQ(S, P.Rows);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, SampleScan,
    ::testing::Values(
        TSampleRow{"MailSubject", 1, TScanKind::FileName,
                   "|Meeting notes: 1704880800.M 1704967200.M 1705053600.M|Café au lait: 1705226400.M 1705312800.M"
                   "|: 1705485600.M 1705399200.M|Quarterly report: 1705572000.M 1705658400.M"},
        TSampleRow{"MailContent", 1, TScanKind::FileBye,
                   "|Invoice 2024-001: 1705744800.M 1705831200.M|Picture 14: 1706004014.M 1706004015.M"},
        TSampleRow{"ContactName", 2, TScanKind::FileName,
                   "|  : friends.vcf# legacy.vcf#|Anna Smith : urn:uuid:2f1 urn:uuid:2f1 urn:uuid:2f1|Jürgen Müller "
                   ": legacy.vcf# modern.vcf#"},
        TSampleRow{"ContactEmail", 2, TScanKind::FileBye,
                   "|Anna Smith : urn:uuid:2f1 urn:uuid:2f1 urn:uuid:2f1|Jürgen Müller : legacy.vcf# modern.vcf#"},
        TSampleRow{"ContactNickname", 2, TScanKind::Title,
                   "|Anna Smith : urn:uuid:2f1 urn:uuid:2f1|Anna Smith : urn:uuid:2f1 friends.vcf# friends.vcf# "
                   "legacy.vcf#|Jürgen Müller : legacy.vcf# modern.vcf#"}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(OutlookScanRun, UnreadableItemIsSkippedUnreadableMailboxEndsTheRun) {
    ScopedMailbox Box;
    TOutlookOptions O;
    uint8_t State = rsRunning;
    TGroupList Groups;
    TOutlookScan Scan(O, State, Groups);
    auto Items = plat::CreateOleObject("Outlook.Application")->GetNameSpace("MAPI")->GetDefaultFolder(6)->Items();
    std::filesystem::remove(Box.Maildir("cur/1704967200.M2P100.host:2,S"));  // gone after the listing
    Scan.OutlookScanFolder(*Items, 1);
    EXPECT_EQ(Scan.ItemsSkipped(), 1);
    EXPECT_EQ(Scan.ItemsRead(), 14);
    EXPECT_EQ(static_cast<const TSearchStatMail&>(*Groups[0]).Count, 2);

    std::filesystem::remove_all(Box.Maildir("cur"));
    Box.Tree.File("home/Maildir/cur", {.Content = "no folder"});
    TGroupList None;
    TOutlookScan Broken(O, State = rsRunning, None);
    const TScanOutcome Outcome = Broken.Run();
    EXPECT_TRUE(Outcome.Failed);
    EXPECT_NE(Outcome.Error.find("/cur cannot be read"), std::string::npos) << Outcome.Error;
    EXPECT_EQ(State, rsFinished);
}

TEST(OutlookScanRun, StopEndsTheWalkAfterTheCurrentItem) {
    ScopedMailbox Box;
    TOutlookOptions O;
    O.PumpIntervalMs = 0;
    uint8_t State = rsRunning;
    TGroupList Groups;
    TScanCallbacks Callbacks;
    Callbacks.ProcessMessages = [&] { State = rsStopRequested; };
    TOutlookScan Scan(O, State, Groups, Callbacks);
    Scan.Run();
    // The second item sees the stop before any comparison and opens its own group.
    EXPECT_EQ(Scan.ItemsRead(), 2);
    EXPECT_EQ(Shape(Groups), "[1704880800.M1P100.host ][1704967200.M2P100.host ]");
    EXPECT_EQ(State, rsStopRequested);
}

// ---- ordering, rows ----

TEST(OutlookOrdering, TextKeysByteOrderAndTiesAsTheExchangeSortLeavesThem) {
    auto Group = [](std::vector<std::pair<const char*, int64_t>> Members) {
        auto G = std::make_unique<TSearchStatMail>();
        for (auto [Time, Size] : Members) G->Mails.push_back({"", Time, "", std::string(Time) + std::to_string(Size), Size, 0});
        G->Count = int32_t(G->Mails.size());
        return G;
    };
    TGroupList Groups;
    Groups.push_back(Group({{"9/1/24", 1}, {"10/1/24", 2}}));
    Groups.push_back(Group({{"A", 5}, {"A", 6}, {"B", 7}}));
    SortMailGroups(Groups, 2, 0);
    EXPECT_EQ(Shape(Groups), "[10/1/242 9/1/241 ][A5 A6 B7 ]");
    SortMailGroups(Groups, 2, 1);
    EXPECT_EQ(Shape(Groups), "[9/1/241 10/1/242 ][B7 A6 A5 ]");

    TGroupList Contacts;
    for (const char* Last : {"b", "B", " a"}) {
        auto G = std::make_unique<TSearchStatContact>();
        G->LastName = Last;
        G->Contacts.push_back({"", Last, "", "", "", "", "", Last});
        Contacts.push_back(std::move(G));
    }
    SortContactGroups(Contacts, 1, 0);  // trimmed, byte order: capitals first
    EXPECT_EQ(Shape(Contacts), "[B ][ a ][b ]");
    SortContactGroups(Contacts, 4, 1);  // no such key: nothing moves
    EXPECT_EQ(Shape(Contacts), "[B ][ a ][b ]");
}

TEST(OutlookRows, HeaderAndMemberTexts) {
    ScopedMailbox Box;
    TOutlookOptions O;
    O.Kind = 2;
    uint8_t State = rsRunning;
    TGroupList Groups;
    TOutlookScan(O, State, Groups).Run();
    TRowList Rows;
    EXPECT_EQ(BuildOutlookRows(Groups, false, 0, 1, Rows),
              "3 duplicate groups found where 7 Contacts are contained within.");
    TRowTexts H, M;
    OutlookRowTexts(*Rows[0], H);
    OutlookRowTexts(*Rows[1], M);
    EXPECT_EQ(H.Caption, "Jürgen Müller ");
    EXPECT_EQ(H.SubItems, (std::vector<std::string>{"2  contacts", "", "", "1", "0", ""}));
    EXPECT_EQ(M.Caption, "Jürgen Müller");
    EXPECT_EQ(M.SubItems[0], "Jue");
    EXPECT_EQ(M.SubItems[1], "+49 30 1234");
    EXPECT_EQ(M.SubItems[2], "juergen@example.de");
    EXPECT_EQ(M.SubItems[4], "1");
    EXPECT_EQ(M.Indent, 1);
}

// ---- deletion ----

class OutlookDelete : public ::testing::Test {
protected:
    ScopedMailbox Box;
    TGroupList Groups;
    TRowList Rows;
    std::shared_ptr<plat::TOutlookNameSpace> NameSpace;
    std::shared_ptr<plat::TOutlookItems> Folder;

    void ScanMails() {
        TOutlookOptions O;
        uint8_t State = rsRunning;
        TOutlookScan Scan(O, State, Groups);
        Scan.Run();
        NameSpace = Scan.NameSpace;
        Folder = Scan.OutlookFolder;
        BuildOutlookRows(Groups, true, 2, 1, Rows);
    }
};

TEST_F(OutlookDelete, TickedMailsAcrossShiftingIndexesAndAVanishedOne) {
    ScanMails();
    // Rows: the "Meeting notes" group newest first (M3, M2, M1), then "Café au lait" (M6, M5).
    for (size_t I : {1u, 3u, 5u, 6u}) Rows[I]->Checked = true;
    Rows[0]->Checked = true;  // a header is never removed
    std::filesystem::remove(Box.Maildir("cur/1705312800.M6P100.host:2,S"));
    // Another program marks M1 answered: its flags change, its EntryID stays.
    std::filesystem::rename(Box.Maildir("cur/1704880800.M1P100.host:2,S"), Box.Maildir("cur/1704880800.M1P100.host:2,RS"));
    TDeleteSummary S;
    std::string Error;
    EXPECT_EQ(DeleteOutlookSelected(Rows, true, NameSpace.get(), Folder, S, Error), 4);
    EXPECT_EQ(S.Succeeded, 3);
    EXPECT_EQ(S.Failed, 1);
    EXPECT_FALSE(S.Items[2].Succeeded);  // its file has gone: failed, nothing else taken
    EXPECT_TRUE(Box.Tree.Exists("home/Maildir/.Trash/new/1705053600.M3P100.host"));
    EXPECT_TRUE(Box.Tree.Exists("home/Maildir/.Trash/cur/1704880800.M1P100.host:2,RS"));
    EXPECT_TRUE(Box.Tree.Exists("home/Maildir/cur/1704967200.M2P100.host:2,S"));
    EXPECT_TRUE(Box.Tree.Exists("home/Maildir/.Trash/cur/1705226400.M5P100.host:2,S"));
    EXPECT_EQ(S.DelStatus1, "9 mails have been found. 4 mails were selected for deletion.");
    EXPECT_EQ(S.DelStatus3, "Fail to delete 1 mails.");
    EXPECT_TRUE(S.Red);
}

TEST_F(OutlookDelete, VanishedMailboxFailsEveryRowWithTheReason) {
    ScanMails();
    Rows[1]->Checked = Rows[2]->Checked = true;
    std::filesystem::remove_all(Box.Maildir());
    Folder.reset();
    TDeleteSummary S;
    std::string Error;
    EXPECT_EQ(DeleteOutlookSelected(Rows, true, NameSpace.get(), Folder, S, Error), 2);
    EXPECT_EQ(S.Failed, 2);
    EXPECT_NE(Error.find("does not exist"), std::string::npos) << Error;
}

} // namespace
