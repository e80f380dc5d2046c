// The program's entry: single instance, the one elevated restart, settings,
// splash, data module, main window, message loop, in this order.
#include "frame/StartupUnit.h"

#include <exception>

#include "finder/window/DeleteDuplicatesUnit.h"
#include "frame/CorvaneApplication.h"
#include "frame/SettingsUnit.h"
#include "platform/Clock.h"
#include "platform/InstanceLock.h"
#include "platform/widgets/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "windows/DMUnit.h"
#include "windows/StartUnit.h"
#include "windows/WindowHelpers.h"

int ProgramMain(int argc, char** argv) {
    GetFileVersionString(plat::ProgramPath(), AppVersion);

    // Held until the process ends; the system drops it with the process.
    static plat::TInstanceLock InstanceLock;
    if (SingleInstanceAndRestart(InstanceLock, WindowsMajorVersion) != TStartAction::Run) return 0;

    TCorvaneApplication App(argc, argv);
    App.SetTitle("Corvane");
    try {
        LoadSettings();
    } catch (const std::exception& E) {
        plat::ShowException(E);  // e.g. a value of the wrong type; start-up goes on
    }

    StartForm = new TStartForm();
    // Painted now: no message loop runs during the pause below.
    ShowAndPaintNow(StartForm);

    DM = new TDM();
    try {
        DM->DataModuleCreate();
    } catch (const std::exception& E) {
        plat::ShowException(E);
    }

    if (!MyRegistryInfo.CheckUpdate) plat::Sleep(2000);
    delete StartForm;
    StartForm = nullptr;

    auto* MainForm = new TDeleteDuplicatesForm();
    App.SetMainForm(MainForm);
    MainForm->show();

    App.exec();

    delete MainForm;
    delete DM;
    DM = nullptr;
    return 0;
}
