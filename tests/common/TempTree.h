#pragma once
// A temporary folder for tests that touch the file system. Each call makes one
// entry in one line, parent folders included:
//
//   TempTree T;                                    // or derive from TempTreeTest
//   T.File("a/b.txt", {.Content = "abc"});
//   T.File("big.bin", {.Size = 5ull << 30});        // sparse, 5 GiB of zeros
//   T.File("pat.bin", {.Content = "xy", .Size = 5}); // "xyxyx": content repeated
//   T.File("ro.txt", {.Content = "r", .Mode = 0444, .MTime = 1600000000});
//   T.Dir("sub/deeper", {.Mode = 0555});
//   T.Link("sub/to-a", "../a");                    // symbolic link, target as given
//   T.Fifo("pipe");
//
// Every call returns the absolute path. Failures throw std::runtime_error,
// which GoogleTest reports as a failed test. The destructor removes the whole
// tree, read-only files and folders without permissions included, and never
// follows a symbolic link out of it.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace corvane_test {

struct TempFile {
    std::string Content{};           // bytes of the file, or the pattern when Size is set
    std::optional<uint64_t> Size{};    // exact size; zeros (sparse) when Content is empty
    std::optional<mode_t> Mode{};      // applied last, e.g. 0444 for read-only
    std::optional<time_t> MTime{};     // seconds since 1970 (UTC); access time set alike
    long MTimeNs = 0;                // nanoseconds of MTime
};

struct TempDir {
    std::optional<mode_t> Mode{};      // applied at once: make the children first
    std::optional<time_t> MTime{};
    long MTimeNs = 0;
};

class TempTree {
public:
    TempTree() {
        const char* Base = std::getenv("TMPDIR");
        std::string Pattern = std::string(Base && *Base ? Base : "/tmp") + "/corvane-test-XXXXXX";
        if (!mkdtemp(Pattern.data())) Fail("mkdtemp", Pattern);
        FRoot = Pattern;
    }
    ~TempTree() { RemoveAll(FRoot); }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // The tree's folder, without a trailing "/".
    const std::string& Root() const { return FRoot; }
    // Absolute path of a relative name ("" is the root).
    std::string Path(const std::string& Rel) const { return Rel.empty() ? FRoot : FRoot + "/" + Rel; }

    std::string File(const std::string& Rel, const TempFile& F = {}) {
        const std::string P = Path(Rel);
        MakeParents(P);
        std::string Data = F.Content;
        if (F.Size && !Data.empty()) {
            while (Data.size() < *F.Size) Data += F.Content;
            Data.resize(size_t(*F.Size));
        }
        std::ofstream Out(P, std::ios::binary | std::ios::trunc);
        Out << Data;
        Out.close();
        if (!Out) Fail("write", P);
        if (F.Size && F.Content.empty()) std::filesystem::resize_file(P, *F.Size);
        Finish(P, F.Mode, F.MTime, F.MTimeNs);
        return P;
    }

    std::string Dir(const std::string& Rel, const TempDir& D = {}) {
        const std::string P = Path(Rel);
        std::filesystem::create_directories(P);
        Finish(P, D.Mode, D.MTime, D.MTimeNs);
        return P;
    }

    std::string Link(const std::string& Rel, const std::string& Target) {
        return Make(Rel, "symlink", [&](const char* P) { return ::symlink(Target.c_str(), P); });
    }
    std::string Fifo(const std::string& Rel) {
        return Make(Rel, "mkfifo", [](const char* P) { return ::mkfifo(P, 0644); });
    }

    void SetMode(const std::string& Rel, mode_t Mode) { Finish(Path(Rel), Mode, std::nullopt, 0); }
    void SetMTime(const std::string& Rel, time_t Seconds, long Ns = 0) { Finish(Path(Rel), std::nullopt, Seconds, Ns); }

    bool Exists(const std::string& Rel) const { struct stat St; return ::lstat(Path(Rel).c_str(), &St) == 0; }
    // The whole content of a file; throws when it cannot be read.
    std::string Read(const std::string& Rel) const {
        std::ifstream In(Path(Rel), std::ios::binary);
        if (!In) Fail("open", Path(Rel));
        return std::string(std::istreambuf_iterator<char>(In), {});
    }

private:
    std::string FRoot;

    [[noreturn]] static void Fail(const char* What, const std::string& P) {
        throw std::runtime_error(std::string("TempTree: ") + What + " " + P + ": " + std::strerror(errno));
    }

    template <class F>
    std::string Make(const std::string& Rel, const char* What, F Made) const {
        const std::string P = Path(Rel);
        MakeParents(P);
        if (Made(P.c_str()) != 0) Fail(What, P);
        return P;
    }
    static void MakeParents(const std::string& P) {
        std::filesystem::create_directories(std::filesystem::path(P).parent_path());
    }

    static void Finish(const std::string& P, std::optional<mode_t> Mode, std::optional<time_t> MTime, long Ns) {
        const timespec Times[2] = {{MTime.value_or(0), Ns}, {MTime.value_or(0), Ns}};
        if (MTime && ::utimensat(AT_FDCWD, P.c_str(), Times, AT_SYMLINK_NOFOLLOW) != 0) Fail("utimensat", P);
        if (Mode && ::chmod(P.c_str(), *Mode) != 0) Fail("chmod", P);
    }

    // Depth-first removal that grants itself access to each folder first and
    // never follows a link; through folder descriptors, so that trees deeper
    // than PATH_MAX go too.
    static void RemoveAll(const std::string& P) {
        const size_t Slash = P.find_last_of('/');
        const int Dir = ::open(Slash == 0 ? "/" : P.substr(0, Slash).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (Dir < 0) return;
        RemoveAt(Dir, P.substr(Slash + 1));
        ::close(Dir);
    }
    static void RemoveAt(int Dir, const std::string& Name) {
        struct stat St;
        if (::fstatat(Dir, Name.c_str(), &St, AT_SYMLINK_NOFOLLOW) != 0) return;
        if (!S_ISDIR(St.st_mode)) {
            ::unlinkat(Dir, Name.c_str(), 0);
            return;
        }
        ::fchmodat(Dir, Name.c_str(), 0700, 0);
        const int Sub = ::openat(Dir, Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (Sub >= 0) {
            std::vector<std::string> Names;
            if (DIR* D = ::fdopendir(::dup(Sub))) {
                while (dirent* E = ::readdir(D))
                    if (std::strcmp(E->d_name, ".") != 0 && std::strcmp(E->d_name, "..") != 0) Names.push_back(E->d_name);
                ::closedir(D);
            }
            for (const std::string& N : Names) RemoveAt(Sub, N);
            ::close(Sub);
        }
        ::unlinkat(Dir, Name.c_str(), AT_REMOVEDIR);
    }
};

// Fixture: each test gets a fresh tree in Tree.
class TempTreeTest : public ::testing::Test {
protected:
    TempTree Tree;
};

} // namespace corvane_test
