#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

bool ReplaceFile(const std::string& Path, const std::string& Text, mode_t Mode, std::string& Error) {
    const size_t Slash = Path.rfind('/');
    const std::string Folder = Slash == std::string::npos ? "." : Slash == 0 ? "/" : Path.substr(0, Slash);
    const std::string Base = Slash == std::string::npos ? Path : Path.substr(Slash + 1);
    std::string Temp = Folder + "/." + Base + ".XXXXXX";
    const auto Fail = [&](int Err) {
        Error = "Cannot write \"" + Path + "\": " + std::strerror(Err);
        return false;
    };
    const int Fd = mkostemp(Temp.data(), O_CLOEXEC);
    if (Fd < 0) return Fail(errno);
    int Err = 0;
    for (size_t Done = 0; !Err && Done < Text.size();) {
        const ssize_t W = write(Fd, Text.data() + Done, Text.size() - Done);
        if (W < 0 && errno == EINTR) continue;
        if (W <= 0) Err = W < 0 ? errno : EIO;
        else Done += size_t(W);
    }
    if (!Err && fchmod(Fd, Mode) != 0) Err = errno;
    struct stat Owner;
    if (!Err && geteuid() == 0 &&
        (lstat(Path.c_str(), &Owner) == 0 || stat(Folder.c_str(), &Owner) == 0) &&
        fchown(Fd, Owner.st_uid, Owner.st_gid) != 0)
        Err = errno;
    if (!Err && fsync(Fd) != 0) Err = errno;
    if (close(Fd) != 0 && !Err) Err = errno;
    if (!Err && rename(Temp.c_str(), Path.c_str()) != 0) Err = errno;
    if (Err) {
        unlink(Temp.c_str());
        return Fail(Err);
    }
    return true;
}

bool MakeFolders(const std::string& Path) {
    for (size_t Pos = 1; Pos <= Path.size(); ++Pos) {
        if (Pos < Path.size() && Path[Pos] != '/') continue;
        const std::string Part = Path.substr(0, Pos);
        if (mkdir(Part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

std::optional<std::string> ReadSmallFile(const std::string& Path, size_t Limit, int& Err) {
    const int Fd = open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (Fd < 0) {
        Err = errno;
        return std::nullopt;
    }
    struct stat St;
    std::optional<std::string> Text;
    if (fstat(Fd, &St) == 0 && S_ISREG(St.st_mode) && size_t(St.st_size) <= Limit) {
        std::string Buf(size_t(St.st_size) + 1, '\0');
        size_t Done = 0;
        bool Failed = false;
        for (ssize_t R; !Failed && Done < Buf.size() && (R = read(Fd, Buf.data() + Done, Buf.size() - Done)) != 0;) {
            if (R > 0) Done += size_t(R);
            Failed = R < 0 && errno != EINTR;
        }
        if (!Failed && Done <= Limit) Text = Buf.substr(0, Done);
    }
    Err = Text ? 0 : EINVAL;
    close(Fd);
    return Text;
}

} // namespace plat
