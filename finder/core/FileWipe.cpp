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

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "platform/Clock.h"
#include "platform/PathAt.h"

namespace finder {

namespace {

uint32_t RandSeed = 0;

const char* const NeutralName = "$000000.tmp";

void Pump(const TPaintPump& P) {
    if (P) P();
}

using plat::TFd;

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

std::string Join(const std::string& Folder, const std::string& Name) {
    return (Folder == "/" ? "" : Folder) + "/" + Name;
}

// The path as given, tidied, and with its folder resolved (the entry itself
// is not followed).
std::vector<std::string> FileForms(const std::string& Path) {
    std::vector<std::string> Forms{Lower(Tidy(Path))};
    const std::string T = Tidy(Path);
    const std::string Parent = RealPath(ParentOf(T));
    if (!Parent.empty()) Forms.push_back(Lower(Join(Parent, NameOf(T))));
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
    for (const std::string& Sys : Ctx.ProtectedFiles)
        if (P == Lower(Tidy(Sys))) return true;
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

// What a walk saw of an entry: the device and inode it must still have when
// it is overwritten or removed, and the mount it lies on.
struct TSeen {
    uint64_t Device = 0, Inode = 0, Mount = 0, Size = 0;
    int64_t MTime = 0;  // nanoseconds
    bool HasMount = false, MountRoot = false;
    uint32_t Links = 0;
    mode_t Type = 0;
};

constexpr unsigned SeenMask = STATX_TYPE | STATX_INO | STATX_NLINK | STATX_MNT_ID | STATX_SIZE | STATX_MTIME;

TSeen SeenOf(const struct statx& X) {
    TSeen S;
    S.Device = plat::DeviceId(X.stx_dev_major, X.stx_dev_minor);
    S.Inode = X.stx_ino;
    S.HasMount = X.stx_mask & STATX_MNT_ID;
    S.Mount = S.HasMount ? X.stx_mnt_id : 0;
    S.MountRoot = (X.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (X.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    S.Links = X.stx_nlink;
    S.Type = X.stx_mode & S_IFMT;
    S.Size = X.stx_size;
    S.MTime = int64_t(X.stx_mtime.tv_sec) * 1000000000 + X.stx_mtime.tv_nsec;
    return S;
}

bool Look(int Dir, const std::string& Name, TSeen& S) {
    struct statx X;
    if (!plat::StatAt(Dir, Name.c_str(), X, SeenMask)) return false;
    S = SeenOf(X);
    return true;
}

bool SameEntry(const TSeen& A, const TSeen& B) {
    return A.Type == B.Type && A.Device == B.Device && A.Inode == B.Inode;
}

// The entry Name of Dir is still what was seen there.
bool StillSeen(int Dir, const std::string& Name, const TSeen& Seen) {
    TSeen Now;
    return Look(Dir, Name, Now) && SameEntry(Now, Seen);
}

// What the open file Fd is now: Seen with the size and modification time the
// wipe left, so that its removal can tell whether anything was written since.
TSeen AfterWipe(int Fd, TSeen Seen) {
    struct stat St {};
    if (::fstat(Fd, &St) != 0) return {};
    Seen.Size = uint64_t(St.st_size);
    Seen.MTime = int64_t(St.st_mtim.tv_sec) * 1000000000 + St.st_mtim.tv_nsec;
    return Seen;
}

// The wiped file Name of Dir is still the file wiped, nothing written to it
// since: data added after the last pass would outlive its removal.
bool StillWiped(int Dir, const std::string& Name, const TSeen& Wiped) {
    TSeen Now;
    return Look(Dir, Name, Now) && SameEntry(Now, Wiped) && Now.Size == Wiped.Size && Now.MTime == Wiped.MTime;
}

// The entry is the root of a mount, another file system's or a bind mount
// of a folder elsewhere: its contents are not the folder Dir's to erase.
bool MountRootIn(int Dir, const TSeen& S) {
    TSeen Folder;
    if (S.MountRoot || !Look(Dir, ".", Folder)) return true;
    return S.Device != Folder.Device || (S.HasMount && Folder.HasMount && S.Mount != Folder.Mount);
}

bool SameFile(const struct stat& St, const TSeen& Seen) {
    return plat::DeviceId(St.st_dev) == Seen.Device && St.st_ino == Seen.Inode;
}

// A regular file opened for its wipe when it is the file seen and has no
// other name, never through a link. The owner gets write permission first,
// on that very file; the file's own mode comes back when this object ends
// (after the wipe, whether it succeeded or not), unless KeepMode was called.
class TWipeOpen {
public:
    TWipeOpen() = default;
    TWipeOpen(const TWipeOpen&) = delete;
    TWipeOpen& operator=(const TWipeOpen&) = delete;
    ~TWipeOpen() {
        if (FChanged) ::chmod(Self().c_str(), FMode);
    }
    bool Open(int Dir, const std::string& Name, const TSeen& Seen) {
        FPath.Reset(::openat(Dir, Name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat St {};
        if (!FPath.Valid() || ::fstat(FPath.Get(), &St) != 0 || !WipeableAs(St, Seen)) return false;
        if (!(St.st_mode & S_IWUSR)) {
            if (::chmod(Self().c_str(), (St.st_mode & 07777) | S_IWUSR) != 0) return false;
            FMode = St.st_mode & 07777;
            FChanged = true;
        }
        FFd.Reset(::open(Self().c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
        struct stat Now {};
        return FFd.Valid() && ::fstat(FFd.Get(), &Now) == 0 && WipeableAs(Now, Seen);
    }
    int Get() const { return FFd.Get(); }
    void KeepMode() { FChanged = false; }

private:
    // The descriptor's own entry in /proc reaches exactly this inode, never
    // a link that replaced the name meanwhile.
    std::string Self() const { return "/proc/self/fd/" + std::to_string(FPath.Get()); }
    static bool WipeableAs(const struct stat& St, const TSeen& Seen) {
        return S_ISREG(St.st_mode) && St.st_nlink == 1 && SameFile(St, Seen);
    }
    TFd FPath, FFd;
    mode_t FMode = 0;
    bool FChanged = false;
};

bool WriteAllAt(int Fd, const uint8_t* Data, size_t Count, uint64_t At) {
    while (Count > 0) {
        const ssize_t N = ::pwrite(Fd, Data, Count, off_t(At));
        if (N < 0 && errno == EINTR) continue;
        if (N <= 0) return false;
        Data += N;
        At += uint64_t(N);
        Count -= size_t(N);
    }
    return true;
}

// The parts of the first Size bytes that hold data, as [start, end) pairs:
// writing a hole would allocate it.
std::vector<std::pair<uint64_t, uint64_t>> DataExtents(int Fd, uint64_t Size) {
    std::vector<std::pair<uint64_t, uint64_t>> Out;
    uint64_t Pos = 0;
    while (Pos < Size) {
        const off_t Data = ::lseek(Fd, off_t(Pos), SEEK_DATA);
        if (Data < 0) {
            if (errno != ENXIO) Out.emplace_back(Pos, Size);  // no hole information: all of it
            break;
        }
        if (uint64_t(Data) >= Size) break;
        off_t Hole = ::lseek(Fd, Data, SEEK_HOLE);
        if (Hole < 0 || uint64_t(Hole) > Size) Hole = off_t(Size);
        Out.emplace_back(uint64_t(Data), uint64_t(Hole));
        Pos = uint64_t(Hole);
    }
    return Out;
}

bool CaseLess(const std::string& A, const std::string& B) {
    const int C = ::strcasecmp(A.c_str(), B.c_str());
    return C != 0 ? C < 0 : A < B;
}

TEntryId IdOf(const TSeen& S) { return {S.Device, S.Inode, uint32_t(S.Type)}; }

bool Matches(const TSeen& S, const TEntryId& Id) {
    return Id.Type != 0 && uint32_t(S.Type) == Id.Type && S.Device == Id.Device && S.Inode == Id.Inode;
}

bool NamesAnEntry(const std::string& Name) { return !Name.empty() && Name != "." && Name != ".."; }

enum class TReach { Same, Missing, Changed };

// Opens a listed item's folder again, one component at a time and never
// through a link, into Dir, and looks at the item there into Now. Changed
// when the folder or the item is not the one recorded when it was added
// (also when nothing was there then and something is now); Missing when
// either is gone.
TReach Reach(const TEraseItem& Item, TFd& Dir, TSeen& Now) {
    const std::string Name = NameOf(Item.Caption);
    if (!NamesAnEntry(Name)) return TReach::Missing;
    Dir.Reset(plat::OpenFolderNoFollow(ParentOf(Item.Caption)));
    TSeen Folder;
    if (!Dir.Valid() || !Look(Dir.Get(), ".", Folder))
        return errno == ENOENT ? TReach::Missing : TReach::Changed;
    if (Item.FolderId.Type != 0 && !Matches(Folder, Item.FolderId)) return TReach::Changed;
    if (!Look(Dir.Get(), Name, Now)) return errno == ENOENT ? TReach::Missing : TReach::Changed;
    return Matches(Folder, Item.FolderId) && Matches(Now, Item.ItemId) ? TReach::Same : TReach::Changed;
}

// One folder's contents, collected depth first through descriptors: what
// was seen of every entry, so that nothing that changed since is touched.
struct TCollected {
    struct TFolder {
        uint32_t Parent;
        std::string Name, Path;
        TSeen Seen;
    };
    struct TEntry {
        uint32_t Folder;
        std::string Name;
        TSeen Seen;
    };
    std::vector<TFolder> Folders;  // 0 is the erased folder itself
    std::vector<TEntry> Files;     // regular files with a single name
    std::vector<TEntry> Links;     // symbolic links, removed as links
    bool Incomplete = false;       // something was left out or could not be listed
    std::set<std::pair<uint64_t, uint64_t>> SeenFolders;
};

void Collect(int Fd, uint32_t Index, const TEraseContext& Ctx, TCollected& C) {
    plat::TFolderNames Names;
    if (!plat::ReadFolderNames(Fd, Names)) {
        C.Incomplete = true;
        return;
    }
    const TSeen Top = C.Folders[0].Seen;
    for (const plat::TNameEntry& E : Names.Entries) {
        const std::string Name(Names.Name(E));
        const std::string Path = Join(C.Folders[Index].Path, Name);
        TSeen S;
        if (!Look(Fd, Name, S)) {
            C.Incomplete = true;
            continue;
        }
        // Another file system, or another mount of this one (a bind mount
        // of a folder elsewhere): never crossed.
        const bool OtherMount = S.Device != Top.Device || S.MountRoot || (S.HasMount && Top.HasMount && S.Mount != Top.Mount);
        if (S.Type == S_IFLNK) {
            C.Links.push_back({Index, Name, S});
        } else if (S.Type == S_IFDIR) {
            if (OtherMount || ProtectedFolderForm(Lower(Path), Ctx) || !C.SeenFolders.insert({S.Device, S.Inode}).second) {
                C.Incomplete = true;
                continue;
            }
            TFd Sub(::openat(Fd, Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            struct stat St {};
            if (!Sub.Valid() || ::fstat(Sub.Get(), &St) != 0 || !SameFile(St, S)) {
                C.Incomplete = true;
                continue;
            }
            C.Folders.push_back({Index, Name, Path, S});
            Collect(Sub.Get(), uint32_t(C.Folders.size() - 1), Ctx, C);
        } else if (S.Type == S_IFREG && !OtherMount && S.Links == 1 && !ProtectedFileForm(Lower(Path), Ctx)) {
            C.Files.push_back({Index, Name, S});
        } else {
            // Devices, pipes, protected files, a file with other names (its
            // data lives on under them) or mounted here from elsewhere stay.
            C.Incomplete = true;
        }
    }
}

// Opens collected folders through the chain of their parents, each one
// checked against what was seen; the chain open last is kept for the next.
class TFolderCursor {
public:
    TFolderCursor(const TCollected& C, int RootFd) : FC(C), FRoot(RootFd) {}
    // -1 when a folder on the way is no longer the one seen.
    int Open(uint32_t Index) {
        if (Index == 0) return FRoot;
        std::vector<uint32_t> Want;
        for (uint32_t I = Index; I != 0; I = FC.Folders[I].Parent) Want.push_back(I);
        std::reverse(Want.begin(), Want.end());
        size_t Keep = 0;
        while (Keep < FChain.size() && Keep < Want.size() && FChain[Keep].first == Want[Keep]) ++Keep;
        FChain.resize(Keep);
        for (size_t K = Keep; K < Want.size(); ++K) {
            const auto& F = FC.Folders[Want[K]];
            const int Parent = K == 0 ? FRoot : FChain.back().second.Get();
            TFd Next(::openat(Parent, F.Name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            struct stat St {};
            if (!Next.Valid() || ::fstat(Next.Get(), &St) != 0 || !SameFile(St, F.Seen)) return -1;
            FChain.emplace_back(Want[K], std::move(Next));
        }
        return FChain.empty() ? FRoot : FChain.back().second.Get();
    }
    void Close() { FChain.clear(); }

private:
    const TCollected& FC;
    int FRoot;
    std::vector<std::pair<uint32_t, TFd>> FChain;
};

// Removes the entry Name of Dir when it is still what was seen there.
bool RemoveSeen(int Dir, const std::string& Name, const TSeen& Seen, int Flags = 0) {
    return Dir >= 0 && StillSeen(Dir, Name, Seen) && ::unlinkat(Dir, Name.c_str(), Flags) == 0;
}

// Removes the wiped file Name of Dir when nothing was written to it since.
bool RemoveWiped(int Dir, const std::string& Name, const TSeen& Wiped) {
    return Dir >= 0 && StillWiped(Dir, Name, Wiped) && ::unlinkat(Dir, Name.c_str(), 0) == 0;
}

TEraseStatus EraseFile(const TEraseItem& Item, const TEraseContext& Ctx) {
    TFd Dir;
    TSeen S;
    const TReach Reached = Reach(Item, Dir, S);
    if (Reached == TReach::Missing) return TEraseStatus::NotExist;
    if (IsProtectedFile(Item.Caption, Ctx)) return TEraseStatus::Protected;
    if (Reached == TReach::Changed) return TEraseStatus::Failed;
    const std::string Name = NameOf(Item.Caption);
    if (S.Type == S_IFLNK)  // the link goes, its target is left alone
        return RemoveSeen(Dir.Get(), Name, S) ? TEraseStatus::Succeeded : TEraseStatus::Failed;
    // A file with other names keeps its data under them, and so does one
    // mounted over this name from elsewhere: neither is touched.
    if (S.Type != S_IFREG || S.Links != 1 || MountRootIn(Dir.Get(), S)) return TEraseStatus::Failed;
    TSeen Wiped;
    {
        TWipeOpen Fd;
        if (!Fd.Open(Dir.Get(), Name, S)) return TEraseStatus::Failed;
        auto Random = std::make_unique<uint8_t[]>(WipeBufferSize);
        FillRandom(Random.get());
        if (!WipeStream(Fd.Get(), Random.get(), 3, Ctx.PaintPump)) return TEraseStatus::Failed;
        Wiped = AfterWipe(Fd.Get(), S);
    }
    // The neutral name hides the old one; a file that already bears it is
    // never replaced, the wiped file then goes under its own name.
    bool Deleted = false;
    if (StillWiped(Dir.Get(), Name, Wiped)) {
        if (::renameat2(Dir.Get(), Name.c_str(), Dir.Get(), NeutralName, RENAME_NOREPLACE) == 0)
            Deleted = RemoveWiped(Dir.Get(), NeutralName, Wiped);
        else
            Deleted = RemoveWiped(Dir.Get(), Name, Wiped);
    }
    Pump(Ctx.PaintPump);
    return Deleted ? TEraseStatus::Succeeded : TEraseStatus::Failed;
}

TEraseStatus EraseFolder(const TEraseItem& Item, const TEraseContext& Ctx) {
    if (IsProtectedFolder(Item.Caption, Ctx)) return TEraseStatus::Protected;
    TFd Parent;
    TSeen Top;
    if (Reach(Item, Parent, Top) != TReach::Same) return TEraseStatus::Failed;
    const std::string Name = NameOf(Item.Caption);
    const std::string& Root = Item.Caption;
    if (Top.Type == S_IFLNK)
        return RemoveSeen(Parent.Get(), Name, Top) ? TEraseStatus::Succeeded : TEraseStatus::Failed;
    // A mount's contents belong to the mount, not to this folder: refused whole.
    if (Top.Type != S_IFDIR || MountRootIn(Parent.Get(), Top)) return TEraseStatus::Failed;
    TFd RootFd(::openat(Parent.Get(), Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat St {};
    if (!RootFd.Valid() || ::fstat(RootFd.Get(), &St) != 0 || !SameFile(St, Top)) return TEraseStatus::Failed;

    plat::RaiseOpenFileLimit();
    TCollected C;
    C.Folders.push_back({0, Name, Root, Top});
    C.SeenFolders.insert({Top.Device, Top.Inode});
    Collect(RootFd.Get(), 0, Ctx, C);
    auto PathOf = [&](const TCollected::TEntry& E) { return Join(C.Folders[E.Folder].Path, E.Name); };
    std::sort(C.Files.begin(), C.Files.end(),
              [&](const auto& A, const auto& B) { return CaseLess(PathOf(A), PathOf(B)); });

    // Overwrite every file with one random pattern, then delete those that
    // were overwritten; a file that could not be wiped, or is no longer the
    // file collected, stays where it is. One written to after its wipe stays
    // too, and fails the folder.
    TFolderCursor Cursor(C, RootFd.Get());
    bool WipedLeft = false;
    if (!C.Files.empty()) {
        auto Random = std::make_unique<uint8_t[]>(WipeBufferSize);
        FillRandom(Random.get());
        std::vector<std::pair<const TCollected::TEntry*, TSeen>> Wiped;
        for (const auto& F : C.Files) {
            const int Dir = Cursor.Open(F.Folder);
            TWipeOpen Fd;
            if (Dir >= 0 && Fd.Open(Dir, F.Name, F.Seen) && WipeStream(Fd.Get(), Random.get(), 3, Ctx.PaintPump))
                Wiped.emplace_back(&F, AfterWipe(Fd.Get(), F.Seen));
        }
        for (const auto& [F, After] : Wiped) {
            if (!RemoveWiped(Cursor.Open(F->Folder), F->Name, After)) WipedLeft = true;
            Pump(Ctx.PaintPump);
        }
    }
    for (const auto& L : C.Links) {
        RemoveSeen(Cursor.Open(L.Folder), L.Name, L.Seen);
        Pump(Ctx.PaintPump);
    }

    // Leave the folder if the program stands in it.
    char Cwd[PATH_MAX];
    if (::getcwd(Cwd, sizeof Cwd)) {
        const std::string Here = Lower(Tidy(Cwd));
        if (Here.find(Lower(Root)) != std::string::npos)
            if (!Ctx.ProgramFolder.empty() && ::chdir(Ctx.ProgramFolder.c_str()) != 0) (void)::chdir("/");
    }
    // Sub-folders from the last to the first in sorted order: children
    // before their parents.
    std::vector<uint32_t> Order;
    for (uint32_t I = 1; I < C.Folders.size(); ++I) Order.push_back(I);
    std::sort(Order.begin(), Order.end(),
              [&](uint32_t A, uint32_t B) { return CaseLess(C.Folders[A].Path, C.Folders[B].Path); });
    for (auto It = Order.rbegin(); It != Order.rend(); ++It) {
        const auto& F = C.Folders[*It];
        RemoveSeen(Cursor.Open(F.Parent), F.Name, F.Seen, AT_REMOVEDIR);
    }
    Cursor.Close();
    RootFd.Reset();
    // Only a folder that is really gone counts as erased.
    return RemoveSeen(Parent.Get(), Name, Top, AT_REMOVEDIR) && !WipedLeft ? TEraseStatus::Succeeded
                                                                           : TEraseStatus::Failed;
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
    const auto Extents = DataExtents(Fd, Size);
    const uint8_t* Pattern = Zeros.data();
    uint32_t Previous = 0;
    bool Ok = true;
    for (int Pass = 0; Pass < Passes; ++Pass) {
        uint32_t Offset;
        do Offset = Random(65436);
        while (Offset == Previous);
        Previous = Offset;
        uint64_t Last = plat::GetTickCount();
        for (const auto& [Start, End] : Extents) {
            for (uint64_t At = Start; At < End;) {
                const size_t Count = size_t(std::min<uint64_t>(WipeBufferSize - Offset, End - At));
                if (!WriteAllAt(Fd, Pattern + Offset, Count, At)) return false;  // bytes left unwritten: not wiped
                At += Count;
                Offset = 0;
                PaintThrottle(Last, P);
            }
        }
        Pattern = Pattern == Zeros.data() ? Ones.data() : RandomBuffer;
        if (::fsync(Fd) != 0) Ok = false;
        Pump(P);
        // Data another program added meanwhile was not overwritten.
        if (::fstat(Fd, &St) != 0 || uint64_t(St.st_size) != Size) return false;
    }
    return Ok;
}

bool WipeFile(const std::string& FileName, int Passes, const TPaintPump& P) {
    const TEraseItem Item = RecordEraseItem(FileName, "File");
    TFd Dir;
    TSeen S;
    TWipeOpen Fd;
    if (Reach(Item, Dir, S) != TReach::Same || !Fd.Open(Dir.Get(), NameOf(Item.Caption), S)) return false;
    auto Random = std::make_unique<uint8_t[]>(WipeBufferSize);
    FillRandom(Random.get());
    if (!WipeStream(Fd.Get(), Random.get(), Passes, P)) return false;
    Fd.KeepMode();  // a wiped file keeps the write permission its owner got
    return true;
}

TEraseItem RecordEraseItem(const std::string& Path, const std::string& Type) {
    TEraseItem Item;
    Item.Type = Type;
    const std::string T = Tidy(Path), Name = NameOf(T);
    std::string Folder = RealPath(ParentOf(T));
    if (Folder.empty()) Folder = ParentOf(T);
    Item.Caption = Join(Folder, Name);
    TFd Dir(plat::OpenFolderNoFollow(Folder));
    TSeen F, S;
    if (!Dir.Valid() || !Look(Dir.Get(), ".", F)) return Item;
    Item.FolderId = IdOf(F);
    if (NamesAnEntry(Name) && Look(Dir.Get(), Name, S)) Item.ItemId = IdOf(S);
    return Item;
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

const std::vector<std::string>& SystemProtectedFiles() {
    static const std::vector<std::string> Files{"/etc/fstab", "/etc/passwd", "/boot/vmlinuz", "/swapfile"};
    return Files;
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
        // A Stop the pump delivers now, pressed while the last item was
        // wiped, ends the run too: no erasure starts after it.
        if (Ctx.ProcessMessages) Ctx.ProcessMessages();
        if (RunState == 2) break;
        if (!Item.Ticked) continue;
        ++Summary.Selected;
        if (Ctx.ShowItem) Ctx.ShowItem(Item.Caption);
        const TEraseStatus S = Item.Type == "File" ? EraseFile(Item, Ctx) : EraseFolder(Item, Ctx);
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
