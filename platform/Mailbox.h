#pragma once
// The mailbox component: our own stand-in for the mail program's automation
// server, with its objects and members. The application gives the "MAPI"
// namespace; its default folders are the Inbox (6), a Maildir ($MAILDIR,
// else ~/Maildir), and the Contacts (10), the vCard files of ~/.contacts.
// A folder's Items is a snapshot: Count and Item(i) (1-based) stay as they
// were read; after a removal the caller fetches a fresh collection.
// Every refused call throws EOutlookError.
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/FileTime.h"
#include "platform/MailMessage.h"
#include "platform/VCardReader.h"

namespace plat {

class EOutlookError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The item is no longer where its collection found it (removed, or moved
// by another program): a fresh collection may know better.
class EOutlookItemGone : public EOutlookError {
public:
    using EOutlookError::EOutlookError;
};

// What an item's file was when it was read: device, inode, size, and
// modification and status-change times (nanoseconds since 1970), and a hash
// of the path it had. A removal takes only that very file.
struct TItemStamp {
    uint64_t Device = 0, Inode = 0;
    int64_t Size = 0;
    int64_t Modified = 0, Changed = 0;
    uint64_t Where = 0;
    bool operator==(const TItemStamp&) const = default;
};

// Now is the file Seen describes: the same device, inode, size and
// modification time, and the same status-change time while it keeps its
// path (a rename, as a mail program's flag change, changes that time and
// nothing of the message).
bool SameFile(const TItemStamp& Seen, const TItemStamp& Now);

constexpr int olFolderInbox = 6;
constexpr int olFolderContacts = 10;

// Where the two default folders lie: $MAILDIR, else $HOME/Maildir; $HOME/.contacts.
struct TMailboxPlaces {
    std::string Maildir;
    std::string Contacts;
};
TMailboxPlaces MailboxPlaces();

// An e-mail or a contact of a folder's collection.
class TOutlookItem {
public:
    virtual ~TOutlookItem() = default;
    const std::string& EntryID() const { return FEntryID; }
    // The file that holds the item.
    const std::string& Path() const { return FPath; }
    // Opens the item's file with the desktop's default application.
    void display() const;
    // What the item's file was when the item read it (a message: at its
    // first reading).
    virtual TItemStamp Stamp() = 0;
    // True while the item's file is still the one Seen describes.
    bool Unchanged(const TItemStamp& Seen) const;
    // Removes the item from its folder without destroying it: a message
    // moves into the Maildir's .Trash, a card into the user's trash. Only
    // while its file is the one Seen describes: else EOutlookItemGone and
    // nothing moves. A card's file that keeps other cards is written anew;
    // Rewritten, when given, gets what that file then is. When another
    // program changes that file meanwhile, it stays as that program left it
    // (EOutlookItemGone), and the card's copy stays in the trash.
    virtual void Delete(const TItemStamp& Seen, TItemStamp* Rewritten = nullptr) = 0;
    void Delete() { Delete(Stamp()); }

protected:
    std::string FEntryID, FPath;
    std::string FFileName;  // the file's name in its folder
    // The folder that holds the file: the mailbox's place as it is found,
    // below it no symbolic link followed. -1 when it cannot be opened.
    virtual int OpenFolder() const = 0;
};

class TMailItem : public TOutlookItem {
public:
    TMailItem(std::string Maildir, std::string Sub, std::string FileName, std::string EntryID);
    // Every property comes from one reading of the file: the header block
    // alone until a body is asked for.
    std::string Subject() { return Fields(false).Subject; }
    std::string SenderName() { return Fields(false).SenderName; }
    std::string Body() { return Fields(true).Body; }
    std::string HTMLBody() { return Fields(true).HTMLBody; }
    TDateTime ReceivedTime();  // the Date header, else the file's modification time
    TDateTime ReceivedTime(const TMailFields& Read);  // the same, of fields read by ReadFields
    int64_t Size();            // the message file's bytes
    const TMailFields& Fields(bool Bodies);
    // Reads the message into Out, keeping only what its file was: a reader
    // of many messages passes the same fields each time and their buffers
    // serve on.
    void ReadFields(bool Bodies, TMailFields& Out);
    TItemStamp Stamp() override;
    using TOutlookItem::Delete;
    void Delete(const TItemStamp& Seen, TItemStamp* Rewritten = nullptr) override;

private:
    std::string FMaildir, FSub;
    TMailFields FFields;
    int FRead = 0;  // 0 nothing, 1 the header block, 2 the whole message
    bool FStated = false;
    TItemStamp FStamp;
    void Stat();
    int OpenFolder() const override;
};

class TContactItem : public TOutlookItem {
public:
    TContactItem(std::string Folder, std::string FileName, std::string Text, TVCard Card, std::string EntryID,
                 TItemStamp Stamp);
    const std::string& FullName() const { return FCard.FullName; }
    const std::string& FirstName() const { return FCard.FirstName; }
    const std::string& LastName() const { return FCard.LastName; }
    const std::string& Nickname() const { return FCard.Nickname; }
    std::string Email1Address() const { return Email(0); }
    std::string Email2Address() const { return Email(1); }
    std::string Email3Address() const { return Email(2); }
    const std::string& BusinessTelephoneNumber() const { return FCard.WorkPhone; }
    // The card's own text as it stands in its file.
    const std::string& Text() const { return FText; }
    TItemStamp Stamp() override { return FStamp; }
    using TOutlookItem::Delete;
    void Delete(const TItemStamp& Seen, TItemStamp* Rewritten = nullptr) override;

private:
    std::string FFolder, FText;
    TVCard FCard;
    TItemStamp FStamp;  // of its file, as the listing read it
    int OpenFolder() const override;
    std::string Email(size_t I) const { return I < FCard.Emails.size() ? FCard.Emails[I] : std::string(); }
};

class TOutlookItems {
public:
    virtual ~TOutlookItems() = default;
    virtual int Count() const = 0;
    // Index from 1 to Count.
    virtual std::shared_ptr<TOutlookItem> Item(int Index) const = 0;
    // The first item with this EntryID, as a walk from index 1 finds it; null when none.
    virtual std::shared_ptr<TOutlookItem> Find(const std::string& EntryID) const;
};

class TOutlookFolder {
public:
    TOutlookFolder(int Number, std::string Path) : FNumber(Number), FPath(std::move(Path)) {}
    // The folder's items as they are now.
    std::shared_ptr<TOutlookItems> Items() const;
    int Number() const { return FNumber; }
    const std::string& Path() const { return FPath; }

private:
    int FNumber;
    std::string FPath;
};

class TOutlookNameSpace {
public:
    explicit TOutlookNameSpace(TMailboxPlaces Places) : FPlaces(std::move(Places)) {}
    // 6 the Inbox, 10 the Contacts; a folder that does not exist is refused.
    std::shared_ptr<TOutlookFolder> GetDefaultFolder(int Number) const;

private:
    TMailboxPlaces FPlaces;
};

class TOutlookApplication {
public:
    explicit TOutlookApplication(TMailboxPlaces Places) : FPlaces(std::move(Places)) {}
    std::shared_ptr<TOutlookNameSpace> GetNameSpace(const std::string& Type) const;

private:
    TMailboxPlaces FPlaces;
};

// "Outlook.Application": refused when neither default folder exists.
std::shared_ptr<TOutlookApplication> CreateOleObject(const std::string& ProgID);

// Runs when a removal has checked its item's file and not yet moved it (a
// message) or put what it keeps in its place (a card's file); tests change
// the folders there.
void SetMailRemovalHook(std::function<void()> Hook);

// The Maildir unique name of a message file: its name before ":2,".
std::string MaildirUniqueName(const std::string& FileName);

// Runs when the contacts folder's files are listed and none is read yet;
// tests change the folder there.
void SetContactsListedHook(std::function<void()> Hook);

} // namespace plat
