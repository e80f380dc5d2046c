#include "platform/Shell.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QProcess>
#include <QRandomGenerator>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/PathAt.h"

namespace plat {

namespace {

TShellHooks& Hooks() {
    static TShellHooks H;
    return H;
}

QUrl TargetUrl(const std::string& Target) {
    const QString T = QString::fromStdString(Target);
    if (T.startsWith('/')) return QUrl::fromLocalFile(T);
    return QUrl::fromUserInput(T);
}

bool Fail(std::string* Error, const std::string& Text) {
    if (Error) *Error = Text;
    return false;
}

// Makes the data folder and its missing parents. Run as root (the elevated
// copy with the user's HOME), what it makes takes the owner of the nearest
// folder that was there, so the user's own folders stay the user's.
bool MakeDataFolders(const std::string& Path) {
    struct stat Owner;
    if (stat("/", &Owner) != 0) return false;
    for (size_t At = 1; At <= Path.size(); ++At) {
        if (At < Path.size() && Path[At] != '/') continue;
        const std::string Part = Path.substr(0, At);
        if (mkdir(Part.c_str(), 0700) == 0) {
            if (geteuid() == 0 && lchown(Part.c_str(), Owner.st_uid, Owner.st_gid) != 0) return false;
        } else if (errno != EEXIST) {
            return false;
        }
        if (stat(Part.c_str(), &Owner) != 0 || !S_ISDIR(Owner.st_mode)) return false;
    }
    return true;
}

// The user's data folder: $XDG_DATA_HOME, else ~/.local/share.
std::string DataHome() {
    const char* Data = std::getenv("XDG_DATA_HOME");
    if (Data && *Data == '/') return Data;
    const char* Home = std::getenv("HOME");
    return Home && *Home == '/' ? std::string(Home) + "/.local/share" : std::string();
}

bool StatSelf(int Fd, struct statx& X) {
    return statx(Fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_MNT_ID, &X) == 0;
}

bool SameFile(const struct statx& A, const struct statx& B) {
    return A.stx_ino == B.stx_ino && A.stx_dev_major == B.stx_dev_major && A.stx_dev_minor == B.stx_dev_minor;
}

// A rename never leaves its mount: the device, and the mount id where the
// kernel tells it (bind mounts of one file system share the device).
bool SameMount(const struct statx& A, const struct statx& B) {
    return A.stx_dev_major == B.stx_dev_major && A.stx_dev_minor == B.stx_dev_minor &&
           (!(A.stx_mask & B.stx_mask & STATX_MNT_ID) || A.stx_mnt_id == B.stx_mnt_id);
}

// The folder Name of Dir, made (0700) when missing and opened without
// following a link. A folder made while Owner is given goes to that owner.
int TrashFolder(int Dir, const std::string& Name, const struct stat* Owner) {
    const bool Made = mkdirat(Dir, Name.c_str(), 0700) == 0;
    if (!Made && errno != EEXIST) return -1;
    TFd Fd(openat(Dir, Name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (Fd.Valid() && Made && Owner && fchownat(Fd.Get(), "", Owner->st_uid, Owner->st_gid, AT_EMPTY_PATH) != 0)
        return -1;
    return Fd.Release();
}

// A folder of the user's own that nobody else may write to.
bool UsersOwn(int Fd, uid_t User) {
    struct statx X;
    return Fd >= 0 && StatSelf(Fd, X) && S_ISDIR(X.stx_mode) && X.stx_uid == User && !(X.stx_mode & 022);
}

// The trash of the user User at the top folder of a mount: Top/.Trash/<uid>
// when an administrator made Top/.Trash (a real, sticky folder) and <uid> in
// it is the user's own, else Top/.Trash-<uid>, which must be the user's own
// too. Another user's folder there could be swapped under us. Folders made
// while Owner is given go to that owner.
int TopTrash(int Top, uid_t User, const struct stat* Owner) {
    const std::string Uid = std::to_string(User);
    TFd Shared(openat(Top, ".Trash", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct statx X;
    if (Shared.Valid() && StatSelf(Shared.Get(), X) && (X.stx_mode & S_ISVTX)) {
        TFd Own(TrashFolder(Shared.Get(), Uid, Owner));
        if (UsersOwn(Own.Get(), User)) return Own.Release();
    }
    TFd Own(TrashFolder(Top, ".Trash-" + Uid, Owner));
    return UsersOwn(Own.Get(), User) ? Own.Release() : -1;
}

// The top folder of the mount that holds the folder Dir: its parents,
// climbed through "..", while they are on that mount.
int MountTop(int Dir, const struct statx& DirX) {
    TFd Top(fcntl(Dir, F_DUPFD_CLOEXEC, 0));
    struct statx Here = DirX, Up;
    for (;;) {
        TFd Parent(openat(Top.Get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!Parent.Valid() || !StatSelf(Parent.Get(), Up) || !SameMount(Up, DirX) || SameFile(Up, Here)) break;
        Top = std::move(Parent);
        Here = Up;
    }
    return Top.Release();
}

// Path relative to the folder Top when Top is one of the folders it passes
// through, as a top trash records it; else the absolute path.
std::string RelativeTo(const std::string& Path, int Top) {
    struct statx TopX, X;
    if (!StatSelf(Top, TopX)) return Path;
    TFd Dir(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    size_t Rel = std::string::npos;
    for (size_t At = 0; Dir.Valid() && At < Path.size();) {
        if (StatSelf(Dir.Get(), X) && SameFile(X, TopX)) Rel = At;
        const size_t End = std::min(Path.find('/', At + 1), Path.size());
        if (End == Path.size()) break;  // the last component: the entry itself
        const std::string Part = Path.substr(At + 1, End - At - 1);
        if (Part == "..") return Path;
        Dir.Reset(Part.empty() || Part == "." ? fcntl(Dir.Get(), F_DUPFD_CLOEXEC, 0)
                                              : openat(Dir.Get(), Part.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        At = End;
    }
    return Rel == std::string::npos ? Path : Path.substr(Rel + 1);
}

// What sets a name in the trash apart from the others of its entry's name:
// nothing at the first try, "2" at the second, then a random part, so that
// a free name is found in a few tries however many items share the name.
std::string TrashSuffix(int Try) {
    if (Try == 1) return "";
    if (Try == 2) return ".2";
    char Part[16];
    std::snprintf(Part, sizeof Part, ".%012llx",
                  static_cast<unsigned long long>(QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFFFull));
    return Part;
}

// The name in the trash: the entry's own, "name.ext" as "name<suffix>.ext"
// from the second try on, its stem cut so that "<name>.trashinfo" still fits
// in a folder entry (the info keeps the true name); a cut never splits a
// UTF-8 character.
std::string TrashName(const std::string& Base, int Try) {
    constexpr size_t Room = NAME_MAX - sizeof ".trashinfo" + 1;
    const size_t Dot = Base.rfind('.');
    size_t Cut = Dot == std::string::npos || Dot == 0 ? Base.size() : Dot;
    const std::string Number = TrashSuffix(Try);
    if (Base.size() + Number.size() > Room && Base.size() - Cut > 16) Cut = Base.size();  // no real extension
    std::string Stem = Base.substr(0, Cut);
    const size_t Keep = Room - Number.size() - (Base.size() - Cut);
    if (Stem.size() > Keep) {
        const auto Inside = [&](size_t At) { return (static_cast<unsigned char>(Stem[At]) & 0xC0) == 0x80; };
        size_t End = Keep;
        while (End + 3 > Keep && Inside(End)) --End;  // back to the character's first byte
        Stem.resize(Inside(End) ? Keep : End);        // no UTF-8 there: cut where it falls
    }
    return Stem + Number + Base.substr(Cut);
}

std::string DeletionDate() {
    const std::time_t Now = std::time(nullptr);
    std::tm Local{};
    localtime_r(&Now, &Local);
    char Buf[32];
    std::strftime(Buf, sizeof Buf, "%Y-%m-%dT%H:%M:%S", &Local);
    return Buf;
}

std::string Absolute(const std::string& Path) {
    if (Path.empty() || Path[0] == '/') return Path;
    char Cwd[PATH_MAX];
    return getcwd(Cwd, sizeof Cwd) ? std::string(Cwd) + "/" + Path : Path;
}

// The freedesktop.org trash, done on the name's bytes and by descriptors: a
// name that is not valid UTF-8 must reach the trash as it is, which no
// QString route keeps, and the entry moved is the one in the folder the
// caller opened, whatever its path has become.
bool RealTrash(int DirFd, const std::string& Name, const std::string& InfoPath, std::string* Error,
               const struct statx* Checked, int RestoreDir) {
    struct statx DirX, Found;
    if (Name.empty() || Name == "." || Name == ".." || Name.find('/') != std::string::npos)
        return Fail(Error, InfoPath + ": not a file or folder to trash.");
    if (!StatSelf(DirFd, DirX) || !StatAt(DirFd, Name.c_str(), Found)) return Fail(Error, InfoPath + ": " + std::strerror(errno));

    // The home trash takes what lies on its own mount; anything else goes
    // to the trash of the mount it is on, never across.
    const std::string Data = DataHome();
    const TFd DataFd(Data.empty() || !MakeDataFolders(Data) ? -1 : open(Data.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct statx DataX;
    struct stat DataOwner;
    if (!DataFd.Valid() || !StatSelf(DataFd.Get(), DataX) || fstat(DataFd.Get(), &DataOwner) != 0)
        return Fail(Error, "The trash folder cannot be made.");
    TFd Trash;
    std::string Recorded = Absolute(InfoPath);
    const bool Home = SameMount(DataX, DirX);
    // Run as root (the elevated copy with the user's home), the trash is the
    // data folder's owner's on every mount, and what it gains stays theirs.
    const struct stat* Owner = geteuid() == 0 ? &DataOwner : nullptr;
    const uid_t User = Owner ? Owner->st_uid : getuid();
    if (Home) {
        Trash.Reset(TrashFolder(DataFd.Get(), "Trash", Owner));
    } else {
        const TFd Top(MountTop(DirFd, DirX));
        if (Top.Valid()) Trash.Reset(TopTrash(Top.Get(), User, Owner));
        if (Top.Valid()) Recorded = RelativeTo(Recorded, Top.Get());
    }
    const TFd Files(Trash.Valid() ? TrashFolder(Trash.Get(), "files", Owner) : -1);
    const TFd Infos(Trash.Valid() ? TrashFolder(Trash.Get(), "info", Owner) : -1);
    if (!Files.Valid() || !Infos.Valid()) return Fail(Error, "The trash folder cannot be made.");

    // Named in the trash as at the place it is restored to.
    const size_t Slash = Recorded.rfind('/') + 1;  // 0 when there is none
    std::string Base = Recorded.substr(Slash);
    if (Base.empty() || Base == "." || Base == "..") Base = Name;
    const std::string Date = DeletionDate();
    for (int Try = 1; Try <= 100; ++Try) {
        const std::string Target = TrashName(Base, Try);
        const std::string InfoFile = Target + ".trashinfo";
        // Choosing the name to restore to: the one in the trash, when its
        // folder has nothing of that name either.
        struct stat There;
        if (RestoreDir >= 0 && (fstatat(RestoreDir, Target.c_str(), &There, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT))
            continue;
        const std::string Where = RestoreDir >= 0 ? Recorded.substr(0, Slash) + Target : Recorded;
        const std::string Info = "[Trash Info]\nPath=" + PercentEncoded(Where) + "\nDeletionDate=" + Date + "\n";
        // The info file, made exclusively, reserves the name.
        const int Fd = openat(Infos.Get(), InfoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (Fd < 0 && errno == EEXIST) continue;
        if (Fd < 0) return Fail(Error, InfoFile + ": " + std::strerror(errno));
        const bool Written = (!Owner || fchown(Fd, Owner->st_uid, Owner->st_gid) == 0) &&
                             write(Fd, Info.data(), Info.size()) == ssize_t(Info.size());
        const bool Closed = close(Fd) == 0;
        struct statx Taken;
        if (Written && Closed && !StatAt(Files.Get(), Target.c_str(), Taken)) {
            int Rc = renameat2(DirFd, Name.c_str(), Files.Get(), Target.c_str(), RENAME_NOREPLACE);
            if (Rc != 0 && (errno == EINVAL || errno == ENOSYS)) Rc = renameat(DirFd, Name.c_str(), Files.Get(), Target.c_str());
            if (Rc == 0) {
                // Between the caller's check and the move, another entry may
                // have taken the name: that one goes back where it was.
                struct statx Moved;
                if (StatAt(Files.Get(), Target.c_str(), Moved) && SameFile(Moved, Checked ? *Checked : Found)) return true;
                if (renameat2(Files.Get(), Target.c_str(), DirFd, Name.c_str(), RENAME_NOREPLACE) == 0)
                    unlinkat(Infos.Get(), InfoFile.c_str(), 0);
                return Fail(Error, InfoPath + ": it changed before it could be moved to the trash.");
            }
            if (errno != EEXIST) {
                const std::string Why = std::strerror(errno);
                unlinkat(Infos.Get(), InfoFile.c_str(), 0);
                return Fail(Error, InfoPath + ": " + Why);
            }
        }
        const bool Broken = !Written || !Closed;
        unlinkat(Infos.Get(), InfoFile.c_str(), 0);
        if (Broken) return Fail(Error, InfoFile + ": the trash information could not be written.");
    }
    return Fail(Error, InfoPath + ": no free name was found in the trash.");
}

void RealProperties(const std::string& Path) {
    QDBusConnection Bus = QDBusConnection::sessionBus();
    if (!Bus.isConnected()) return;
    QDBusMessage Call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", "ShowItemProperties");
    Call << QStringList{QUrl::fromLocalFile(QString::fromStdString(Path)).toString()} << QString();
    Bus.send(Call);  // no answer awaited: nothing happens when no file manager listens
}

} // namespace

std::string PercentEncoded(std::string_view Path) {
    static const char Hex[] = "0123456789ABCDEF";
    std::string Out;
    for (const char C : Path) {
        const auto U = static_cast<unsigned char>(C);
        if ((U >= 'A' && U <= 'Z') || (U >= 'a' && U <= 'z') || (U >= '0' && U <= '9') || std::strchr("-._~/", C)) {
            Out += C;
        } else {
            Out += '%';
            Out += Hex[U >> 4];
            Out += Hex[U & 15];
        }
    }
    return Out;
}

void ShellOpen(const std::string& Target) {
    if (Hooks().Open) return Hooks().Open(Target);
    QDesktopServices::openUrl(TargetUrl(Target));
}

bool ShellRun(const std::string& Program) {
    if (Hooks().Run) return Hooks().Run(Program);
    return !Program.empty() && QProcess::startDetached(QString::fromStdString(Program), {});
}

void ShowProperties(const std::string& Path) {
    if (Hooks().Properties) return Hooks().Properties(Path);
    RealProperties(Path);
}

bool MoveToTrash(const std::string& Path, std::string* Error) {
    if (Hooks().Trash) return Hooks().Trash(Path, Error);
    std::string Name, Clean = Path;
    while (Clean.size() > 1 && Clean.back() == '/') Clean.pop_back();
    const TFd Dir(OpenParentNoFollow(Clean, Name));
    if (!Dir.Valid()) return Fail(Error, Path + ": " + std::strerror(errno));
    return RealTrash(Dir.Get(), Name, Clean, Error, nullptr, -1);
}

bool MoveToTrashAt(int DirFd, const std::string& Name, const std::string& InfoPath, std::string* Error,
                   const struct statx* Checked, int RestoreDir) {
    if (Hooks().Trash) return Hooks().Trash(InfoPath, Error);
    return RealTrash(DirFd, Name, InfoPath, Error, Checked, RestoreDir);
}

void SetShellHooks(TShellHooks H) { Hooks() = std::move(H); }

} // namespace plat
