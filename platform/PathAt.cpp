#include "platform/PathAt.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace plat {

namespace {

// Splits Path into its components, "" and "." left out.
std::vector<std::string_view> Components(std::string_view Path)
{
    std::vector<std::string_view> Out;
    size_t I = 0;
    while (I < Path.size()) {
        size_t J = Path.find('/', I);
        if (J == std::string_view::npos) J = Path.size();
        const std::string_view Part = Path.substr(I, J - I);
        if (!Part.empty() && Part != ".") Out.push_back(Part);
        I = J + 1;
    }
    return Out;
}

int OpenComponents(const std::string& Path, size_t Count, const std::vector<std::string_view>& Parts, int Flags)
{
    const int Start = !Path.empty() && Path[0] == '/' ? ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC)
                                                      : ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (Start < 0) return -1;
    TFd Dir(Start);
    std::string Name;
    for (size_t I = 0; I < Count; ++I) {
        Name.assign(Parts[I]);
        const int Mode = I + 1 == Count ? Flags : O_PATH;
        const int Next = ::openat(Dir.Get(), Name.c_str(), Mode | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (Next < 0) return -1;
        Dir.Reset(Next);
    }
    if (Count == 0 && Flags != O_PATH) {
        // The start itself, reopened for listing.
        const int Again = ::openat(Dir.Get(), ".", Flags | O_DIRECTORY | O_CLOEXEC);
        if (Again < 0) return -1;
        Dir.Reset(Again);
    }
    return Dir.Release();
}

int FoldCapital(unsigned char C) { return C >= 'a' && C <= 'z' ? C - 'a' + 'A' : C; }

} // namespace

void TFd::Reset(int Fd)
{
    if (FFd >= 0) ::close(FFd);
    FFd = Fd;
}

void RaiseOpenFileLimit()
{
    rlimit Files{};
    if (getrlimit(RLIMIT_NOFILE, &Files) == 0 && Files.rlim_cur < Files.rlim_max) {
        Files.rlim_cur = Files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &Files);
    }
}

int OpenFolderNoFollow(const std::string& Path, int Flags)
{
    if (Path.empty()) {
        errno = ENOENT;
        return -1;
    }
    const auto Parts = Components(Path);
    return OpenComponents(Path, Parts.size(), Parts, Flags);
}

int OpenParentNoFollow(const std::string& Path, std::string& Name)
{
    const auto Parts = Components(Path);
    if (Parts.empty()) {
        errno = EINVAL;
        return -1;
    }
    Name.assign(Parts.back());
    return OpenComponents(Path, Parts.size() - 1, Parts, O_PATH);
}

int OpenFileNoFollow(const std::string& Path, int Flags)
{
    if (Path.size() < PATH_MAX) return ::open(Path.c_str(), Flags | O_NOFOLLOW | O_CLOEXEC);
    std::string Name;
    TFd Dir(OpenParentNoFollow(Path, Name));
    if (!Dir.Valid()) return -1;
    return ::openat(Dir.Get(), Name.c_str(), Flags | O_NOFOLLOW | O_CLOEXEC);
}

bool StatAt(int Fd, const char* Name, struct statx& X, unsigned Mask)
{
    return ::statx(Fd, Name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, Mask, &X) == 0;
}

uint64_t DeviceId(dev_t Dev) { return DeviceId(major(Dev), minor(Dev)); }

namespace {
std::atomic<bool> gKindsUnknown{false};
} // namespace

void ListKindsAsUnknown(bool On) { gKindsUnknown.store(On); }

bool ReadFolderNames(int Fd, TFolderNames& Names)
{
    const bool KindsUnknown = gKindsUnknown.load(std::memory_order_relaxed);
    Names.Text.clear();
    Names.Folded.clear();
    Names.Entries.clear();
    alignas(8) char Buf[32768];
    for (;;) {
        const ssize_t N = ::getdents64(Fd, Buf, sizeof Buf);
        if (N < 0 && errno == EINTR) continue;
        if (N < 0) return false;
        if (N == 0) break;
        for (ssize_t Pos = 0; Pos < N;) {
            const auto* D = reinterpret_cast<const dirent64*>(Buf + Pos);
            Pos += D->d_reclen;
            const char* Name = D->d_name;
            if (Name[0] == '.' && (Name[1] == 0 || (Name[1] == '.' && Name[2] == 0))) continue;
            const size_t Len = std::strlen(Name);
            TNameEntry E;
            E.Offset = uint32_t(Names.Text.size());
            E.Length = uint16_t(Len);
            E.Type = KindsUnknown ? uint8_t(DT_UNKNOWN) : D->d_type;
            E.Inode = D->d_ino;
            Names.Text.append(Name, Len);
            Names.Entries.push_back(E);
        }
    }
    // The order of FolderOrderLess, from a folded copy made once.
    Names.Folded = Names.Text;
    for (char& C : Names.Folded) C = char(FoldCapital(static_cast<unsigned char>(C)));
    const char* F = Names.Folded.data();
    const char* T = Names.Text.data();
    std::sort(Names.Entries.begin(), Names.Entries.end(), [&](const TNameEntry& A, const TNameEntry& B) {
        const int C = std::memcmp(F + A.Offset, F + B.Offset, std::min(A.Length, B.Length));
        if (C != 0) return C < 0;
        if (A.Length != B.Length) return A.Length < B.Length;
        return std::memcmp(T + A.Offset, T + B.Offset, A.Length) < 0;
    });
    return true;
}

bool FolderOrderLess(std::string_view A, std::string_view B)
{
    const size_t N = std::min(A.size(), B.size());
    for (size_t I = 0; I < N; ++I) {
        const int X = FoldCapital(static_cast<unsigned char>(A[I]));
        const int Y = FoldCapital(static_cast<unsigned char>(B[I]));
        if (X != Y) return X < Y;
    }
    if (A.size() != B.size()) return A.size() < B.size();
    return A < B;
}

} // namespace plat
