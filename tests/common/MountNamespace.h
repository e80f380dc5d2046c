#pragma once
// Runs a piece of a test in a child process with a private mount namespace,
// so that the mounts it makes are seen by nobody else and vanish with it.
//
//   const int R = corvane_test::InPrivateMounts([&] { ...; return Ok; });
//   if (R == corvane_test::NoPrivateMounts) GTEST_SKIP() << "no private mount namespace here";
//   EXPECT_EQ(R, 0);
//
// The child's result is 0 when Body returned true, 1 otherwise.
#include <functional>
#include <string>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace corvane_test {

constexpr int NoPrivateMounts = 77;

inline int InPrivateMounts(const std::function<bool()>& Body) {
    const pid_t Pid = ::fork();
    if (Pid < 0) return 1;
    if (Pid == 0) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            ::_exit(NoPrivateMounts);
        bool Ok = false;
        try { Ok = Body(); } catch (...) {}  // an exception is a failure, never an escape from the child
        ::_exit(Ok ? 0 : 1);
    }
    int Status = 0;
    if (::waitpid(Pid, &Status, 0) != Pid || !WIFEXITED(Status)) return 1;
    return WEXITSTATUS(Status);
}

// Mounts inside Body; where the system refuses them the child ends as
// NoPrivateMounts (the test is skipped).
inline void BindOrSkip(const std::string& From, const std::string& To) {
    if (::mount(From.c_str(), To.c_str(), nullptr, MS_BIND, nullptr) != 0) ::_exit(NoPrivateMounts);
}
inline void TmpfsOrSkip(const std::string& At, const char* Options = nullptr) {
    if (::mount("tmpfs", At.c_str(), "tmpfs", 0, Options) != 0) ::_exit(NoPrivateMounts);
}

} // namespace corvane_test
