#include "platform/Registry.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include <climits>
#include <functional>
#include <mutex>
#include <set>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/AtomicFile.h"
#include "platform/TextLines.h"
#include "platform/XdgFolders.h"

// Store format, one file per root:
//   [Software\Corvane]
//   HelpURL=sz:https://...
//   CheckUpdate=dword:1
// Text values escape "\" and line breaks so that every value stays on one line.
// A line that is no setting (a hand edit gone wrong) is skipped and written
// back as it stood, so nothing the user had is lost. Read-change-write holds
// an flock on a lock file beside the store: two programs changing it at once
// both keep their change.

namespace plat {

namespace {

constexpr off_t MaxStoreBytes = 1 << 20;

std::string& StoreOverride() {
    static std::string Folder;
    return Folder;
}

std::string Lower(std::string S) {
    for (char& C : S)
        if (C >= 'A' && C <= 'Z') C = char(C - 'A' + 'a');
    return S;
}

bool SameName(const std::string& A, const std::string& B) { return Lower(A) == Lower(B); }

// "\Software\Corvane", "Software/Corvane/" -> "Software\Corvane".
std::string NormalKey(const std::string& Key) {
    std::string Out;
    for (char C : Key) {
        if (C == '/' || C == '\\') {
            if (!Out.empty() && Out.back() != '\\') Out += '\\';
        } else {
            Out += C;
        }
    }
    if (!Out.empty() && Out.back() == '\\') Out.pop_back();
    return Out;
}

enum class TKind { Sz, Dword };

struct TValue {
    std::string Name;
    TKind Kind = TKind::Sz;
    std::string Text;
    int32_t Number = 0;
    std::string Raw;  // a line that is no setting, kept as it stood; Name is then empty
};

struct TSection {
    std::string Key;
    std::vector<TValue> Values;
};

struct TStoreFile {
    std::vector<TValue> Preamble;  // lines before the first key
    std::vector<TSection> Sections;
    std::vector<int> Skipped;      // numbers of the lines that hold no setting

    TSection* Find(const std::string& Key) {
        for (auto& S : Sections)
            if (SameName(S.Key, Key)) return &S;
        return nullptr;
    }
    bool KeyExists(const std::string& Key) const {
        const std::string L = Lower(Key);
        for (const auto& S : Sections) {
            const std::string SL = Lower(S.Key);
            if (SL == L || (SL.size() > L.size() && SL.compare(0, L.size(), L) == 0 && SL[L.size()] == '\\'))
                return true;
        }
        return false;
    }
};

std::string Escape(const std::string& S) {
    std::string Out;
    for (char C : S) {
        switch (C) {
        case '\\': Out += "\\\\"; break;
        case '\n': Out += "\\n"; break;
        case '\r': Out += "\\r"; break;
        default: Out += C;
        }
    }
    return Out;
}

std::optional<std::string> Unescape(const std::string& S) { return UnescapeBackslashes(S, "\\nr", "\\\n\r"); }

std::optional<int32_t> ParseDword(const std::string& S) {
    if (S.empty() || S.size() > 11) return std::nullopt;
    char* End = nullptr;
    errno = 0;
    long long V = std::strtoll(S.c_str(), &End, 10);
    if (errno || *End || V < INT32_MIN || V > UINT32_MAX) return std::nullopt;
    return int32_t(uint32_t(V));  // stored as written; 4294967295 reads back as -1
}

// The value a line holds, or nullopt when it holds none.
std::optional<TValue> ParseValue(const std::string& Line) {
    const size_t Eq = Line.find('=');
    if (Eq == std::string::npos || Eq == 0) return std::nullopt;
    TValue V;
    V.Name = Line.substr(0, Eq);
    const std::string Rest = Line.substr(Eq + 1);
    if (Rest.compare(0, 3, "sz:") == 0) {
        auto T = Unescape(Rest.substr(3));
        if (!T) return std::nullopt;
        V.Text = *T;
    } else if (Rest.compare(0, 6, "dword:") == 0) {
        auto N = ParseDword(Rest.substr(6));
        if (!N) return std::nullopt;
        V.Kind = TKind::Dword;
        V.Number = *N;
    } else {
        return std::nullopt;
    }
    return V;
}

TStoreFile Parse(const std::string& Text) {
    TStoreFile F;
    std::istringstream In(Text);
    std::string Line;
    for (int Number = 1; std::getline(In, Line); ++Number) {
        if (!Line.empty() && Line.back() == '\r') Line.pop_back();
        if (Line.empty()) continue;
        if (Line[0] == '[' && Line.back() == ']') {
            std::string Key = NormalKey(Line.substr(1, Line.size() - 2));
            if (!F.Find(Key)) F.Sections.push_back({Key, {}});
            continue;
        }
        auto& Values = F.Sections.empty() ? F.Preamble : F.Sections.back().Values;
        const bool Comment = Line[0] == ';' || Line[0] == '#';
        auto V = F.Sections.empty() || Comment ? std::nullopt : ParseValue(Line);
        if (!V) {
            if (!Comment) F.Skipped.push_back(Number);
            TValue Kept;
            Kept.Raw = Line;
            Values.push_back(Kept);
            continue;
        }
        bool Replaced = false;
        for (auto& Old : Values)
            if (!Old.Name.empty() && SameName(Old.Name, V->Name)) {
                Old = *V;
                Replaced = true;
            }
        if (!Replaced) Values.push_back(*V);
    }
    return F;
}

void FormatValues(const std::vector<TValue>& Values, std::string& Out) {
    for (const auto& V : Values) {
        if (V.Name.empty())
            Out += V.Raw;
        else
            Out += V.Name + "=" + (V.Kind == TKind::Sz ? "sz:" + Escape(V.Text) : "dword:" + std::to_string(V.Number));
        Out += "\n";
    }
}

std::string Format(const TStoreFile& F) {
    std::string Out;
    FormatValues(F.Preamble, Out);
    if (!F.Preamble.empty()) Out += "\n";
    for (const auto& S : F.Sections) {
        Out += "[" + S.Key + "]\n";
        FormatValues(S.Values, Out);
        Out += "\n";
    }
    return Out;
}

std::function<void()>& WriteHook() {
    static std::function<void()> Hook;
    return Hook;
}

// A word on standard error, once per file, about the lines that hold no setting.
void ReportSkipped(const std::string& Path, const std::vector<int>& Lines) {
    static std::mutex Lock;
    static std::set<std::string> Told;
    if (Lines.empty()) return;
    std::lock_guard<std::mutex> Guard(Lock);
    if (!Told.insert(Path).second) return;
    std::string Numbers;
    for (int N : Lines) Numbers += (Numbers.empty() ? "" : ", ") + std::to_string(N);
    std::fprintf(stderr, "Corvane: %s: %s %s %s no setting; skipped, and kept when the file is rewritten\n",
                 Path.c_str(), Lines.size() == 1 ? "line" : "lines", Numbers.c_str(), Lines.size() == 1 ? "holds" : "hold");
}

// An exclusive flock on ".<store file>.lock" beside the store, held for one
// read-change-write.
class TStoreLock {
public:
    TStoreLock(const std::string& Folder, const std::string& FileName) {
        const std::string Path = Folder + "/." + FileName + ".lock";
        FFd = open(Path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (FFd < 0) throw ERegistryException("Failed to lock the settings store " + Path);
        // A lock file the elevated copy makes stays the user's, like the store.
        struct stat Owner;
        if (geteuid() == 0 && stat(Folder.c_str(), &Owner) == 0 && fchown(FFd, Owner.st_uid, Owner.st_gid) != 0)
            std::fprintf(stderr, "Corvane: cannot hand %s to the folder's owner\n", Path.c_str());
        while (flock(FFd, LOCK_EX) != 0)
            if (errno != EINTR) {
                close(FFd);
                throw ERegistryException("Failed to lock the settings store " + Path);
            }
    }
    ~TStoreLock() { close(FFd); }
    TStoreLock(const TStoreLock&) = delete;
    TStoreLock& operator=(const TStoreLock&) = delete;

private:
    int FFd = -1;
};

} // namespace

struct TRegistry::Impl {
    TRootKey Root;
    std::string Key;  // "" while no key is open
    bool Open = false;

    std::string FileName() const { return Root == TRootKey::HKEY_LOCAL_MACHINE ? "machine.ini" : "user.ini"; }
    std::string FilePath() const { return StoreFolder() + "/" + FileName(); }

    // The file to read and write: the store file, or the target of a link
    // there that stays inside the settings folder. Nullopt for a link that
    // leaves it or leads nowhere: such a store is neither read nor written.
    std::optional<std::string> RealFile() const {
        struct stat St;
        if (lstat(FilePath().c_str(), &St) != 0 || !S_ISLNK(St.st_mode)) return FilePath();
        char Target[PATH_MAX], Folder[PATH_MAX];
        if (!realpath(FilePath().c_str(), Target) || !realpath(StoreFolder().c_str(), Folder)) return std::nullopt;
        const std::string Inside = std::string(Folder) + "/";
        if (std::string(Target).compare(0, Inside.size(), Inside) != 0) return std::nullopt;
        return std::string(Target);
    }

    // Missing file: an empty store. Unreadable: nullopt.
    std::optional<TStoreFile> Load() const {
        const auto Path = RealFile();
        if (!Path) return std::nullopt;
        struct stat St;
        if (stat(Path->c_str(), &St) != 0) {
            if (errno == ENOENT) return TStoreFile{};
            return std::nullopt;
        }
        // A few settings fill a few hundred bytes: anything huge is not ours.
        if (!S_ISREG(St.st_mode) || St.st_size > MaxStoreBytes) return std::nullopt;
        std::ifstream In(*Path, std::ios::binary);
        if (!In) return std::nullopt;
        std::ostringstream Text;
        Text << In.rdbuf();
        if (In.bad()) return std::nullopt;
        TStoreFile F = Parse(Text.str());
        ReportSkipped(*Path, F.Skipped);
        return F;
    }

    // Reads, changes and writes back under the store's lock; Change returns
    // false to write nothing. The new file is renamed over the old: a crash
    // leaves the old store or the new, never half of one.
    void Update(const std::function<bool(TStoreFile&)>& Change) const {
        const std::string Folder = StoreFolder();
        if (!MakeFolders(Folder)) throw ERegistryException("Failed to create the settings folder " + Folder);
        TStoreLock Lock(Folder, FileName());
        auto F = Load();
        if (!F) throw ERegistryException("Failed to read the settings store " + FilePath());
        if (!Change(*F)) return;
        if (WriteHook()) WriteHook()();
        const auto Path = RealFile();
        std::string Error = "a link that leaves the settings folder";
        if (!Path || !ReplaceFile(*Path, Format(*F), 0600, Error))
            throw ERegistryException("Failed to write the settings store " + FilePath() + ": " + Error);
    }

    std::optional<TValue> Find(const std::string& Name) const {
        if (!Open) return std::nullopt;
        auto F = Load();
        if (!F) return std::nullopt;
        TSection* S = F->Find(Key);
        if (!S) return std::nullopt;
        for (const auto& V : S->Values)
            if (!V.Name.empty() && SameName(V.Name, Name)) return V;
        return std::nullopt;
    }

    void Put(const TValue& V) {
        // A name that would break the line format is refused rather than stored half.
        if (!Open || V.Name.empty() || V.Name.find_first_of("=\r\n") != std::string::npos || V.Name[0] == '[' ||
            V.Name[0] == ';' || V.Name[0] == '#')
            throw ERegistryException("Failed to set data for '" + V.Name + "'");
        Update([&](TStoreFile& F) {
            TSection* S = F.Find(Key);
            if (!S) {
                F.Sections.push_back({Key, {}});
                S = &F.Sections.back();
            }
            for (auto& Old : S->Values)
                if (!Old.Name.empty() && SameName(Old.Name, V.Name)) {
                    Old = V;
                    return true;
                }
            S->Values.push_back(V);
            return true;
        });
    }
};

TRegistry::TRegistry(TRootKey root) : FImpl(new Impl{root, "", false}) {}
TRegistry::~TRegistry() { delete FImpl; }

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate) {
    CloseKey();
    const std::string K = NormalKey(Key);
    if (K.empty()) return false;
    auto F = FImpl->Load();
    if (!F) return false;
    if (!F->KeyExists(K)) {
        if (!CanCreate) return false;
        try {
            FImpl->Update([&](TStoreFile& Now) {
                if (Now.KeyExists(K)) return false;
                Now.Sections.push_back({K, {}});
                return true;
            });
        } catch (const ERegistryException&) {
            return false;
        }
    }
    FImpl->Key = K;
    FImpl->Open = true;
    return true;
}

void TRegistry::CloseKey() {
    FImpl->Key.clear();
    FImpl->Open = false;
}

bool TRegistry::ValueExists(const std::string& Name) const { return FImpl->Find(Name).has_value(); }

std::string TRegistry::ReadString(const std::string& Name) const {
    auto V = FImpl->Find(Name);
    if (!V) return "";
    if (V->Kind != TKind::Sz) throw ERegistryException("Invalid data type for '" + Name + "'");
    return V->Text;
}

int32_t TRegistry::ReadInteger(const std::string& Name) const {
    auto V = FImpl->Find(Name);
    if (!V || V->Kind != TKind::Dword) throw ERegistryException("Invalid data type for '" + Name + "'");
    return V->Number;
}

bool TRegistry::ReadBool(const std::string& Name) const { return ReadInteger(Name) != 0; }

void TRegistry::WriteString(const std::string& Name, const std::string& Value) {
    TValue V;
    V.Name = Name;
    V.Kind = TKind::Sz;
    V.Text = Value;
    FImpl->Put(V);
}

void TRegistry::WriteInteger(const std::string& Name, int32_t Value) {
    TValue V;
    V.Name = Name;
    V.Kind = TKind::Dword;
    V.Number = Value;
    FImpl->Put(V);
}

void TRegistry::WriteBool(const std::string& Name, bool Value) { WriteInteger(Name, Value ? 1 : 0); }

bool TRegistry::DeleteValue(const std::string& Name) {
    if (!FImpl->Open) return false;
    bool Deleted = false;
    try {
        FImpl->Update([&](TStoreFile& F) {
            TSection* S = F.Find(FImpl->Key);
            if (!S) return false;
            for (auto It = S->Values.begin(); It != S->Values.end(); ++It)
                if (!It->Name.empty() && SameName(It->Name, Name)) {
                    S->Values.erase(It);
                    Deleted = true;
                    return true;
                }
            return false;
        });
    } catch (const ERegistryException&) {
        return false;
    }
    return Deleted;
}

void TRegistry::SetStoreFolder(const std::string& Folder) { StoreOverride() = Folder; }

std::string TRegistry::StoreFolder() {
    if (!StoreOverride().empty()) return StoreOverride();
    return ConfigHome() + "/corvane";
}

void TRegistry::SetWriteHook(std::function<void()> Hook) { WriteHook() = std::move(Hook); }

} // namespace plat
