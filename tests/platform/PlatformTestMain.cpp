// Runs the platform tests. "--try-lock NAME" makes the program the second
// process of the single-instance test: it tries the lock and exits with
// 10 (acquired), 11 (already running) or 12 (cannot lock).
// "--write-setting FOLDER NAME VALUE" makes it a second program writing the
// string NAME under "Software\Corvane" of the user store in FOLDER.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cstdlib>
#include <cstring>

#include "platform/InstanceLock.h"
#include "platform/Registry.h"
#include "platform/TaskScheduler.h"

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--try-lock") == 0) {
        plat::TInstanceLock Lock;
        switch (Lock.Acquire(argv[2])) {
        case plat::TLockResult::Acquired: return 10;
        case plat::TLockResult::AlreadyRunning: return 11;
        case plat::TLockResult::CannotLock: return 12;
        }
        return 13;
    }
    if (argc == 5 && std::strcmp(argv[1], "--write-setting") == 0) {
        plat::TRegistry::SetStoreFolder(argv[2]);
        plat::TRegistry Reg;
        if (!Reg.OpenKey("Software\\Corvane", true)) return 1;
        Reg.WriteString(argv[3], argv[4]);
        return 0;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // No test may enable a timer of the machine's own service manager.
    plat::SetSystemctlRunner([](const std::vector<std::string>&) {});
    QCoreApplication App(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
