#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <unistd.h>

#include "frame/CorvaneApplication.h"

int main(int argc, char** argv) {
    // Window tests run without a display and with folders of their own.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string Runtime = "/tmp/corvane-frame-runtime-XXXXXX";
    if (mkdtemp(Runtime.data())) setenv("XDG_RUNTIME_DIR", Runtime.c_str(), 1);
    std::string Config = "/tmp/corvane-frame-config-XXXXXX";
    if (mkdtemp(Config.data())) setenv("XDG_CONFIG_HOME", Config.c_str(), 1);
    TCorvaneApplication App(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int Result = RUN_ALL_TESTS();
    // Both folders hold at most the lock file and an empty store folder.
    unlink((Runtime + "/Corvane.lock").c_str());
    rmdir(Runtime.c_str());
    rmdir((Config + "/corvane").c_str());
    rmdir(Config.c_str());
    return Result;
}
