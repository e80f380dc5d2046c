#include "platform/Shell.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::string Parent(const std::string& Path) {
    const size_t Slash = Path.rfind('/');
    return Slash == 0 ? "/" : Path.substr(0, Slash);
}

bool MakeFolder(const std::string& Path) {
    struct stat St;
    if (mkdir(Path.c_str(), 0700) == 0) return true;
    return errno == EEXIST && lstat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

bool MakeFolders(const std::string& Path) {
    for (size_t At = Path.find('/', 1); At != std::string::npos; At = Path.find('/', At + 1))
        if (!MakeFolder(Path.substr(0, At))) return false;
    return MakeFolder(Path);
}

// The user's data folder: $XDG_DATA_HOME, else ~/.local/share.
std::string DataHome() {
    const char* Data = std::getenv("XDG_DATA_HOME");
    if (Data && *Data == '/') return Data;
    const char* Home = std::getenv("HOME");
    return Home && *Home == '/' ? std::string(Home) + "/.local/share" : std::string();
}

// The trash of the file system that holds a path below Top (its mount
// point): Top/.Trash/<uid> where an administrator made Top/.Trash (a real,
// sticky folder), else Top/.Trash-<uid>.
std::string TopTrash(const std::string& Top) {
    const std::string Base = Top == "/" ? "" : Top;
    const std::string Uid = std::to_string(getuid());
    struct stat St;
    if (lstat((Base + "/.Trash").c_str(), &St) == 0 && S_ISDIR(St.st_mode) && (St.st_mode & S_ISVTX) &&
        MakeFolder(Base + "/.Trash/" + Uid))
        return Base + "/.Trash/" + Uid;
    const std::string Own = Base + "/.Trash-" + Uid;
    if (MakeFolder(Own) && lstat(Own.c_str(), &St) == 0 && St.st_uid == getuid()) return Own;
    return "";
}

// "name.ext" becomes "name.2.ext", "name.3.ext", ... when the trash holds it.
std::string TrashName(const std::string& Base, int Try) {
    if (Try == 1) return Base;
    const size_t Dot = Base.rfind('.');
    const size_t Cut = Dot == std::string::npos || Dot == 0 ? Base.size() : Dot;
    return Base.substr(0, Cut) + "." + std::to_string(Try) + Base.substr(Cut);
}

std::string DeletionDate() {
    const std::time_t Now = std::time(nullptr);
    std::tm Local{};
    localtime_r(&Now, &Local);
    char Buf[32];
    std::strftime(Buf, sizeof Buf, "%Y-%m-%dT%H:%M:%S", &Local);
    return Buf;
}

// The freedesktop.org trash, done on the path's bytes: a name that is not
// valid UTF-8 must reach the trash as it is, which no QString route keeps.
bool RealTrash(const std::string& Given, std::string* Error) {
    std::string Path = Given;
    if (!Path.empty() && Path[0] != '/') {
        char Cwd[4096];
        if (!getcwd(Cwd, sizeof Cwd)) return Fail(Error, Path + ": " + std::strerror(errno));
        Path = std::string(Cwd) + "/" + Path;
    }
    while (Path.size() > 1 && Path.back() == '/') Path.pop_back();
    struct stat St;
    if (Given.empty() || lstat(Path.c_str(), &St) != 0) return Fail(Error, Given + ": " + std::strerror(errno));
    const std::string Base = Path.substr(Path.rfind('/') + 1);
    if (Base.empty() || Base == "." || Base == "..") return Fail(Error, Given + ": not a file or folder to trash.");

    // The home trash takes what lies on its own file system; anything else
    // goes to the trash of the file system it is on, never across.
    const std::string Data = DataHome();
    struct stat DataSt;
    if (Data.empty() || !MakeFolders(Data) || stat(Data.c_str(), &DataSt) != 0)
        return Fail(Error, "The trash folder cannot be made.");
    std::string Trash, InfoPath = Path;
    if (DataSt.st_dev == St.st_dev) {
        Trash = Data + "/Trash";
    } else {
        std::string Top = Parent(Path);
        for (struct stat Up; Top != "/" && stat(Parent(Top).c_str(), &Up) == 0 && Up.st_dev == St.st_dev;)
            Top = Parent(Top);
        Trash = TopTrash(Top);
        InfoPath = Path.substr(Top == "/" ? 1 : Top.size() + 1);  // relative to the top folder
    }
    if (Trash.empty() || !MakeFolders(Trash + "/files") || !MakeFolders(Trash + "/info"))
        return Fail(Error, "The trash folder cannot be made.");

    const std::string Info = "[Trash Info]\nPath=" + PercentEncoded(InfoPath) + "\nDeletionDate=" + DeletionDate() + "\n";
    for (int Try = 1; Try <= 10000; ++Try) {
        const std::string Name = TrashName(Base, Try);
        const std::string InfoFile = Trash + "/info/" + Name + ".trashinfo";
        const std::string Target = Trash + "/files/" + Name;
        // The info file, made exclusively, reserves the name.
        const int Fd = open(InfoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (Fd < 0 && errno == EEXIST) continue;
        if (Fd < 0) return Fail(Error, InfoFile + ": " + std::strerror(errno));
        const bool Written = write(Fd, Info.data(), Info.size()) == ssize_t(Info.size());
        const bool Closed = close(Fd) == 0;
        struct stat Taken;
        if (Written && Closed && lstat(Target.c_str(), &Taken) != 0) {
            int Rc = renameat2(AT_FDCWD, Path.c_str(), AT_FDCWD, Target.c_str(), RENAME_NOREPLACE);
            if (Rc != 0 && (errno == EINVAL || errno == ENOSYS)) Rc = rename(Path.c_str(), Target.c_str());
            if (Rc == 0) return true;
            if (errno != EEXIST) {
                const std::string Why = std::strerror(errno);
                unlink(InfoFile.c_str());
                return Fail(Error, Given + ": " + Why);
            }
        }
        const bool Broken = !Written || !Closed;
        unlink(InfoFile.c_str());
        if (Broken) return Fail(Error, InfoFile + ": the trash information could not be written.");
    }
    return Fail(Error, Given + ": the trash holds too many items of that name.");
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
    return RealTrash(Path, Error);
}

void SetShellHooks(TShellHooks H) { Hooks() = std::move(H); }

} // namespace plat
