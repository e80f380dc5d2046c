#include "platform/Mailbox.h"

#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/AtomicFile.h"
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

bool ReadWhole(const std::string& Path, std::string& Out)
{
    const int Fd = ::open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (Fd < 0) return false;
    struct stat St;
    bool Ok = ::fstat(Fd, &St) == 0 && S_ISREG(St.st_mode) && St.st_size <= MaxContactsFile;
    Out.clear();
    char Buf[65536];
    while (Ok) {
        const ssize_t N = ::read(Fd, Buf, sizeof Buf);
        if (N < 0 && errno == EINTR) continue;
        if (N <= 0) {
            Ok = N == 0;
            break;
        }
        Out.append(Buf, size_t(N));
        Ok = Out.size() <= size_t(MaxContactsFile);
    }
    ::close(Fd);
    return Ok;
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

// Moves From to To without replacing anything there; a name taken gets a
// number added to its unique part.
void MoveNoReplace(const std::string& From, const std::string& Folder, const std::string& FileName)
{
    const std::string Unique = MaildirUniqueName(FileName);
    const std::string Flags = FileName.substr(Unique.size());
    for (int N = 0; N < 1000; ++N) {
        const std::string To = Join(Folder, N == 0 ? FileName : Unique + "." + std::to_string(N) + Flags);
        // A hard link never replaces: the message is then in both places
        // until the old name goes.
        if (::link(From.c_str(), To.c_str()) == 0) {
            if (::unlink(From.c_str()) == 0) return;
            const std::string Why = Errno(From);
            ::unlink(To.c_str());
            throw EOutlookError(Why);
        }
        if (errno != EEXIST) throw EOutlookError(Errno("The message cannot be moved into " + Folder));
    }
    throw EOutlookError("The message cannot be moved into " + Folder + ": no free name.");
}

void MakeFolder(const std::string& Path)
{
    if (::mkdir(Path.c_str(), 0700) == 0) return;
    struct stat St;
    // An existing folder will do; a link or a file in its place will not.
    if (errno == EEXIST && ::lstat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode)) return;
    throw EOutlookError(Errno("The folder " + Path + " cannot be made"));
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
    };
    std::vector<TCard> Cards;
    std::string Content;
    for (const std::string& Name : RegularFiles(Folder, false)) {
        if (!IsVcfName(Name)) continue;
        // A file that cannot be read gives no cards; the others still count.
        if (!ReadWhole(Join(Folder, Name), Content)) continue;
        for (const TVCardSpan& S : SplitVCards(Content)) {
            std::string Text = Content.substr(S.Offset, S.Length);
            TVCard Card = ParseVCard(Text);
            Cards.push_back({Name, std::move(Text), std::move(Card)});
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
                                                       std::move(Id)));
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

std::string MaildirUniqueName(const std::string& FileName)
{
    const size_t Colon = FileName.find(":2,");
    return Colon == std::string::npos ? FileName : FileName.substr(0, Colon);
}

std::shared_ptr<TOutlookItem> TOutlookItems::Find(const std::string& EntryID) const
{
    const int N = Count();
    for (int J = 1; J <= N; ++J)
        if (std::shared_ptr<TOutlookItem> Item = this->Item(J); Item->EntryID() == EntryID) return Item;
    return nullptr;
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
    : FMaildir(std::move(Maildir)), FSub(std::move(Sub)), FFileName(std::move(FileName))
{
    FEntryID = std::move(EntryID);
    FPath = Join(Join(FMaildir, FSub), FFileName);
}

const TMailFields& TMailItem::Fields(bool Bodies)
{
    const int Need = Bodies ? 2 : 1;
    if (FRead >= Need) return FFields;
    std::string Error;
    if (!ReadMailFile(FPath, Bodies, FFields, Error)) throw EOutlookError(Error);
    FRead = Need;
    return FFields;
}

void TMailItem::Stat()
{
    if (FStated) return;
    struct stat St;
    if (::lstat(FPath.c_str(), &St) != 0 || !S_ISREG(St.st_mode)) throw EOutlookError(Errno(FPath));
    FSize = St.st_size;
    FModified = St.st_mtime;
    FStated = true;
}

int64_t TMailItem::Size()
{
    Stat();
    return FSize;
}

void TMailItem::ReadFields(bool Bodies, TMailFields& Out) const
{
    std::string Error;
    if (!ReadMailFile(FPath, Bodies, Out, Error)) throw EOutlookError(Error);
}

TDateTime TMailItem::ReceivedTime() { return ReceivedTime(Fields(false)); }

TDateTime TMailItem::ReceivedTime(const TMailFields& F)
{
    int64_t Seconds;
    if (F.HasDate) {
        Seconds = F.Date;
    } else {
        Stat();
        Seconds = FModified;
    }
    // Whole seconds: the time reads back from its text unchanged.
    timespec T{};
    T.tv_sec = time_t(Seconds);
    return FileTimeToLocalDateTime(TimespecToFileTime(T));
}

void TMailItem::Delete()
{
    struct stat St;
    if (::lstat(FPath.c_str(), &St) != 0 || !S_ISREG(St.st_mode))
        throw EOutlookItemGone("The message can no longer be found: " + FPath);
    // Maildir++: the Trash is the folder ".Trash" with its own cur, new and tmp.
    const std::string Trash = Join(FMaildir, ".Trash");
    MakeFolder(Trash);
    for (const char* Sub : {"cur", "new", "tmp"}) MakeFolder(Join(Trash, Sub));
    MoveNoReplace(FPath, Join(Trash, FSub), FFileName);
}

// ---- contact ----

TContactItem::TContactItem(std::string Folder, std::string FileName, std::string Text, TVCard Card,
                           std::string EntryID)
    : FFolder(std::move(Folder)), FFileName(std::move(FileName)), FText(std::move(Text)), FCard(std::move(Card))
{
    FEntryID = std::move(EntryID);
    FPath = Join(FFolder, FFileName);
}

void TContactItem::Delete()
{
    std::string Content;
    if (!ReadWhole(FPath, Content))
        throw EOutlookItemGone(Errno("The contacts file " + FPath + " cannot be read"));
    // The card is found again by its text: a file changed since it was
    // read still loses only this card.
    const TVCardSpan* Found = nullptr;
    const std::vector<TVCardSpan> Spans = SplitVCards(Content);
    for (const TVCardSpan& S : Spans)
        if (std::string_view(Content).substr(S.Offset, S.Length) == FText) {
            Found = &S;
            break;
        }
    if (!Found) throw EOutlookItemGone("The contact can no longer be found in " + FPath);
    std::string Rest = Content.substr(0, Found->Offset) + Content.substr(Found->Offset + Found->Length);
    const bool Alone = Rest.find_first_not_of(" \t\r\n") == std::string::npos;
    std::string Error;
    if (Alone) {
        // The file held this card only: the file itself goes to the trash.
        if (!MoveToTrash(FPath, &Error)) throw EOutlookError("The contact cannot be moved to the trash: " + Error);
        return;
    }
    // The card goes to the trash as a file of its own, made beside its file
    // (the trash must lie on the same file system), before the file loses it.
    std::string Temp = Join(FFolder, ".corvane-card-XXXXXX");
    if (!::mkdtemp(Temp.data())) throw EOutlookError(Errno("The contact cannot be set aside in " + FFolder));
    const std::string Single = Join(Temp, CardFileName(FCard.FullName));
    FILE* Out = std::fopen(Single.c_str(), "wbx");
    bool Written = Out && std::fwrite(FText.data(), 1, FText.size(), Out) == FText.size();
    if (Out) Written = std::fclose(Out) == 0 && Written;
    const bool Trashed = Written && MoveToTrash(Single, &Error);
    ::unlink(Single.c_str());
    ::rmdir(Temp.c_str());
    if (!Trashed)
        throw EOutlookError("The contact cannot be moved to the trash: " + (Error.empty() ? Errno(Single) : Error));
    struct stat St;
    const bool Kept = ::lstat(FPath.c_str(), &St) == 0 && S_ISREG(St.st_mode);
    if (!Kept || !ReplaceFile(FPath, Rest, St.st_mode & 07777, Error))
        throw EOutlookError("The contacts file " + FPath +
                            " cannot be rewritten: " + (Error.empty() ? std::strerror(errno) : Error));
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
