#include "platform/Mailbox.h"

#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string_view>
#include <unordered_map>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/PathAt.h"
#include "platform/Shell.h"

namespace plat {

namespace {

// A contacts file larger than this is not read: no address book is that big.
constexpr off_t MaxContactsFile = 64 << 20;

std::string Errno(const std::string& What) { return What + ": " + std::strerror(errno); }

bool IsDir(const std::string& Path)
{
    struct stat St;
    return ::stat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

std::string Home()
{
    if (const char* H = std::getenv("HOME"); H && *H) return H;
    if (const passwd* P = ::getpwuid(::getuid()); P && P->pw_dir) return P->pw_dir;
    return "/";
}

std::string Join(const std::string& Folder, const std::string& Name)
{
    return !Folder.empty() && Folder.back() == '/' ? Folder + Name : Folder + "/" + Name;
}

std::function<void()>& ContactsListedHook()
{
    static std::function<void()> Hook;
    return Hook;
}

// The regular files of a folder (no links, no hidden names) sorted by name.
// Missing is an empty list; a folder that cannot be read is refused.
std::vector<std::string> RegularFiles(const std::string& Folder, bool MissingIsEmpty)
{
    std::vector<std::string> Names;
    DIR* D = ::opendir(Folder.c_str());
    if (!D) {
        if (errno == ENOENT && MissingIsEmpty) return Names;
        throw EOutlookError(Errno("The mailbox folder " + Folder + " cannot be read"));
    }
    while (dirent* E = ::readdir(D)) {
        if (E->d_name[0] == '.') continue;
        bool Regular = E->d_type == DT_REG;
        if (E->d_type == DT_UNKNOWN) {
            struct stat St;
            Regular = ::fstatat(::dirfd(D), E->d_name, &St, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(St.st_mode);
        }
        if (Regular) Names.emplace_back(E->d_name);
    }
    ::closedir(D);
    std::sort(Names.begin(), Names.end());
    return Names;
}

// The whole of an open contacts file, within the size limit.
bool ReadFd(int Fd, std::string& Out)
{
    Out.clear();
    char Buf[65536];
    for (;;) {
        const ssize_t N = ::read(Fd, Buf, sizeof Buf);
        if (N < 0 && errno == EINTR) continue;
        if (N <= 0) return N == 0;
        Out.append(Buf, size_t(N));
        if (Out.size() > size_t(MaxContactsFile)) return false;
    }
}

// A regular contacts file, whole. Opened without waiting: a FIFO put in a
// listed file's place would otherwise hold the reader until some writer came.
bool ReadWhole(const std::string& Path, std::string& Out, struct statx& X)
{
    const TFd Fd(::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    return Fd.Valid() && ::statx(Fd.Get(), "", AT_EMPTY_PATH, STATX_BASIC_STATS, &X) == 0 && S_ISREG(X.stx_mode) &&
           X.stx_size <= uint64_t(MaxContactsFile) && ReadFd(Fd.Get(), Out);
}

TItemStamp StampOf(const struct statx& X, const std::string& Path)
{
    TItemStamp S;
    S.Device = makedev(X.stx_dev_major, X.stx_dev_minor);
    S.Inode = X.stx_ino;
    S.Size = int64_t(X.stx_size);
    S.Modified = int64_t(X.stx_mtime.tv_sec) * 1000000000 + X.stx_mtime.tv_nsec;
    S.Changed = int64_t(X.stx_ctime.tv_sec) * 1000000000 + X.stx_ctime.tv_nsec;
    S.Where = std::hash<std::string>()(Path);
    return S;
}

// The regular file Name of the folder Dir, never through a link.
bool StatFile(int Dir, const std::string& Name, struct statx& X)
{
    return Dir >= 0 && ::statx(Dir, Name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &X) == 0 &&
           S_ISREG(X.stx_mode);
}

bool SameInode(const struct statx& A, const struct statx& B)
{
    return A.stx_ino == B.stx_ino && A.stx_dev_major == B.stx_dev_major && A.stx_dev_minor == B.stx_dev_minor;
}

int OpenSubFolder(int Dir, const std::string& Name)
{
    return Dir >= 0 ? ::openat(Dir, Name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
}

// A new entry of Dir under a hidden name of its own (the scans pass hidden
// names over): a folder, opened, when Folder; else a file open for writing.
int CreateHidden(int Dir, bool Folder, std::string& Name)
{
    for (int Try = 0; Try < 100; ++Try) {
        Name = ".corvane-" + std::to_string(g_random_int());
        const int Fd = !Folder ? ::openat(Dir, Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)
                       : ::mkdirat(Dir, Name.c_str(), 0700) == 0 ? OpenSubFolder(Dir, Name)
                                                                 : -1;
        if (Fd >= 0 || errno != EEXIST) return Fd;
    }
    return -1;
}

bool WriteAll(int Fd, std::string_view Text)
{
    while (!Text.empty()) {
        const ssize_t N = ::write(Fd, Text.data(), Text.size());
        if (N < 0 && errno == EINTR) continue;
        if (N <= 0) return false;
        Text.remove_prefix(size_t(N));
    }
    return true;
}

std::string Md5Hex(const std::string& Text)
{
    gchar* Hex = g_compute_checksum_for_data(G_CHECKSUM_MD5, reinterpret_cast<const guchar*>(Text.data()),
                                             Text.size());
    std::string Out(Hex);
    g_free(Hex);
    return Out;
}

// A file name made of a contact's name: no "/", no leading ".", not empty.
std::string CardFileName(const std::string& FullName)
{
    std::string N;
    for (char C : FullName) N += (C == '/' || static_cast<unsigned char>(C) < 32) ? '_' : C;
    while (!N.empty() && (N.front() == '.' || N.front() == ' ')) N.erase(0, 1);
    if (N.size() > 100) N.resize(100);
    return (N.empty() ? std::string("contact") : N) + ".vcf";
}

// A card's file name that no entry of the folder Dir has: "Name.vcf", else
// "Name (2).vcf", ...
std::string FreeCardName(int Dir, const std::string& FullName)
{
    const std::string Base = CardFileName(FullName);
    std::string Name = Base;
    struct stat St;
    for (int N = 2; N < 100000 && ::fstatat(Dir, Name.c_str(), &St, AT_SYMLINK_NOFOLLOW) == 0; ++N)
        Name = Base.substr(0, Base.size() - 4) + " (" + std::to_string(N) + ").vcf";
    return Name;
}

std::function<void()>& RemovalHook()
{
    static std::function<void()> Hook;
    return Hook;
}

// ---- the Inbox ----

struct TMailEntry {
    std::string Sub, FileName, EntryID;
};

class TMailItems : public TOutlookItems {
public:
    TMailItems(std::string Maildir, std::vector<TMailEntry> Entries)
        : FMaildir(std::move(Maildir)), FEntries(std::move(Entries))
    {
    }
    int Count() const override { return int(FEntries.size()); }
    // A fresh item each time: nothing of a message is kept once its reader lets it go.
    std::shared_ptr<TOutlookItem> Item(int Index) const override
    {
        if (Index < 1 || Index > Count()) throw EOutlookError("Array index out of bounds.");
        const TMailEntry& E = FEntries[size_t(Index - 1)];
        return std::make_shared<TMailItem>(FMaildir, E.Sub, E.FileName, E.EntryID);
    }

    std::shared_ptr<TOutlookItem> Find(const std::string& EntryID) const override
    {
        // Built at the first search: a deletion looks up many rows in a large folder.
        if (FById.empty())
            for (size_t I = FEntries.size(); I-- > 0;) FById[FEntries[I].EntryID] = int(I) + 1;
        const auto F = FById.find(EntryID);
        return F == FById.end() ? nullptr : Item(F->second);
    }

private:
    std::string FMaildir;
    std::vector<TMailEntry> FEntries;
    mutable std::unordered_map<std::string_view, int> FById;
};

std::shared_ptr<TOutlookItems> ListMaildir(const std::string& Maildir)
{
    if (!IsDir(Maildir)) throw EOutlookError("The Maildir " + Maildir + " does not exist.");
    std::vector<TMailEntry> Entries;
    for (const char* Sub : {"new", "cur"})
        for (std::string& Name : RegularFiles(Join(Maildir, Sub), true)) Entries.push_back({Sub, std::move(Name), {}});
    // File-name order across both sub-folders; a name in both keeps new/ first.
    std::stable_sort(Entries.begin(), Entries.end(),
                     [](const TMailEntry& A, const TMailEntry& B) { return A.FileName < B.FileName; });
    // The unique name, unless another file shares it (a copy that differs
    // only in its flags): then the sub-folder and the whole name, so that no
    // two messages ever answer to one EntryID.
    for (TMailEntry& E : Entries) E.EntryID = MaildirUniqueName(E.FileName);
    std::unordered_map<std::string_view, int> Uses;
    Uses.reserve(Entries.size());
    for (const TMailEntry& E : Entries) ++Uses[E.EntryID];
    std::vector<bool> Shared(Entries.size());
    for (size_t I = 0; I < Entries.size(); ++I) Shared[I] = Uses[Entries[I].EntryID] > 1;
    for (size_t I = 0; I < Entries.size(); ++I)
        if (Shared[I]) Entries[I].EntryID = Entries[I].Sub + "/" + Entries[I].FileName;
    return std::make_shared<TMailItems>(Maildir, std::move(Entries));
}

// Moves the checked file Name of the folder From into the folder To
// (Folder its path, for messages) without replacing anything there; a name
// taken gets a number added to its unique part.
void MoveNoReplace(int From, const std::string& Name, const struct statx& Checked, int To, const std::string& Folder)
{
    const std::string Unique = MaildirUniqueName(Name);
    const std::string Flags = Name.substr(Unique.size());
    for (int N = 0; N < 1000; ++N) {
        const std::string Target = N == 0 ? Name : Unique + "." + std::to_string(N) + Flags;
        int Rc = ::renameat2(From, Name.c_str(), To, Target.c_str(), RENAME_NOREPLACE);
        if (Rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without that flag: the name is looked at first.
            struct statx T;
            if (::statx(To, Target.c_str(), AT_SYMLINK_NOFOLLOW, 0, &T) == 0) errno = EEXIST;
            else Rc = ::renameat(From, Name.c_str(), To, Target.c_str());
        }
        if (Rc == 0) {
            // Another file that took the name since the check goes back.
            struct statx Moved;
            if (StatFile(To, Target, Moved) && SameInode(Moved, Checked)) return;
            ::renameat2(To, Target.c_str(), From, Name.c_str(), RENAME_NOREPLACE);
            throw EOutlookItemGone("The message changed before it could be moved into " + Folder);
        }
        if (errno != EEXIST) throw EOutlookError(Errno("The message cannot be moved into " + Folder));
    }
    throw EOutlookError("The message cannot be moved into " + Folder + ": no free name.");
}

// The folder Name of Dir (Path its path), made when missing; a link or a
// file in its place will not do.
int MakeFolderAt(int Dir, const std::string& Name, const std::string& Path)
{
    if (Dir >= 0 && ::mkdirat(Dir, Name.c_str(), 0700) != 0 && errno != EEXIST) Dir = -1;
    const int Fd = OpenSubFolder(Dir, Name);
    if (Fd < 0) throw EOutlookError(Errno("The folder " + Path + " cannot be made"));
    return Fd;
}

// ---- the Contacts ----

class TContactItems : public TOutlookItems {
public:
    explicit TContactItems(std::vector<std::shared_ptr<TOutlookItem>> Items) : FItems(std::move(Items)) {}
    int Count() const override { return int(FItems.size()); }
    std::shared_ptr<TOutlookItem> Item(int Index) const override
    {
        if (Index < 1 || Index > Count()) throw EOutlookError("Array index out of bounds.");
        return FItems[size_t(Index - 1)];
    }

private:
    std::vector<std::shared_ptr<TOutlookItem>> FItems;
};

bool IsVcfName(const std::string& Name)
{
    return Name.size() > 4 && g_ascii_strcasecmp(Name.c_str() + Name.size() - 4, ".vcf") == 0;
}

std::shared_ptr<TOutlookItems> ListContacts(const std::string& Folder)
{
    if (!IsDir(Folder)) throw EOutlookError("The contacts folder " + Folder + " does not exist.");
    struct TCard {
        std::string FileName, Text;
        TVCard Card;
        TItemStamp Stamp;
    };
    std::vector<TCard> Cards;
    std::string Content;
    const std::vector<std::string> Names = RegularFiles(Folder, false);
    if (ContactsListedHook()) ContactsListedHook()();
    for (const std::string& Name : Names) {
        if (!IsVcfName(Name)) continue;
        // A file that cannot be read gives no cards; the others still count.
        struct statx X;
        const std::string Path = Join(Folder, Name);
        if (!ReadWhole(Path, Content, X)) continue;
        const TItemStamp Stamp = StampOf(X, Path);
        for (const TVCardSpan& S : SplitVCards(Content)) {
            std::string Text = Content.substr(S.Offset, S.Length);
            TVCard Card = ParseVCard(Text);
            Cards.push_back({Name, std::move(Text), std::move(Card), Stamp});
        }
    }
    // The UID, unless another card carries it too (a copy of the same
    // contact): then the file name and a digest of the card's text, so that
    // removing one copy can never take another.
    std::unordered_map<std::string, int> Uses;
    for (const TCard& C : Cards)
        if (!C.Card.Uid.empty()) ++Uses[C.Card.Uid];
    std::vector<std::shared_ptr<TOutlookItem>> Items;
    Items.reserve(Cards.size());
    for (TCard& C : Cards) {
        std::string Id = !C.Card.Uid.empty() && Uses[C.Card.Uid] == 1 ? C.Card.Uid
                                                                      : C.FileName + "#" + Md5Hex(C.Text);
        Items.push_back(std::make_shared<TContactItem>(Folder, C.FileName, std::move(C.Text), std::move(C.Card),
                                                       std::move(Id), C.Stamp));
    }
    return std::make_shared<TContactItems>(std::move(Items));
}

} // namespace

TMailboxPlaces MailboxPlaces()
{
    TMailboxPlaces P;
    const char* M = std::getenv("MAILDIR");
    P.Maildir = M && *M ? std::string(M) : Join(Home(), "Maildir");
    P.Contacts = Join(Home(), ".contacts");
    return P;
}

void SetMailRemovalHook(std::function<void()> Hook) { RemovalHook() = std::move(Hook); }

std::string MaildirUniqueName(const std::string& FileName)
{
    const size_t Colon = FileName.find(":2,");
    return Colon == std::string::npos ? FileName : FileName.substr(0, Colon);
}

void SetContactsListedHook(std::function<void()> Hook) { ContactsListedHook() = std::move(Hook); }

std::shared_ptr<TOutlookItem> TOutlookItems::Find(const std::string& EntryID) const
{
    const int N = Count();
    for (int J = 1; J <= N; ++J)
        if (std::shared_ptr<TOutlookItem> Item = this->Item(J); Item->EntryID() == EntryID) return Item;
    return nullptr;
}

bool SameFile(const TItemStamp& Seen, const TItemStamp& Now)
{
    return Seen.Device == Now.Device && Seen.Inode == Now.Inode && Seen.Size == Now.Size &&
           Seen.Modified == Now.Modified && (Seen.Where != Now.Where || Seen.Changed == Now.Changed);
}

bool TOutlookItem::Unchanged(const TItemStamp& Seen) const
{
    const TFd Dir(OpenFolder());
    struct statx X;
    return StatFile(Dir.Get(), FFileName, X) && SameFile(Seen, StampOf(X, FPath));
}

void TOutlookItem::display() const
{
    struct stat St;
    if (::lstat(FPath.c_str(), &St) != 0 || !S_ISREG(St.st_mode))
        throw EOutlookItemGone("The item can no longer be found: " + FPath);
    ShellOpen(FPath);
}

// ---- e-mail ----

TMailItem::TMailItem(std::string Maildir, std::string Sub, std::string FileName, std::string EntryID)
    : FMaildir(std::move(Maildir)), FSub(std::move(Sub))
{
    FEntryID = std::move(EntryID);
    FFileName = std::move(FileName);
    FPath = Join(Join(FMaildir, FSub), FFileName);
}

// The Maildir itself is reached as the listing reached it; its sub-folders
// through no link.
int TMailItem::OpenFolder() const
{
    const TFd Root(::open(FMaildir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return OpenSubFolder(Root.Get(), FSub);
}

const TMailFields& TMailItem::Fields(bool Bodies)
{
    const int Need = Bodies ? 2 : 1;
    if (FRead >= Need) return FFields;
    ReadFields(Bodies, FFields);
    FRead = Need;
    return FFields;
}

void TMailItem::Stat()
{
    if (FStated) return;
    const TFd Dir(OpenFolder());
    struct statx X;
    if (!StatFile(Dir.Get(), FFileName, X)) throw EOutlookError(Errno(FPath));
    FStamp = StampOf(X, FPath);
    FStated = true;
}

TItemStamp TMailItem::Stamp()
{
    Stat();
    return FStamp;
}

int64_t TMailItem::Size()
{
    Stat();
    return FStamp.Size;
}

void TMailItem::ReadFields(bool Bodies, TMailFields& Out)
{
    std::string Error;
    struct statx X;
    if (!ReadMailFile(FPath, Bodies, Out, Error, &X)) throw EOutlookError(Error);
    // What was read is what a removal must find.
    FStamp = StampOf(X, FPath);
    FStated = true;
}

TDateTime TMailItem::ReceivedTime() { return ReceivedTime(Fields(false)); }

TDateTime TMailItem::ReceivedTime(const TMailFields& F)
{
    int64_t Seconds;
    if (F.HasDate) {
        Seconds = F.Date;
    } else {
        Stat();
        Seconds = FStamp.Modified / 1000000000;
    }
    // Whole seconds: the time reads back from its text unchanged.
    timespec T{};
    T.tv_sec = time_t(Seconds);
    return FileTimeToLocalDateTime(TimespecToFileTime(T));
}

void TMailItem::Delete(const TItemStamp& Seen, TItemStamp*)
{
    // The check and the move go through the same folder descriptors.
    const TFd Root(::open(FMaildir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    const TFd Sub(OpenSubFolder(Root.Get(), FSub));
    struct statx X;
    if (!StatFile(Sub.Get(), FFileName, X)) throw EOutlookItemGone("The message can no longer be found: " + FPath);
    if (!SameFile(Seen, StampOf(X, FPath)))
        throw EOutlookItemGone("The message has changed since the scan: " + FPath);
    if (RemovalHook()) RemovalHook()();
    // Maildir++: the Trash is the folder ".Trash" with its own cur, new and tmp.
    const std::string Trash = Join(FMaildir, ".Trash");
    const TFd TrashFd(MakeFolderAt(Root.Get(), ".Trash", Trash));
    TFd Into;
    for (const char* Name : {"cur", "new", "tmp"}) {
        TFd Fd(MakeFolderAt(TrashFd.Get(), Name, Join(Trash, Name)));
        if (FSub == Name) Into = std::move(Fd);
    }
    MoveNoReplace(Sub.Get(), FFileName, X, Into.Get(), Join(Trash, FSub));
}

// ---- contact ----

TContactItem::TContactItem(std::string Folder, std::string FileName, std::string Text, TVCard Card,
                           std::string EntryID, TItemStamp Stamp)
    : FFolder(std::move(Folder)), FText(std::move(Text)), FCard(std::move(Card)), FStamp(Stamp)
{
    FEntryID = std::move(EntryID);
    FFileName = std::move(FileName);
    FPath = Join(FFolder, FFileName);
}

int TContactItem::OpenFolder() const { return ::open(FFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); }

void TContactItem::Delete(const TItemStamp& Seen, TItemStamp* Rewritten)
{
    // The check, the move and the rewrite go through the same folder
    // descriptor; a pipe or device in the file's place never blocks the open.
    const TFd Dir(OpenFolder());
    const TFd File(Dir.Valid() ? ::openat(Dir.Get(), FFileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC)
                               : -1);
    struct statx X;
    std::string Content;
    if (!File.Valid() || ::statx(File.Get(), "", AT_EMPTY_PATH, STATX_BASIC_STATS, &X) != 0 || !S_ISREG(X.stx_mode))
        throw EOutlookItemGone(Errno("The contacts file " + FPath + " cannot be read"));
    if (!SameFile(Seen, StampOf(X, FPath)))
        throw EOutlookItemGone("The contacts file has changed since the scan: " + FPath);
    if (!ReadFd(File.Get(), Content)) throw EOutlookItemGone(Errno("The contacts file " + FPath + " cannot be read"));
    const TVCardSpan* Found = nullptr;
    const std::vector<TVCardSpan> Spans = SplitVCards(Content);
    for (const TVCardSpan& S : Spans)
        if (std::string_view(Content).substr(S.Offset, S.Length) == FText) {
            Found = &S;
            break;
        }
    if (!Found) throw EOutlookItemGone("The contact can no longer be found in " + FPath);
    std::string Rest = Content.substr(0, Found->Offset) + Content.substr(Found->Offset + Found->Length);
    std::string Error;
    if (Rest.find_first_not_of(" \t\r\n") == std::string::npos) {
        // The file held this card only: the file itself goes to the trash.
        if (!MoveToTrashAt(Dir.Get(), FFileName, FPath, &Error, &X))
            throw EOutlookError("The contact cannot be moved to the trash: " + Error);
        return;
    }
    // The card goes to the trash as a file of its own, made beside its file
    // (the trash must lie on the same file system) in a hidden folder, before
    // the file loses it. The trash records a name free in this folder and in
    // the trash alike, where a restore puts it back among the contacts.
    std::string Temp;
    const TFd TempDir(CreateHidden(Dir.Get(), true, Temp));
    if (!TempDir.Valid()) throw EOutlookError(Errno("The contact cannot be set aside in " + FFolder));
    const std::string Name = FreeCardName(Dir.Get(), FCard.FullName);
    const TFd Card(::openat(TempDir.Get(), Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    struct statx CardX;
    const bool Written = Card.Valid() && WriteAll(Card.Get(), FText) &&
                         ::statx(Card.Get(), "", AT_EMPTY_PATH, STATX_BASIC_STATS, &CardX) == 0;
    if (!Written) Error = std::strerror(errno);
    const bool Trashed = Written && MoveToTrashAt(TempDir.Get(), Name, Join(FFolder, Name), &Error, &CardX, Dir.Get());
    ::unlinkat(TempDir.Get(), Name.c_str(), 0);
    ::unlinkat(Dir.Get(), Temp.c_str(), AT_REMOVEDIR);
    if (!Trashed) throw EOutlookError("The contact cannot be moved to the trash: " + Error);
    // The rest replaces the file at once: written under a hidden name, with
    // the file's mode (and, run as root, its owner), and renamed over it
    // while the file is still the one read, so that a card another program
    // wrote into it meanwhile is not lost. Else the file stays as it is (the
    // card's copy stays in the trash).
    const TFd Out(CreateHidden(Dir.Get(), false, Temp));
    const bool Ready = Out.Valid() && WriteAll(Out.Get(), Rest) && ::fchmod(Out.Get(), X.stx_mode & 07777) == 0 &&
                       (::geteuid() != 0 || ::fchown(Out.Get(), X.stx_uid, X.stx_gid) == 0) && ::fsync(Out.Get()) == 0;
    std::string Why = Ready ? "" : std::strerror(errno);
    if (Ready && RemovalHook()) RemovalHook()();
    struct statx Now;
    const bool Same = Ready && StatFile(Dir.Get(), FFileName, Now) && StampOf(Now, FPath) == StampOf(X, FPath);
    if (Same && ::renameat(Dir.Get(), Temp.c_str(), Dir.Get(), FFileName.c_str()) == 0) {
        if (Rewritten && ::statx(Out.Get(), "", AT_EMPTY_PATH, STATX_BASIC_STATS, &Now) == 0)
            *Rewritten = StampOf(Now, FPath);
        return;
    }
    if (Same) Why = std::strerror(errno);
    if (Out.Valid()) ::unlinkat(Dir.Get(), Temp.c_str(), 0);
    if (Ready && !Same) throw EOutlookItemGone("The contacts file changed while a contact was removed: " + FPath);
    throw EOutlookError("The contacts file " + FPath + " cannot be rewritten: " + Why);
}

// ---- folders, namespace, application ----

std::shared_ptr<TOutlookItems> TOutlookFolder::Items() const
{
    return FNumber == olFolderInbox ? ListMaildir(FPath) : ListContacts(FPath);
}

std::shared_ptr<TOutlookFolder> TOutlookNameSpace::GetDefaultFolder(int Number) const
{
    if (Number == olFolderInbox) {
        if (!IsDir(FPlaces.Maildir)) throw EOutlookError("The Maildir " + FPlaces.Maildir + " does not exist.");
        return std::make_shared<TOutlookFolder>(Number, FPlaces.Maildir);
    }
    if (Number == olFolderContacts) {
        if (!IsDir(FPlaces.Contacts))
            throw EOutlookError("The contacts folder " + FPlaces.Contacts + " does not exist.");
        return std::make_shared<TOutlookFolder>(Number, FPlaces.Contacts);
    }
    throw EOutlookError("The folder " + std::to_string(Number) + " is not offered.");
}

std::shared_ptr<TOutlookNameSpace> TOutlookApplication::GetNameSpace(const std::string& Type) const
{
    if (Type != "MAPI") throw EOutlookError("The namespace " + Type + " is not offered.");
    return std::make_shared<TOutlookNameSpace>(FPlaces);
}

std::shared_ptr<TOutlookApplication> CreateOleObject(const std::string& ProgID)
{
    if (ProgID != "Outlook.Application") throw EOutlookError("Invalid class string");
    TMailboxPlaces Places = MailboxPlaces();
    if (!IsDir(Places.Maildir) && !IsDir(Places.Contacts))
        throw EOutlookError("Neither the Maildir " + Places.Maildir + " nor the contacts folder " + Places.Contacts +
                            " exists.");
    return std::make_shared<TOutlookApplication>(std::move(Places));
}

} // namespace plat
