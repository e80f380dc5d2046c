#include "frame/SettingsUnit.h"

#include "frame/StartupUnit.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "platform/Shell.h"

TMyRegistryInfo MyRegistryInfo;

void LoadSettings() {
    plat::TRegistry Reg(plat::TRootKey::HKEY_LOCAL_MACHINE);
    if (!Reg.OpenKey("\\Software\\Corvane", true)) return;

    if (Reg.ValueExists("HelpURL")) {
        MyRegistryInfo.HelpURL = Reg.ReadString("HelpURL");
    } else {
        MyRegistryInfo.HelpURL = std::string(VendorSite) + "/help";
        Reg.WriteString("HelpURL", MyRegistryInfo.HelpURL);
    }

    if (Reg.ValueExists("HomePage")) {
        MyRegistryInfo.HomePage = Reg.ReadString("HomePage");
    } else {
        MyRegistryInfo.HomePage = VendorSite;
        Reg.WriteString("HomePage", MyRegistryInfo.HomePage);
    }

    if (Reg.ValueExists("CheckUpdate")) {
        MyRegistryInfo.CheckUpdate = Reg.ReadBool("CheckUpdate");
    } else {
        MyRegistryInfo.CheckUpdate = false;
        Reg.WriteBool("CheckUpdate", false);
    }

    MyRegistryInfo.Version = AppVersion;
    Reg.WriteString("Version", AppVersion);
    Reg.CloseKey();
}

TDateTime FileTimeToDateTime(const uint64_t& FileTime) { return plat::FileTimeToLocalDateTime(FileTime); }

void GetWindowsDir(std::string& Dir) { Dir = "/usr"; }

void GetCurrentUserName(std::string& Name) {
    const std::string User = plat::UserName();
    if (!User.empty()) Name = User;
}

void OpenURL(const std::string& URL) { plat::ShellOpen(URL); }
