// Window tests run offscreen with private runtime and settings folders, the
// data module's pictures loaded, and every message box answered by the test.
#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/widgets/MessageBox.h"
#include "windows/DMUnit.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir Runtime, Config;
    qputenv("XDG_RUNTIME_DIR", Runtime.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", Config.path().toLocal8Bit());
    QApplication App(argc, argv);
    // A box nobody answers would hang the test: fail loudly instead.
    plat::SetMessageBoxHandler([](const std::string& Text, const std::string& Caption, unsigned) {
        ADD_FAILURE() << "unexpected message box \"" << Caption << "\": " << Text;
        return plat::IDOK;
    });
    DM = new TDM();
    ::testing::InitGoogleTest(&argc, argv);
    const int Result = RUN_ALL_TESTS();
    delete DM;
    DM = nullptr;
    return Result;
}
