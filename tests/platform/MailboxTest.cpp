// The mailbox component over the sample mailbox: the folders' order and
// EntryIDs, and removal that never destroys.
#include "platform/Mailbox.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/common/Fifo.h"
#include "tests/common/MailboxFixture.h"

using namespace plat;
using corvane_test::ScopedMailbox;
using corvane_test::WaitsOnFifo;

namespace {

std::shared_ptr<TOutlookItems> Folder(int Number) {
    return CreateOleObject("Outlook.Application")->GetNameSpace("MAPI")->GetDefaultFolder(Number)->Items();
}

// A nested card belongs to its outer card; a card without an end is none,
// and the next card's BEGIN ends it.
TEST(MailboxRead, NestedAndUnendedCards) {
    const std::string Text = "BEGIN:VCARD\nFN:A\nAGENT:BEGIN:VCARD\nBEGIN:VCARD\nFN:Inner\nEND:VCARD\nEND:VCARD\n"
                             "BEGIN:VCARD\nFN:Cut\nBEGIN:VCARD\nFN:B\nEND:VCARD\nBEGIN:VCARD\nFN:C\nEND:VCARD\n"
                             "BEGIN:VCARD\nFN:Cut\n";
    std::string Names;
    for (const TVCardSpan& S : SplitVCards(Text)) Names += ParseVCard(Text.substr(S.Offset, S.Length)).FullName;
    EXPECT_EQ(Names, "ABC");
}

// A FIFO put in place of a listed message or card is never waited on: the
// message is unreadable at once, the card's file gives no cards.
TEST(MailboxRead, FifoInPlaceOfAListedItemIsNotWaitedOn) {
    ScopedMailbox Box;
    auto Mail = std::dynamic_pointer_cast<TMailItem>(Folder(olFolderInbox)->Item(1));
    std::filesystem::remove(Mail->Path());
    Box.Tree.Fifo("home/Maildir/cur/1704880800.M1P100.host:2,S");
    for (bool Bodies : {false, true}) {
        ASSERT_FALSE(WaitsOnFifo(Mail->Path(), [&] {
            try {
                Mail->Fields(Bodies);
            } catch (const EOutlookError&) {
            }
        })) << Bodies;
        EXPECT_THROW(Mail->Fields(Bodies), EOutlookError);
    }
    SetContactsListedHook([&] {
        std::filesystem::remove(Box.Contacts("friends.vcf"));
        Box.Tree.Fifo("home/.contacts/friends.vcf");
    });
    const bool Waited = WaitsOnFifo(Box.Contacts("friends.vcf"), [] { Folder(olFolderContacts); });
    const int Cards = Waited ? -1 : Folder(olFolderContacts)->Count();
    SetContactsListedHook({});
    EXPECT_FALSE(Waited);
    EXPECT_EQ(Cards, 4);  // those of the other two files
}

// new/ and cur/ in one name order; hidden files and links are no messages; a
// copy that differs only in its flags gets an EntryID of its own; a message
// is received at its date, without one when its file was written.
TEST(Mailbox, InboxOrderEntryIDsAndReceivedTime) {
    ScopedMailbox Box;
    Box.Tree.File("home/Maildir/new/.hidden", {.Content = "x"});
    Box.Tree.Link("home/Maildir/cur/link:2,S", "1704880800.M1P100.host:2,S");
    Box.Tree.File("home/Maildir/cur/1704880800.M1P100.host:2,RS", {.Content = "Subject: copy\n\n"});
    Box.Tree.SetMTime("home/Maildir/cur/1705485600.M8P100.host:2,S", 1705480200);
    auto Items = Folder(olFolderInbox);
    ASSERT_EQ(Items->Count(), 16);
    EXPECT_EQ(Items->Item(1)->EntryID(), "cur/1704880800.M1P100.host:2,RS");
    EXPECT_EQ(Items->Item(2)->EntryID(), "cur/1704880800.M1P100.host:2,S");
    EXPECT_EQ(Items->Item(4)->EntryID(), "1705053600.M3P100.host");
    EXPECT_THROW(Items->Item(17), EOutlookError);
    for (const auto& [Id, Time] : {std::pair{"1705399200.M7P100.host", 1705399200}, {"1705485600.M8P100.host", 1705480200}})
        EXPECT_EQ(std::dynamic_pointer_cast<TMailItem>(Items->Find(Id))->ReceivedTime(),
                  FileTimeToLocalDateTime(TimespecToFileTime({Time, 0}))) << Id;
}

// The very file checked moves, though its folder is swapped for a link to
// another holding a message of that name between the check and the move.
TEST(Mailbox, MessageMovesIntoTrashFolderWithoutReplacingAnything) {
    ScopedMailbox Box;
    const std::string Name = "1704880800.M1P100.host:2,S", Text = Box.Tree.Read("home/Maildir/cur/" + Name);
    Box.Tree.File("home/Maildir/.Trash/cur/" + Name, {.Content = "an older message"});
    Box.Tree.File("decoy/" + Name, {.Content = "another's"});
    auto Items = Folder(olFolderInbox);
    SetMailRemovalHook([&] {
        std::filesystem::rename(Box.Maildir("cur"), Box.Maildir("cur.old"));
        Box.Tree.Link("home/Maildir/cur", "../../decoy");
    });
    Items->Item(1)->Delete();
    SetMailRemovalHook({});
    EXPECT_EQ(Box.Tree.Read("decoy/" + Name), "another's");
    EXPECT_FALSE(Box.Tree.Exists("home/Maildir/cur.old/" + Name));
    EXPECT_EQ(Box.Tree.Read("home/Maildir/.Trash/cur/" + Name), "an older message");
    EXPECT_EQ(Box.Tree.Read("home/Maildir/.Trash/cur/1704880800.M1P100.host.1:2,S"), Text);
    EXPECT_TRUE(Box.Tree.Exists("home/Maildir/.Trash/new"));
    std::filesystem::remove(Box.Maildir("cur"));
    std::filesystem::rename(Box.Maildir("cur.old"), Box.Maildir("cur"));
    EXPECT_THROW(Items->Item(1)->Delete(), EOutlookError);  // gone: refused, not "succeeded"
    EXPECT_THROW(Items->Item(1)->display(), EOutlookError);
}

// A card goes to the trash as a file of its own, to be restored under a free
// name of its folder, and its file keeps the others, with their EntryIDs; a
// refusing trash changes nothing; the last card of a file takes the file
// itself to the trash.
TEST(Mailbox, CardGoesToTrashAndItsFileKeepsTheOthers) {
    ScopedMailbox Box;
    const std::string Friends = "home/.contacts/friends.vcf", Before = Box.Tree.Read(Friends);
    Box.Tree.File("home/.contacts/Anna Smith.vcf", {.Content = "no card"});
    auto Items = Folder(olFolderContacts);
    ASSERT_EQ(Items->Count(), 8);
    const std::string PatId = Items->Item(4)->EntryID();
    Box.RefuseTrash(true);
    EXPECT_THROW(Items->Item(2)->Delete(), EOutlookError);
    EXPECT_EQ(Box.Tree.Read(Friends), Before);
    Box.RefuseTrash(false);
    const std::string Second = dynamic_cast<TContactItem&>(*Items->Item(2)).Text();
    Items->Item(2)->Delete();
    EXPECT_EQ(Box.Trashed("Anna Smith (2).vcf"), Second);
    EXPECT_NE(Box.Trashed("Anna Smith (2).vcf", true).find("\nPath=" + Box.Contacts("Anna%20Smith%20%282%29.vcf") + "\n"),
              std::string::npos);
    const size_t At = Before.find(Second);
    EXPECT_EQ(Box.Tree.Read(Friends), Before.substr(0, At) + Before.substr(At + Second.size()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Box.Contacts()), {}), 4);  // nothing left aside
    auto Fresh = Folder(olFolderContacts);
    ASSERT_EQ(Fresh->Count(), 7);
    EXPECT_EQ(Fresh->Item(3)->EntryID(), PatId);
    // Cards sharing their UID get EntryIDs of their own.
    const std::string Card = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Twin\r\nUID:same\r\nEND:VCARD\r\n";
    const std::string Other = Card.substr(0, Card.size() - 11) + "NOTE:x\r\nEND:VCARD\r\n";
    Box.Tree.File("home/.contacts/twins.vcf", {.Content = Card + "\r\n" + Other + "\r\n"});
    Box.Tree.File("home/.contacts/zsolo.vcf", {.Content = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Solo\r\nEND:VCARD\r\n"});
    Fresh = Folder(olFolderContacts);
    const int N = Fresh->Count();
    EXPECT_NE(Fresh->Item(N - 2)->EntryID(), Fresh->Item(N - 1)->EntryID());
    Fresh->Item(N - 1)->display();
    EXPECT_EQ(Box.Opened, std::vector<std::string>{Box.Contacts("twins.vcf")});
    Fresh->Item(N - 1)->Delete();
    Folder(olFolderContacts)->Item(N - 2)->Delete();  // the last card: blank lines are no reason to keep the file
    EXPECT_FALSE(Box.Tree.Exists("home/.contacts/twins.vcf"));
    EXPECT_EQ(Box.Trashed("twins.vcf"), Card + "\r\n\r\n");
    Fresh->Item(N)->Delete();
    EXPECT_FALSE(Box.Tree.Exists("home/.contacts/zsolo.vcf"));
    EXPECT_EQ(Box.Trashed("zsolo.vcf"), "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Solo\r\nEND:VCARD\r\n");
}

// What another program does to an item's file after the listing, or while
// the removal runs (between its check and its move or rewrite): the item is
// refused and the file stays as that program left it, nothing set aside.
struct TChangeRow {
    const char* Name;
    bool Card;
    bool DuringRemoval;
    void (*Change)(const std::string& Path);
};

const std::string Added = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Added Meanwhile\r\nEND:VCARD\r\n";

std::string Whole(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), {});
}
// The file as a reader finds it: a pipe is never opened.
std::string State(const std::string& Path) {
    struct stat St;
    if (::lstat(Path.c_str(), &St) != 0) return "missing";
    if (S_ISFIFO(St.st_mode)) return "pipe";
    return (S_ISLNK(St.st_mode) ? "link to " : "") + Whole(Path);
}
void RenameOver(const std::string& Path) {
    std::ofstream(Path + ".new", std::ios::binary) << Whole(Path) + Added;
    std::filesystem::rename(Path + ".new", Path);
}
void Append(const std::string& Path) { std::ofstream(Path, std::ios::binary | std::ios::app) << Added; }
// A byte changed in place near the end, the size and modification time as
// they were: only the status-change time tells, once the clock has moved
// past the one the file has.
void RewriteSetBack(const std::string& Path) {
    struct stat St;
    ASSERT_EQ(::stat(Path.c_str(), &St), 0);
    for (timespec Now{}; ::clock_gettime(CLOCK_REALTIME_COARSE, &Now) == 0 &&
                         std::pair(Now.tv_sec, Now.tv_nsec) <= std::pair(St.st_ctim.tv_sec, St.st_ctim.tv_nsec);) {
    }
    const int Fd = ::open(Path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_EQ(::pwrite(Fd, "x", 1, St.st_size - 15), 1);  // not in the card removed
    const timespec Times[2] = {St.st_atim, St.st_mtim};
    ASSERT_EQ(::futimens(Fd, Times), 0);
    ::close(Fd);
}
void Pipe(const std::string& Path) {
    std::filesystem::remove(Path);
    ASSERT_EQ(::mkfifo(Path.c_str(), 0600), 0);
}
void LinkToACopy(const std::string& Path) {
    std::filesystem::rename(Path, Path + ".elsewhere");
    std::filesystem::create_symlink(Path + ".elsewhere", Path);
}

class ChangedFile : public ::testing::TestWithParam<TChangeRow> {};

TEST_P(ChangedFile, IsRefusedAndStaysAsItWasLeft) {
    ScopedMailbox Box;
    const TChangeRow& P = GetParam();
    const std::string Path = P.Card ? Box.Contacts("friends.vcf") : Box.Maildir("cur/1704880800.M1P100.host:2,S");
    auto Item = Folder(P.Card ? olFolderContacts : olFolderInbox)->Item(P.Card ? 2 : 1);
    const TItemStamp Seen = Item->Stamp();
    std::string Left;
    auto Change = [&] { P.Change(Path), Left = State(Path); };
    if (P.DuringRemoval) SetMailRemovalHook(Change);
    else Change();
    // A pipe in the file's place is never waited on.
    auto Delete = [&] { EXPECT_THROW(Item->Delete(Seen), EOutlookError); };
    if (State(Path) != "pipe" || !corvane_test::WaitsOnFifo(Path, Delete)) Delete();
    else ADD_FAILURE() << "waited on a pipe";
    SetMailRemovalHook({});
    EXPECT_EQ(State(Path), Left);
    for (const auto& E : std::filesystem::directory_iterator(std::filesystem::path(Path).parent_path()))
        EXPECT_NE(E.path().filename().string().rfind(".corvane-", 0), 0u) << E.path();
    if (!P.Card && std::filesystem::exists(Box.Maildir(".Trash/cur"))) {
        EXPECT_TRUE(std::filesystem::is_empty(Box.Maildir(".Trash/cur")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Mailbox, ChangedFile,
    ::testing::Values(TChangeRow{"MessageRenamedOverWhileRemoved", false, true, RenameOver},
                      TChangeRow{"MessageRewrittenWithSizeAndTimeSetBack", false, false, RewriteSetBack},
                      TChangeRow{"MessageAPipeNow", false, false, Pipe},
                      TChangeRow{"CardsFileALinkNow", true, false, LinkToACopy},
                      TChangeRow{"CardsFileAPipeNow", true, false, Pipe},
                      TChangeRow{"CardsFileRewrittenWithSizeAndTimeSetBack", true, false, RewriteSetBack},
                      TChangeRow{"CardAddedWhileRemoved", true, true, Append},
                      TChangeRow{"CardsFileRenamedOverWhileRemoved", true, true, RenameOver},
                      TChangeRow{"CardsFileRewrittenWithSizeAndTimeSetBackWhileRemoved", true, true, RewriteSetBack}),
    [](const auto& I) { return std::string(I.param.Name); });

} // namespace
