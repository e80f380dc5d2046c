#include "finder/core/FileWipe.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "platform/Clock.h"
#include "platform/DirectoryReader.h"

namespace finder {

namespace {

uint32_t RandSeed = 0;

const char* const NeutralName = "$000000.tmp";

void Pump(const TPaintPump& P) {
    if (P) P();
}

class TFd {
public:
    explicit TFd(int Fd = -1) : FFd(Fd) {}
    ~TFd() { Reset(); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }
    void Reset(int Fd = -1) {
        if (FFd >= 0) ::close(FFd);
        FFd = Fd;
    }

private:
    int FFd;
};

std::string Lower(std::string S) {
    for (char& C : S)
        if (C >= 'A' && C <= 'Z') C = char(C - 'A' + 'a');
    return S;
}

// Collapses "//" and "/./" and drops a trailing "/" (but keeps "/").
std::string Tidy(const std::string& Path) {
    std::string Out;
    size_t I = 0;
    while (I < Path.size()) {
        size_t J = Path.find('/', I);
        if (J == std::string::npos) J = Path.size();
        const std::string Part = Path.substr(I, J - I);
        if (!Part.empty() && Part != ".") Out += "/" + Part;
        I = J + 1;
    }
    if (Out.empty()) return Path.empty() || Path[0] != '/' ? Path : "/";
    if (!Path.empty() && Path[0] != '/') Out.erase(0, 1);
    return Out;
}

std::string RealPath(const std::string& Path) {
    char* R = ::realpath(Path.c_str(), nullptr);
    if (!R) return {};
    std::string S = R;
    std::free(R);
    return S;
}

std::string ParentOf(const std::string& Path) {
    const size_t Slash = Path.find_last_of('/');
    if (Slash == std::string::npos) return ".";
    return Slash == 0 ? "/" : Path.substr(0, Slash);
}

std::string NameOf(const std::string& Path) {
    const size_t Slash = Path.find_last_of('/');
    return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

// The path as given, tidied, and with its folder resolved (the entry itself
// is not followed).
std::vector<std::string> FileForms(const std::string& Path) {
    std::vector<std::string> Forms{Lower(Tidy(Path))};
    const std::string T = Tidy(Path);
    const std::string Parent = RealPath(ParentOf(T));
    if (!Parent.empty()) Forms.push_back(Lower((Parent == "/" ? "" : Parent) + "/" + NameOf(T)));
    return Forms;
}

std::vector<std::string> FolderForms(const std::string& Path) {
    std::vector<std::string> Forms{Lower(Tidy(Path))};
    const std::string Real = RealPath(Path);
    if (!Real.empty()) Forms.push_back(Lower(Real));
    return Forms;
}

bool ProtectedFileForm(const std::string& P, const TEraseContext& Ctx) {
    const std::string Folder = Lower(Ctx.ProgramFolder);
    if (!Ctx.ProgramPath.empty() && P == Lower(Tidy(Ctx.ProgramPath))) return true;
    if (!Folder.empty())
        for (const char* Name : {"corvaneupdate.exe", "corvaneupdate", "unins000.exe", "unins000.dat"})
            if (P == Folder + Name) return true;
    for (const char* Sys : {"/etc/fstab", "/etc/passwd", "/boot/vmlinuz", "/swapfile"})
        if (P == Sys) return true;
    return false;
}

bool ProtectedFolderForm(const std::string& P, const TEraseContext& Ctx) {
    const std::string Windows = Lower(Tidy(Ctx.WindowsDir));
    std::string Folder = Lower(Ctx.ProgramFolder);
    if (!Folder.empty() && Folder.back() != '/') Folder += '/';
    if (P.empty() || P == "/") return true;                          // the root
    if (!Windows.empty() && P.find(Windows) != std::string::npos) return true;  // the system and below
    if (!Folder.empty() && P.find(Folder) != std::string::npos) return true;    // below the program folder
    if (!Folder.empty() && P + "/" == Folder) return true;          // the program folder itself
    return false;
}

// Opens a regular file for writing without following a link. The owner
// gets write permission first; a failed open puts the mode back.
bool OpenForWipe(const std::string& FileName, TFd& Out) {
    TFd Path(::open(FileName.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (Path.Get() < 0) return false;
    struct stat St {};
    if (::fstat(Path.Get(), &St) != 0 || !S_ISREG(St.st_mode)) return false;
    // The descriptor's own entry in /proc reaches exactly this inode, never
    // a link that replaced the name meanwhile.
    const std::string Self = "/proc/self/fd/" + std::to_string(Path.Get());
    const bool Changed = !(St.st_mode & S_IWUSR);
    if (Changed && ::chmod(Self.c_str(), (St.st_mode & 07777) | S_IWUSR) != 0) return false;
    Out.Reset(::open(Self.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (Out.Get() < 0) {
        if (Changed) ::chmod(Self.c_str(), St.st_mode & 07777);
        return false;
    }
    struct stat Now {};
    if (::fstat(Out.Get(), &Now) != 0 || Now.st_dev != St.st_dev || Now.st_ino != St.st_ino || !S_ISREG(Now.st_mode)) {
        Out.Reset();
        return false;
    }
    return true;
}

bool WriteAll(int Fd, const uint8_t* Data, size_t Count) {
    while (Count > 0) {
        const ssize_t N = ::write(Fd, Data, Count);
        if (N < 0 && errno == EINTR) continue;
        if (N <= 0) return false;
        Data += N;
        Count -= size_t(N);
    }
    return true;
}

bool Exists(const std::string& Path) {
    struct stat St {};
    return ::lstat(Path.c_str(), &St) == 0;
}

bool CaseLess(const std::string& A, const std::string& B) {
    const int C = ::strcasecmp(A.c_str(), B.c_str());
    return C != 0 ? C < 0 : A < B;
}

// One folder's contents, collected depth first without following links,
// without leaving the folder's file system and without protected places.
struct TFolderContents {
    std::vector<std::string> Files;    // regular files
    std::vector<std::string> Links;    // symbolic links, removed as links
    std::vector<std::string> Folders;  // sub-folders
    bool Incomplete = false;           // something was left out or could not be listed
};

void CollectLinks(const std::string& Folder, TFolderContents& C) {
    std::unique_ptr<DIR, int (*)(DIR*)> D(::opendir(Folder.c_str()), ::closedir);
    if (!D) return;
    while (dirent* E = ::readdir(D.get())) {
        const std::string Name = E->d_name;
        if (Name == "." || Name == "..") continue;
        const std::string Path = Folder + "/" + Name;
        struct stat St {};
        if (::lstat(Path.c_str(), &St) != 0) continue;
        if (S_ISLNK(St.st_mode)) C.Links.push_back(Path);
        else if (!S_ISREG(St.st_mode) && !S_ISDIR(St.st_mode)) C.Incomplete = true;  // devices, pipes stay
    }
}

void CollectFiles(const std::string& Folder, uint64_t Device, std::set<std::pair<uint64_t, uint64_t>>& Seen,
                  const TEraseContext& Ctx, TFolderContents& C) {
    plat::TDirectoryReader R;
    plat::TWin32FindData D;
    if (!R.FindFirst(Folder, D)) {
        C.Incomplete = true;
        return;
    }
    std::vector<std::string> SubFolders;
    do {
        if (D.cFileName == "." || D.cFileName == "..") continue;
        const std::string Path = Folder + "/" + D.cFileName;
        if (D.IsDirectory()) {
            if (D.Device != Device || IsProtectedFolder(Path, Ctx) || !Seen.insert({D.Device, D.Inode}).second) {
                C.Incomplete = true;  // another file system, a protected or a repeated folder
                continue;
            }
            C.Folders.push_back(Path);
            SubFolders.push_back(Path);
        } else if (IsProtectedFile(Path, Ctx)) {
            C.Incomplete = true;
        } else {
            C.Files.push_back(Path);
        }
    } while (R.FindNext(D));
    R.Close();
    CollectLinks(Folder, C);
    for (const std::string& Sub : SubFolders) CollectFiles(Sub, Device, Seen, Ctx, C);
}

// Unlinks a file or a link (never its target); unlinking needs no
// permission on the file itself, only on its folder.
bool RemoveEntry(const std::string& Path) {
    struct stat St {};
    if (::lstat(Path.c_str(), &St) != 0) return false;
    return ::unlink(Path.c_str()) == 0;
}

TEraseStatus EraseFile(const std::string& Path, const TEraseContext& Ctx) {
    struct stat St {};
    if (::lstat(Path.c_str(), &St) != 0) return TEraseStatus::NotExist;
    if (IsProtectedFile(Path, Ctx)) return TEraseStatus::Protected;
    if (S_ISLNK(St.st_mode))  // the link goes, its target is left alone
        return ::unlink(Path.c_str()) == 0 ? TEraseStatus::Succeeded : TEraseStatus::Failed;
    if (!WipeFile(Path, 3, Ctx.PaintPump)) return TEraseStatus::Failed;
    // The neutral name hides the old one; a file that already bears it is
    // never replaced, the wiped file then goes under its own name.
    const std::string Folder = ParentOf(Tidy(Path));
    const std::string Neutral = (Folder == "/" ? "" : Folder) + "/" + NeutralName;
    const bool Renamed = ::renameat2(AT_FDCWD, Path.c_str(), AT_FDCWD, Neutral.c_str(), RENAME_NOREPLACE) == 0;
    const bool Deleted = ::unlink((Renamed ? Neutral : Path).c_str()) == 0;
    Pump(Ctx.PaintPump);
    return Deleted ? TEraseStatus::Succeeded : TEraseStatus::Failed;
}

TEraseStatus EraseFolder(const std::string& Path, const TEraseContext& Ctx) {
    if (IsProtectedFolder(Path, Ctx)) return TEraseStatus::Protected;
    struct stat St {};
    if (::lstat(Path.c_str(), &St) != 0) return TEraseStatus::Failed;
    if (S_ISLNK(St.st_mode))
        return ::unlink(Path.c_str()) == 0 ? TEraseStatus::Succeeded : TEraseStatus::Failed;
    if (!S_ISDIR(St.st_mode)) return TEraseStatus::Failed;
    const std::string Root = RealPath(Path);
    if (Root.empty()) return TEraseStatus::Failed;

    // The folder's identity as the directory reader tells it, so that its
    // entries compare with it.
    plat::TWin32FindData Top;
    if (!plat::StatEntry(Root, Top) || !Top.IsDirectory()) return TEraseStatus::Failed;
    TFolderContents C;
    std::set<std::pair<uint64_t, uint64_t>> Seen{{Top.Device, Top.Inode}};
    CollectFiles(Root, Top.Device, Seen, Ctx, C);
    std::sort(C.Files.begin(), C.Files.end(), CaseLess);

    // Overwrite every file with one random pattern, then delete those that
    // were overwritten; a file that could not be wiped stays where it is.
    if (!C.Files.empty()) {
        auto Random = std::make_unique<uint8_t[]>(WipeBufferSize);
        FillRandom(Random.get());
        std::vector<std::string> Wiped;
        for (const std::string& F : C.Files) {
            TFd Fd;
            if (OpenForWipe(F, Fd) && WipeStream(Fd.Get(), Random.get(), 3, Ctx.PaintPump)) Wiped.push_back(F);
        }
        for (const std::string& F : Wiped) {
            RemoveEntry(F);
            Pump(Ctx.PaintPump);
        }
    }
    for (const std::string& L : C.Links) {
        RemoveEntry(L);
        Pump(Ctx.PaintPump);
    }

    // Leave the folder if the program stands in it.
    char Cwd[PATH_MAX];
    if (::getcwd(Cwd, sizeof Cwd)) {
        const std::string Here = Lower(Tidy(Cwd));
        if (Here.find(Lower(Root)) != std::string::npos || Here.find(Lower(Tidy(Path))) != std::string::npos)
            if (!Ctx.ProgramFolder.empty() && ::chdir(Ctx.ProgramFolder.c_str()) != 0) (void)::chdir("/");
    }
    std::sort(C.Folders.begin(), C.Folders.end(), CaseLess);
    for (auto It = C.Folders.rbegin(); It != C.Folders.rend(); ++It) ::rmdir(It->c_str());
    ::rmdir(Root.c_str());
    // Only a folder that is really gone counts as erased.
    return Exists(Root) || Exists(Path) ? TEraseStatus::Failed : TEraseStatus::Succeeded;
}

} // namespace

uint32_t Random(uint32_t N) {
    RandSeed = RandSeed * 134775813u + 1u;
    return uint32_t((uint64_t(RandSeed) * N) >> 32);
}

void SetRandomSeed(uint32_t Seed) { RandSeed = Seed; }

void FillRandom(uint8_t* Buffer) {
    for (size_t I = 0; I < WipeBufferSize; ++I) Buffer[I] = uint8_t(Random(1024) & 0xFF);
}

void PaintThrottle(uint64_t& Last, const TPaintPump& P) {
    const uint64_t Now = plat::GetTickCount();
    if (Last <= Now && Now - Last < 3000) return;
    Pump(P);
    Last = Now;
}

bool WipeStream(int Fd, const uint8_t* RandomBuffer, int Passes, const TPaintPump& P) {
    static const std::vector<uint8_t> Zeros(WipeBufferSize, 0x00);
    static const std::vector<uint8_t> Ones(WipeBufferSize, 0xFF);
    Passes = std::clamp(Passes, 1, 10);
    struct stat St {};
    if (::fstat(Fd, &St) != 0 || !S_ISREG(St.st_mode)) return false;
    const uint64_t Size = uint64_t(St.st_size);
    const uint8_t* Pattern = Zeros.data();
    uint32_t Previous = 0;
    bool Ok = true;
    for (int Pass = 0; Pass < Passes; ++Pass) {
        if (::lseek(Fd, 0, SEEK_SET) != 0) return false;
        uint64_t Remaining = Size;
        uint32_t Offset;
        do Offset = Random(65436);
        while (Offset == Previous);
        Previous = Offset;
        uint64_t Last = plat::GetTickCount();
        while (Remaining > 0) {
            const size_t Count = size_t(std::min<uint64_t>(WipeBufferSize - Offset, Remaining));
            if (!WriteAll(Fd, Pattern + Offset, Count)) return false;  // bytes left unwritten: not wiped
            Remaining -= Count;
            Offset = 0;
            PaintThrottle(Last, P);
        }
        Pattern = Pattern == Zeros.data() ? Ones.data() : RandomBuffer;
        if (::fsync(Fd) != 0) Ok = false;
        Pump(P);
    }
    return Ok;
}

bool WipeFile(const std::string& FileName, int Passes, const TPaintPump& P) {
    TFd Fd;
    if (!OpenForWipe(FileName, Fd)) return false;
    auto Random = std::make_unique<uint8_t[]>(WipeBufferSize);
    FillRandom(Random.get());
    return WipeStream(Fd.Get(), Random.get(), Passes, P);
}

const char* EraseStatusText(TEraseStatus Status) {
    switch (Status) {
    case TEraseStatus::Succeeded: return "Succeeded";
    case TEraseStatus::Protected: return "Protected";
    case TEraseStatus::NotExist: return "Not exist";
    case TEraseStatus::Failed: break;
    }
    return "Failed";
}

bool IsProtectedFile(const std::string& Path, const TEraseContext& Ctx) {
    for (const std::string& F : FileForms(Path))
        if (ProtectedFileForm(F, Ctx)) return true;
    return false;
}

bool IsProtectedFolder(const std::string& Path, const TEraseContext& Ctx) {
    for (const std::string& F : FolderForms(Path))
        if (ProtectedFolderForm(F, Ctx)) return true;
    return false;
}

void EraseItems(const std::vector<TEraseItem>& Items, const uint8_t& RunState, const TEraseContext& Ctx,
                TEraseSummary& Summary) {
    Summary = {};
    Summary.Found = int32_t(Items.size());
    for (const TEraseItem& Item : Items) {
        if (RunState == 2) break;
        if (Ctx.ProcessMessages) Ctx.ProcessMessages();
        if (!Item.Ticked) continue;
        ++Summary.Selected;
        if (Ctx.ShowItem) Ctx.ShowItem(Item.Caption);
        const TEraseStatus S =
            Item.Type == "File" ? EraseFile(Item.Caption, Ctx) : EraseFolder(Item.Caption, Ctx);
        if (S == TEraseStatus::Succeeded) ++Summary.Succeeded;
        else ++Summary.Failed;
        Summary.Items.push_back({Item.Caption, S});
        if (Ctx.ItemDone) Ctx.ItemDone(Summary.Items.back());
    }
    char Buf[256];
    std::snprintf(Buf, sizeof Buf, "%d items have been found. %d items were selected for erasion.", Summary.Found,
                  Summary.Selected);
    Summary.DelStatus1 = Buf;
    std::snprintf(Buf, sizeof Buf, "%d items have been erased successfully.", Summary.Succeeded);
    Summary.DelStatus2 = Buf;
    std::snprintf(Buf, sizeof Buf, "Fail to erase %d items.", Summary.Failed);
    Summary.DelStatus3 = Buf;
    Summary.Red = Summary.Failed > 0;
}

} // namespace finder
