#pragma once
// The single-instance lock: an exclusive, non-blocking flock on "<Name>.lock"
// in $XDG_RUNTIME_DIR, else in $XDG_CACHE_HOME/corvane (~/.cache/corvane),
// a folder only the user can write: in a shared folder another user could
// hold the lock and keep the program from starting.
#include <string>

namespace plat {

enum class TLockResult {
    Acquired,        // this process is the only instance
    AlreadyRunning,  // another process holds the lock
    CannotLock       // the lock file cannot be made or opened: run unguarded
};

class TInstanceLock {
public:
    TInstanceLock() = default;
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    TLockResult Acquire(const std::string& Name = "Corvane");
    // Lets another process take the lock (before the elevated restart).
    void Release();
    bool Held() const { return FFd >= 0; }

    static std::string LockPath(const std::string& Name);

private:
    int FFd = -1;
};

} // namespace plat
