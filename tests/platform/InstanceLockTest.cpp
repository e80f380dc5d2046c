#include "platform/InstanceLock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/TempTree.h"

namespace {

using plat::TLockResult;

// What another process gets when it tries the lock.
TLockResult TryLockInOtherProcess() {
    const pid_t Pid = fork();
    if (Pid == 0) _exit(int(plat::TInstanceLock().Acquire("Corvane")));
    int Status = 0;
    return Pid > 0 && waitpid(Pid, &Status, 0) == Pid && WIFEXITED(Status) ? TLockResult(WEXITSTATUS(Status)) : TLockResult(-1);
}

class InstanceLockTest : public corvane_test::TempTreeTest {
protected:
    void SetUp() override {
        for (const char* Name : {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME"})
            FSaved.emplace_back(Name, std::getenv(Name) ? std::optional<std::string>(std::getenv(Name)) : std::nullopt);
        setenv("XDG_RUNTIME_DIR", Tree.Root().c_str(), 1);
    }
    void TearDown() override {
        for (const auto& [Name, Value] : FSaved) Value ? setenv(Name, Value->c_str(), 1) : unsetenv(Name);
    }
    std::vector<std::pair<const char*, std::optional<std::string>>> FSaved;
};

TEST_F(InstanceLockTest, SecondProcessIsTurnedAwayUntilTheFirstReleases) {
    EXPECT_EQ(TryLockInOtherProcess(), TLockResult::Acquired);  // its lock ended with it
    plat::TInstanceLock Lock;
    ASSERT_EQ(Lock.Acquire("Corvane"), TLockResult::Acquired);
    EXPECT_EQ(TryLockInOtherProcess(), TLockResult::AlreadyRunning);
    Lock.Release();
    EXPECT_EQ(TryLockInOtherProcess(), TLockResult::Acquired);  // the file stays: a stale file is no instance
    EXPECT_EQ(Lock.Acquire("Corvane"), TLockResult::Acquired);
}

// A missing folder or a link planted as the lock file is no lock. Without a
// runtime folder the lock goes to a folder only the user can write, never to
// a shared one where another user could hold it.
TEST_F(InstanceLockTest, UnusableFoldersPlantedLinksAndThePrivateFallback) {
    Tree.Link("Corvane.lock", Tree.File("target"));
    plat::TInstanceLock Lock;
    EXPECT_EQ(Lock.Acquire("Corvane"), TLockResult::CannotLock);
    setenv("XDG_RUNTIME_DIR", Tree.Path("missing").c_str(), 1);
    EXPECT_EQ(Lock.Acquire("Corvane"), TLockResult::CannotLock);
    unsetenv("XDG_RUNTIME_DIR");
    setenv("XDG_CACHE_HOME", Tree.Path("cache").c_str(), 1);
    EXPECT_EQ(plat::TInstanceLock::LockPath("Corvane"), Tree.Path("cache/corvane/Corvane.lock"));
    EXPECT_EQ(Lock.Acquire("Corvane"), TLockResult::Acquired);
    struct stat St;
    EXPECT_TRUE(stat(Tree.Path("cache/corvane").c_str(), &St) == 0 && (St.st_mode & 0777) == 0700);
    Lock.Release();
    Tree.SetMode("cache/corvane", 0777);
    EXPECT_EQ(Lock.Acquire("Corvane"), TLockResult::CannotLock);
}

} // namespace
