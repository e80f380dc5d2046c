#include "platform/InstanceLock.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/AtomicFile.h"
#include "platform/XdgFolders.h"

namespace plat {

TInstanceLock::~TInstanceLock() { Release(); }

namespace {

bool HasRuntimeFolder() {
    const char* Runtime = std::getenv("XDG_RUNTIME_DIR");
    return Runtime && *Runtime == '/';
}

std::string FallbackFolder() { return CacheHome() + "/corvane"; }

// The fallback folder, made 0700 when missing; true only when nobody but
// this user can make or replace files in it.
bool PrivateFolderReady() {
    const std::string Folder = FallbackFolder();
    if (!MakeFolders(Folder)) return false;
    struct stat St;
    return lstat(Folder.c_str(), &St) == 0 && S_ISDIR(St.st_mode) && St.st_uid == geteuid() &&
           (St.st_mode & 022) == 0;
}

} // namespace

std::string TInstanceLock::LockPath(const std::string& Name) {
    if (HasRuntimeFolder()) return std::string(std::getenv("XDG_RUNTIME_DIR")) + "/" + Name + ".lock";
    return FallbackFolder() + "/" + Name + ".lock";
}

TLockResult TInstanceLock::Acquire(const std::string& Name) {
    if (FFd >= 0) return TLockResult::Acquired;
    // A shared folder would let another user hold the lock and keep us from starting.
    if (!HasRuntimeFolder() && !PrivateFolderReady()) return TLockResult::CannotLock;
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
