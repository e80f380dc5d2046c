#include "platform/MountTable.h"

#include "platform/PathAt.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace plat {

namespace {

const std::set<std::string>& FixedTypes() {
    static const std::set<std::string> Types = {
        "ext2", "ext3", "ext4", "xfs", "btrfs", "f2fs", "jfs", "zfs", "reiserfs", "nilfs2",
        "vfat", "msdos", "exfat", "ntfs", "ntfs3", "fuseblk", "hfsplus"};
    return Types;
}

// "\040" and the other octal escapes of mountinfo fields.
std::string DecodeOctal(const std::string& S) {
    std::string Out;
    for (size_t I = 0; I < S.size(); ++I) {
        if (S[I] == '\\' && S.size() - I >= 4 && S[I + 1] >= '0' && S[I + 1] <= '3' &&
            S[I + 2] >= '0' && S[I + 2] <= '7' && S[I + 3] >= '0' && S[I + 3] <= '7') {
            Out += char((S[I + 1] - '0') * 64 + (S[I + 2] - '0') * 8 + (S[I + 3] - '0'));
            I += 3;
        } else {
            Out += S[I];
        }
    }
    return Out;
}

// "\x20" escapes of /dev/disk/by-label names.
std::string DecodeHex(const std::string& S) {
    std::string Out;
    for (size_t I = 0; I < S.size(); ++I) {
        if (S[I] == '\\' && S.size() - I >= 4 && S[I + 1] == 'x' && isxdigit((unsigned char)S[I + 2]) &&
            isxdigit((unsigned char)S[I + 3])) {
            Out += char(std::stoi(S.substr(I + 2, 2), nullptr, 16));
            I += 3;
        } else {
            Out += S[I];
        }
    }
    return Out;
}

std::string RealPath(const std::string& P) {
    char Buf[PATH_MAX];
    return realpath(P.c_str(), Buf) ? std::string(Buf) : std::string();
}

bool ReadFlag(const std::string& Path) {
    std::ifstream In(Path);
    char C = 0;
    return In.get(C) && C == '1';
}

class TSystemMountTable : public IMountTable {
public:
    std::vector<TMountEntry> Mounts() override {
        std::ifstream In("/proc/self/mountinfo");
        std::ostringstream Text;
        Text << In.rdbuf();
        return ParseMountInfo(Text.str(), SystemMountProbe());
    }
};

std::shared_ptr<IMountTable>& Installed() {
    static std::shared_ptr<IMountTable> Table;
    return Table;
}

} // namespace

TMountKind ClassifyFsType(const std::string& FsType, bool Removable) {
    if (FixedTypes().count(FsType)) return Removable ? TMountKind::Removable : TMountKind::Fixed;
    // Network, optical, RAM, pseudo and every type we do not know: never offered, never entered.
    return TMountKind::Hidden;
}

std::string MountDisplayName(const TMountEntry& Entry) {
    return Entry.Label.empty() ? Entry.MountPath : Entry.Label;
}

TMountProbe SystemMountProbe() {
    TMountProbe P;
    P.Removable = [](unsigned Major, unsigned Minor) {
        if (Major == 0) return false;  // virtual devices (overlay, btrfs subvolumes)
        const std::string Dev = "/sys/dev/block/" + std::to_string(Major) + ":" + std::to_string(Minor);
        struct stat St;
        // A partition has no flag of its own: its disk has.
        if (stat((Dev + "/partition").c_str(), &St) == 0) return ReadFlag(Dev + "/../removable");
        return ReadFlag(Dev + "/removable");
    };
    P.Label = [](const std::string& Device) -> std::string {
        if (Device.empty() || Device[0] != '/') return "";
        const std::string Real = RealPath(Device);
        if (Real.empty()) return "";
        DIR* D = opendir("/dev/disk/by-label");
        if (!D) return "";
        std::string Label;
        while (dirent* E = readdir(D)) {
            if (E->d_name[0] == '.') continue;
            if (RealPath(std::string("/dev/disk/by-label/") + E->d_name) == Real) {
                Label = DecodeHex(E->d_name);
                break;
            }
        }
        closedir(D);
        return Label;
    };
    P.Space = [](const std::string& Path, uint64_t& Free) {
        struct statvfs S;
        if (statvfs(Path.c_str(), &S) != 0) return false;
        Free = uint64_t(S.f_bavail) * uint64_t(S.f_frsize);  // what the user may write
        return true;
    };
    return P;
}

std::vector<TMountEntry> ParseMountInfo(const std::string& Text, const TMountProbe& Probe) {
    std::vector<TMountEntry> Out;
    std::istringstream In(Text);
    std::string Line;
    while (std::getline(In, Line)) {
        // id parent major:minor root mount-point options [optional...] - fstype source super-options
        std::istringstream Fields(Line);
        std::vector<std::string> F;
        for (std::string W; Fields >> W;) F.push_back(W);
        auto Dash = std::find(F.begin(), F.end(), "-");
        if (F.size() < 6 || Dash == F.end() || Dash - F.begin() < 6 || F.end() - Dash < 3) continue;
        unsigned Major = 0, Minor = 0;
        if (sscanf(F[2].c_str(), "%u:%u", &Major, &Minor) != 2) continue;

        TMountEntry E;
        E.MountPath = DecodeOctal(F[4]);
        if (E.MountPath.empty() || E.MountPath[0] != '/') continue;
        E.FsType = Dash[1];
        E.Device = DecodeOctal(Dash[2]);
        const bool Removable = Probe.Removable ? Probe.Removable(Major, Minor) : false;
        E.Kind = ClassifyFsType(E.FsType, Removable);
        if (E.MountPath == "/" && E.Kind == TMountKind::Hidden) E.Kind = TMountKind::Fixed;  // an overlay root
        Out.erase(std::remove_if(Out.begin(), Out.end(),
                                 [&](const TMountEntry& Old) { return Old.MountPath == E.MountPath; }),
                  Out.end());
        Out.push_back(E);
    }
    for (auto& E : Out) {
        // Hidden mounts are never asked: a hung network mount would block the thread.
        if (E.Kind == TMountKind::Hidden) {
            E.Ready = false;
            continue;
        }
        if (Probe.Label) E.Label = Probe.Label(E.Device);
        uint64_t Free = 0;
        E.Ready = Probe.Space ? Probe.Space(E.MountPath, Free) : false;
        E.FreeBytes = E.Ready ? Free : 0;
    }
    std::sort(Out.begin(), Out.end(),
              [](const TMountEntry& A, const TMountEntry& B) { return A.MountPath < B.MountPath; });
    return Out;
}

std::vector<std::pair<uint64_t, uint64_t>> FileMountIdentities() {
    std::ifstream In("/proc/self/mountinfo");
    std::ostringstream Text;
    Text << In.rdbuf();
    std::vector<std::pair<uint64_t, uint64_t>> Out;
    for (const TMountEntry& E : ParseMountInfo(Text.str(), TMountProbe{})) {
        // A hung network mount would block the walk: only local ones are asked.
        const bool Local = E.Kind != TMountKind::Hidden || E.FsType == "tmpfs" || E.FsType == "ramfs" ||
                           E.FsType == "overlay";
        if (!Local || E.MountPath == "/") continue;
        struct statx X;
        if (!StatAt(AT_FDCWD, E.MountPath.c_str(), X, STATX_TYPE | STATX_INO) || S_ISDIR(X.stx_mode)) continue;
        Out.emplace_back(DeviceId(X.stx_dev_major, X.stx_dev_minor), X.stx_ino);
    }
    return Out;
}

const TMountEntry* FindMount(const std::vector<TMountEntry>& Mounts, const std::string& Path) {
    for (const auto& E : Mounts)
        if (E.MountPath == Path) return &E;
    return nullptr;
}

IMountTable& CurrentMountTable() {
    static TSystemMountTable System;
    if (Installed()) return *Installed();
    return System;
}

void SetMountTable(std::shared_ptr<IMountTable> Table) { Installed() = std::move(Table); }

} // namespace plat
