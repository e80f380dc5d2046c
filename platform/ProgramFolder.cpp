#include "platform/ProgramFolder.h"

#include <pwd.h>
#include <unistd.h>

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
    for (;;) {
        ssize_t N = readlink("/proc/self/exe", Buf.data(), Buf.size());
        if (N < 0) return "";
        if (size_t(N) < Buf.size()) return std::string(Buf.data(), size_t(N));
        if (Buf.size() >= 65536) return "";
        Buf.resize(Buf.size() * 2);
    }
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
