// Window tests run offscreen with private runtime, settings and data folders.
#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/TaskScheduler.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir Runtime, Config, Data;
    qputenv("XDG_RUNTIME_DIR", Runtime.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", Config.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", Data.path().toLocal8Bit());
    // No test may enable a timer of the machine's own service manager.
    plat::SetSystemctlRunner([](const std::vector<std::string>&, std::string&) { return true; });
    QApplication App(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
