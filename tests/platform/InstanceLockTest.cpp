#include "platform/InstanceLock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/TempTree.h"

namespace {

// Runs this test program again as a separate process that tries the lock.
int TryLockInOtherProcess(const std::string& Name) {
    pid_t Pid = fork();
    if (Pid == 0) {
        execl("/proc/self/exe", "platform_tests", "--try-lock", Name.c_str(), static_cast<char*>(nullptr));
        _exit(99);
    }
    int Status = 0;
    if (Pid < 0 || waitpid(Pid, &Status, 0) != Pid || !WIFEXITED(Status)) return -1;
    return WEXITSTATUS(Status);
}

class InstanceLockTest : public corvane_test::TempTreeTest {
protected:
    void SetUp() override {
        const char* Old = std::getenv("XDG_RUNTIME_DIR");
        FOld = Old ? Old : "";
        FHadOld = Old != nullptr;
        setenv("XDG_RUNTIME_DIR", Tree.Root().c_str(), 1);
    }
    void TearDown() override {
        if (FHadOld)
            setenv("XDG_RUNTIME_DIR", FOld.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
    }
    std::string FOld;
    bool FHadOld = false;
};

TEST_F(InstanceLockTest, SecondProcessIsTurnedAwayUntilTheFirstReleases) {
    plat::TInstanceLock Lock;
    ASSERT_EQ(Lock.Acquire("Corvane"), plat::TLockResult::Acquired);
    EXPECT_EQ(plat::TInstanceLock::LockPath("Corvane"), Tree.Root() + "/Corvane.lock");
    EXPECT_EQ(TryLockInOtherProcess("Corvane"), 11);
    Lock.Release();
    EXPECT_FALSE(Lock.Held());
    EXPECT_EQ(TryLockInOtherProcess("Corvane"), 10);
    // The lock file stays; a stale file does not count as a running instance.
    EXPECT_TRUE(Tree.Exists("Corvane.lock"));
    EXPECT_EQ(Lock.Acquire("Corvane"), plat::TLockResult::Acquired);
}

TEST_F(InstanceLockTest, LockEndsWithTheProcess) {
    // A child that takes the lock and exits must not leave it held.
    EXPECT_EQ(TryLockInOtherProcess("Corvane"), 10);
    plat::TInstanceLock Lock;
    EXPECT_EQ(Lock.Acquire("Corvane"), plat::TLockResult::Acquired);
}

TEST_F(InstanceLockTest, UnusableFolderMeansCannotLockNotRunning) {
    setenv("XDG_RUNTIME_DIR", Tree.Path("missing").c_str(), 1);
    plat::TInstanceLock Lock;
    EXPECT_EQ(Lock.Acquire("Corvane"), plat::TLockResult::CannotLock);
    // A link planted in place of the lock file is not followed.
    setenv("XDG_RUNTIME_DIR", Tree.Root().c_str(), 1);
    Tree.File("target");
    Tree.Link("Corvane.lock", "target");
    EXPECT_EQ(Lock.Acquire("Corvane"), plat::TLockResult::CannotLock);
}

// Without a runtime folder the lock goes to a folder only the user can write,
// never to the shared temporary folder where another user could hold it.
TEST_F(InstanceLockTest, FallbackIsAPrivateFolder) {
    unsetenv("XDG_RUNTIME_DIR");
    setenv("XDG_CACHE_HOME", Tree.Path("cache").c_str(), 1);
    const std::string Folder = Tree.Path("cache/corvane");
    EXPECT_EQ(plat::TInstanceLock::LockPath("Corvane"), Folder + "/Corvane.lock");
    {
        plat::TInstanceLock Lock;
        EXPECT_EQ(Lock.Acquire("Corvane"), plat::TLockResult::Acquired);
        struct stat St;
        ASSERT_EQ(stat(Folder.c_str(), &St), 0);
        EXPECT_EQ(St.st_mode & 0777, 0700u);
    }
    // A folder that others may write is not trusted with the lock.
    Tree.SetMode("cache/corvane", 0777);
    plat::TInstanceLock Lock;
    EXPECT_EQ(Lock.Acquire("Corvane"), plat::TLockResult::CannotLock);
    unsetenv("XDG_CACHE_HOME");
}

} // namespace
