// Runs the platform tests offscreen.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cstdlib>

#include "platform/TaskScheduler.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // No test may enable a timer of the machine's own service manager.
    plat::SetSystemctlRunner([](const std::vector<std::string>&, std::string&) { return true; });
    QCoreApplication App(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
