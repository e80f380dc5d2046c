// Window tests run offscreen with private runtime and settings folders, the
// data module's pictures loaded, and every message box answered by the test.
#include <QTemporaryDir>

#include "tests/finder/window/WindowTestSupport.h"
#include "windows/DMUnit.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir Runtime, Config;
    qputenv("XDG_RUNTIME_DIR", Runtime.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", Config.path().toLocal8Bit());
    QApplication App(argc, argv);
    plat::SetMessageBoxHandler(corvane_test::UnexpectedBox);
    DM = new TDM();
    ::testing::InitGoogleTest(&argc, argv);
    const int Result = RUN_ALL_TESTS();
    delete DM;
    DM = nullptr;
    return Result;
}
