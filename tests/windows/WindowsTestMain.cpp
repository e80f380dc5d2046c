// Window tests run offscreen with private runtime and settings folders.
#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/TaskScheduler.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir Runtime, Config;
    qputenv("XDG_RUNTIME_DIR", Runtime.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", Config.path().toLocal8Bit());
    // The update check must reach the local test server, never a proxy.
    for (const char* V : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(V);
    // No test may enable a timer of the machine's own service manager.
    plat::SetSystemctlRunner([](const std::vector<std::string>&) {});
    QApplication App(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
