#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "frame/CorvaneApplication.h"

int main(int argc, char** argv) {
    // Window tests run without a display and with folders of their own (the
    // home and data folders are only named, never written).
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string Runtime = "/tmp/corvane-frame-runtime-XXXXXX";
    if (mkdtemp(Runtime.data())) setenv("XDG_RUNTIME_DIR", Runtime.c_str(), 1);
    std::string Config = "/tmp/corvane-frame-config-XXXXXX";
    if (mkdtemp(Config.data())) setenv("XDG_CONFIG_HOME", Config.c_str(), 1);
    setenv("HOME", (Config + "/home").c_str(), 1);
    setenv("XDG_DATA_HOME", (Config + "/data").c_str(), 1);
    TCorvaneApplication App(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int Result = RUN_ALL_TESTS();
    std::filesystem::remove_all(Runtime);
    std::filesystem::remove_all(Config);
    return Result;
}
