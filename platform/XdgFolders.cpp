#include "platform/XdgFolders.h"

#include <cstdlib>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace plat {

namespace {

std::string FromVariable(const char* Name, const char* Default) {
    const char* V = std::getenv(Name);
    if (V && *V == '/') return V;
    return HomeFolder() + Default;
}

} // namespace

std::string HomeFolder() {
    const char* Home = std::getenv("HOME");
    if (Home && *Home) return Home;
    long Size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> Buf(Size > 0 ? size_t(Size) : 16384);
    passwd Pw{};
    passwd* Found = nullptr;
    if (getpwuid_r(getuid(), &Pw, Buf.data(), Buf.size(), &Found) == 0 && Found && Found->pw_dir && *Found->pw_dir)
        return Found->pw_dir;
    return ".";
}

std::string ConfigHome() { return FromVariable("XDG_CONFIG_HOME", "/.config"); }
std::string DataHome() { return FromVariable("XDG_DATA_HOME", "/.local/share"); }
std::string CacheHome() { return FromVariable("XDG_CACHE_HOME", "/.cache"); }

} // namespace plat
