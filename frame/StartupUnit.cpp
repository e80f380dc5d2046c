#include "frame/StartupUnit.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdlib>

#include "platform/InstanceLock.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "platform/VersionInfo.h"
#include "platform/XdgFolders.h"

std::string AppVersion;

namespace {

TElevatedLauncher& Launcher() {
    static TElevatedLauncher L;
    return L;
}

bool PkexecLauncher(const std::string& Program, const std::vector<std::string>& Arguments,
                    const std::string& Directory) {
    QStringList Args;
    for (const auto& A : Arguments) Args << QString::fromStdString(A);
    return QProcess::startDetached(QString::fromStdString(Program), Args, QString::fromStdString(Directory));
}

} // namespace

void GetFileVersionString(const std::string& FileName, std::string& Version) {
    Version = plat::ReadVersionStamp(FileName);
}

bool IsUACEnabled() {
    plat::TRegistry Reg(plat::TRootKey::HKEY_LOCAL_MACHINE);
    if (!Reg.OpenKey("Software\\microsoft\\Windows\\CurrentVersion\\Policies\\System", false)) return false;
    try {
        return Reg.ReadInteger("EnableLUA") != 0;
    } catch (const plat::ERegistryException&) {
        return false;  // a policy we cannot read does not ask for elevation
    }
}

bool ConsumeSetupFlag() {
    bool Result = false;
    plat::TRegistry Reg(plat::TRootKey::HKEY_CURRENT_USER);
    if (Reg.OpenKey("SOFTWARE\\Corvane", false)) {
        try {
            Result = Reg.ReadString("setup") == "1";
        } catch (const plat::ERegistryException&) {
            Result = false;  // a "setup" of another type is no "1"; it is deleted all the same
        }
        Reg.CloseKey();
        if (Reg.OpenKey("SOFTWARE\\Corvane", true)) Reg.DeleteValue("setup");
    }
    return Result;
}

int RunElevated(const std::string& FileName, const std::string& Directory) {
    // pkexec clears the environment and gives root's HOME: hand over the
    // display, the settings folder (or the elevated copy would not find
    // "vista" = "1" and would restart itself again), and the user's home and
    // data folder, where the trash and the scheduled scans are the user's.
    std::vector<std::string> Args = {"/usr/bin/env"};
    for (const char* Name : {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"})
        if (const char* V = std::getenv(Name)) Args.push_back(std::string(Name) + "=" + V);
    const std::string Store = plat::TRegistry::StoreFolder();
    const size_t Slash = Store.rfind('/');
    if (Slash != std::string::npos && Slash > 0) Args.push_back("XDG_CONFIG_HOME=" + Store.substr(0, Slash));
    Args.push_back("HOME=" + plat::HomeFolder());
    Args.push_back("XDG_DATA_HOME=" + plat::DataHome());
    Args.push_back(FileName);
    if (Launcher())
        Launcher()("pkexec", Args, Directory);
    else
        PkexecLauncher("pkexec", Args, Directory);
    return 0;
}

void SetElevatedLauncher(TElevatedLauncher L) { Launcher() = std::move(L); }

bool NeedsElevatedRestart(int MajorVersion) {
    if (MajorVersion < 6) return false;
    if (ConsumeSetupFlag()) return false;
    if (!IsUACEnabled()) return false;
    plat::TRegistry Reg(plat::TRootKey::HKEY_CURRENT_USER);
    if (!Reg.OpenKey("Software\\Corvane", true)) return false;
    try {
        if (Reg.ReadString("vista") != "1") {
            Reg.WriteString("vista", "1");
            return true;
        }
        Reg.WriteString("vista", "");
    } catch (const plat::ERegistryException&) {
        // A flag of the wrong type or a store we cannot write: no restart,
        // which could otherwise repeat at every start.
        return false;
    }
    return false;
}

TStartAction SingleInstanceAndRestart(plat::TInstanceLock& Lock, int MajorVersion) {
    // A lock that cannot be made at all does not keep the program from running.
    if (Lock.Acquire("Corvane") == plat::TLockResult::AlreadyRunning) return TStartAction::SecondInstance;
    if (!NeedsElevatedRestart(MajorVersion)) return TStartAction::Run;
    Lock.Release();
    RunElevated(plat::ProgramPath(), "");
    return TStartAction::Restarted;
}
