#include "platform/ProgramFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>
#include <vector>

namespace plat {

namespace {
std::string& FolderOverride() {
    static std::string Folder;
    return Folder;
}
} // namespace

std::string ProgramPath() {
    // readlink does not terminate the text and truncates silently: grow until it fits.
    std::vector<char> Buf(256);
    std::string Path;
    for (;;) {
        ssize_t N = readlink("/proc/self/exe", Buf.data(), Buf.size());
        if (N < 0) return "";
        if (size_t(N) < Buf.size()) {
            Path.assign(Buf.data(), size_t(N));
            break;
        }
        if (Buf.size() >= 65536) return "";
        Buf.resize(Buf.size() * 2);
    }
    // A program file replaced (an upgrade) or removed while it runs is named
    // "<path> (deleted)" by the system; the program's path is still <path>,
    // where the new file stands, if any. A file really named so is the
    // running one itself.
    constexpr std::string_view Deleted = " (deleted)";
    struct stat Running, Named;
    if (Path.ends_with(Deleted) && stat("/proc/self/exe", &Running) == 0 &&
        !(stat(Path.c_str(), &Named) == 0 && Named.st_dev == Running.st_dev && Named.st_ino == Running.st_ino))
        Path.resize(Path.size() - Deleted.size());
    return Path;
}

std::string ProgramFolder() {
    if (!FolderOverride().empty()) return FolderOverride();
    std::string Path = ProgramPath();
    size_t Slash = Path.rfind('/');
    if (Slash == std::string::npos) return "";
    return Path.substr(0, Slash + 1);
}

void SetProgramFolderForTests(const std::string& Folder) {
    std::string F = Folder;
    if (!F.empty() && F.back() != '/') F += '/';
    FolderOverride() = F;
}

std::string UserName() {
    long Size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> Buf(Size > 0 ? size_t(Size) : 16384);
    passwd Pw{};
    passwd* Found = nullptr;
    if (getpwuid_r(geteuid(), &Pw, Buf.data(), Buf.size(), &Found) != 0 || !Found || !Found->pw_name) return "";
    return Found->pw_name;
}

} // namespace plat
