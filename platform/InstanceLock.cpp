#include "platform/InstanceLock.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace plat {

TInstanceLock::~TInstanceLock() { Release(); }

std::string TInstanceLock::LockPath(const std::string& Name) {
    const char* Runtime = std::getenv("XDG_RUNTIME_DIR");
    if (Runtime && *Runtime == '/') return std::string(Runtime) + "/" + Name + ".lock";
    const char* Tmp = std::getenv("TMPDIR");
    std::string Folder = Tmp && *Tmp == '/' ? Tmp : "/tmp";
    return Folder + "/" + Name + "-" + std::to_string(getuid()) + ".lock";
}

TLockResult TInstanceLock::Acquire(const std::string& Name) {
    if (FFd >= 0) return TLockResult::Acquired;
    const std::string Path = LockPath(Name);
    // O_NOFOLLOW: in a shared folder a planted link must not make us create or lock another file.
    int Fd = open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (Fd < 0) return TLockResult::CannotLock;
    while (flock(Fd, LOCK_EX | LOCK_NB) != 0) {
        const int Err = errno;
        if (Err == EINTR) continue;
        close(Fd);
        return Err == EWOULDBLOCK ? TLockResult::AlreadyRunning : TLockResult::CannotLock;
    }
    FFd = Fd;
    return TLockResult::Acquired;
}

void TInstanceLock::Release() {
    if (FFd < 0) return;
    flock(FFd, LOCK_UN);
    close(FFd);
    FFd = -1;
}

} // namespace plat
