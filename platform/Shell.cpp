#include "platform/Shell.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <cerrno>
#include <cstring>

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

bool RealTrash(const std::string& Path, std::string* Error) {
    struct stat St;
    if (Path.empty() || lstat(Path.c_str(), &St) != 0) return Fail(Error, Path + ": " + std::strerror(errno));
    // Without the data folder Qt 6.4 "trashes" into ./files of the current folder.
    const QString Data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (Data.isEmpty() || !QDir().mkpath(Data)) return Fail(Error, "The trash folder cannot be made.");
    QFile File(QString::fromStdString(Path));
    if (!File.moveToTrash()) {
        const std::string Why = File.errorString().toStdString();
        return Fail(Error, Why.empty() ? "The file could not be moved to the trash." : Why);
    }
    const QString NewPath = File.fileName();  // the path in the trash after a move
    // Only a file that left its place and now lies in a trash counts as trashed.
    struct stat Moved;
    if (!IsInTrashFolder(NewPath.toStdString()) || lstat(NewPath.toStdString().c_str(), &Moved) != 0 ||
        lstat(Path.c_str(), &St) == 0)
        return Fail(Error, "The file did not reach the trash.");
    return true;
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

bool IsInTrashFolder(const std::string& Path) {
    const std::string Uid = std::to_string(getuid());
    for (const std::string& Mark : {std::string("/Trash/files/"), "/.Trash-" + Uid + "/files/",
                                    "/.Trash/" + Uid + "/files/"}) {
        const size_t At = Path.find(Mark);
        // Something must follow the files folder, and no "/.." may climb back out.
        if (At != std::string::npos && Path.size() > At + Mark.size() && Path.find("/../") == std::string::npos &&
            Path.compare(Path.size() - 3, 3, "/..") != 0)
            return true;
    }
    return false;
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
