#include "platform/Registry.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Store format, one file per root:
//   [Software\Corvane]
//   HelpURL=sz:https://...
//   CheckUpdate=dword:1
// Text values escape "\" and line breaks so that every value stays on one line.
// A file we cannot parse is left alone: the store counts as unreadable and is
// never rewritten, so nothing the user had is lost.

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
};

struct TSection {
    std::string Key;
    std::vector<TValue> Values;
};

struct TStoreFile {
    std::vector<TSection> Sections;

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

std::optional<std::string> Unescape(const std::string& S) {
    std::string Out;
    for (size_t I = 0; I < S.size(); ++I) {
        if (S[I] != '\\') {
            Out += S[I];
            continue;
        }
        if (++I == S.size()) return std::nullopt;
        switch (S[I]) {
        case '\\': Out += '\\'; break;
        case 'n': Out += '\n'; break;
        case 'r': Out += '\r'; break;
        default: return std::nullopt;
        }
    }
    return Out;
}

std::optional<int32_t> ParseDword(const std::string& S) {
    if (S.empty() || S.size() > 11) return std::nullopt;
    char* End = nullptr;
    errno = 0;
    long long V = std::strtoll(S.c_str(), &End, 10);
    if (errno || *End || V < INT32_MIN || V > UINT32_MAX) return std::nullopt;
    return int32_t(uint32_t(V));  // stored as written; 4294967295 reads back as -1
}

// Nullopt when the file exists but is not a store we wrote.
std::optional<TStoreFile> Parse(const std::string& Text) {
    TStoreFile F;
    std::istringstream In(Text);
    std::string Line;
    while (std::getline(In, Line)) {
        if (!Line.empty() && Line.back() == '\r') Line.pop_back();
        if (Line.empty() || Line[0] == ';' || Line[0] == '#') continue;
        if (Line[0] == '[') {
            if (Line.back() != ']') return std::nullopt;
            std::string Key = NormalKey(Line.substr(1, Line.size() - 2));
            if (!F.Find(Key)) F.Sections.push_back({Key, {}});
            continue;
        }
        if (F.Sections.empty()) return std::nullopt;
        size_t Eq = Line.find('=');
        if (Eq == std::string::npos || Eq == 0) return std::nullopt;
        TValue V;
        V.Name = Line.substr(0, Eq);
        std::string Rest = Line.substr(Eq + 1);
        if (Rest.compare(0, 3, "sz:") == 0) {
            auto T = Unescape(Rest.substr(3));
            if (!T) return std::nullopt;
            V.Kind = TKind::Sz;
            V.Text = *T;
        } else if (Rest.compare(0, 6, "dword:") == 0) {
            auto N = ParseDword(Rest.substr(6));
            if (!N) return std::nullopt;
            V.Kind = TKind::Dword;
            V.Number = *N;
        } else {
            return std::nullopt;
        }
        auto& Values = F.Sections.back().Values;
        bool Replaced = false;
        for (auto& Old : Values)
            if (SameName(Old.Name, V.Name)) {
                Old = V;
                Replaced = true;
            }
        if (!Replaced) Values.push_back(V);
    }
    return F;
}

std::string Format(const TStoreFile& F) {
    std::string Out;
    for (const auto& S : F.Sections) {
        Out += "[" + S.Key + "]\n";
        for (const auto& V : S.Values) {
            Out += V.Name + "=";
            Out += V.Kind == TKind::Sz ? "sz:" + Escape(V.Text) : "dword:" + std::to_string(V.Number);
            Out += "\n";
        }
        Out += "\n";
    }
    return Out;
}

bool MakeFolders(const std::string& Path) {
    for (size_t Pos = 1; Pos <= Path.size(); ++Pos) {
        if (Pos < Path.size() && Path[Pos] != '/') continue;
        std::string Part = Path.substr(0, Pos);
        if (mkdir(Part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

} // namespace

struct TRegistry::Impl {
    TRootKey Root;
    std::string Key;  // "" while no key is open
    bool Open = false;

    std::string FilePath() const {
        return StoreFolder() + (Root == TRootKey::HKEY_LOCAL_MACHINE ? "/machine.ini" : "/user.ini");
    }

    // Missing file: an empty store. Unreadable or malformed: nullopt.
    std::optional<TStoreFile> Load() const {
        struct stat St;
        if (stat(FilePath().c_str(), &St) != 0) {
            if (errno == ENOENT) return TStoreFile{};
            return std::nullopt;
        }
        // A few settings fill a few hundred bytes: anything huge is not ours.
        if (!S_ISREG(St.st_mode) || St.st_size > MaxStoreBytes) return std::nullopt;
        std::ifstream In(FilePath(), std::ios::binary);
        if (!In) return std::nullopt;
        std::ostringstream Text;
        Text << In.rdbuf();
        if (In.bad()) return std::nullopt;
        return Parse(Text.str());
    }

    // A new file renamed over the old: a crash leaves the old store or the new, never half of one.
    void Save(const TStoreFile& F) const {
        const std::string Folder = StoreFolder();
        if (!MakeFolders(Folder)) throw ERegistryException("Failed to create the settings folder " + Folder);
        std::string Temp = FilePath() + ".XXXXXX";
        int Fd = mkstemp(Temp.data());
        if (Fd < 0) throw ERegistryException("Failed to write the settings store " + FilePath());
        const std::string Text = Format(F);
        bool Ok = true;
        for (size_t Done = 0; Ok && Done < Text.size();) {
            ssize_t W = write(Fd, Text.data() + Done, Text.size() - Done);
            if (W < 0 && errno == EINTR) continue;
            Ok = W > 0;
            if (Ok) Done += size_t(W);
        }
        Ok = Ok && fchmod(Fd, 0600) == 0;
        // The elevated copy runs as root on the user's store: what it writes
        // stays the user's (the old file's owner, else the folder's), or the
        // next ordinary start could not read its settings.
        struct stat Owner;
        if (Ok && geteuid() == 0 &&
            (stat(FilePath().c_str(), &Owner) == 0 || stat(Folder.c_str(), &Owner) == 0))
            Ok = fchown(Fd, Owner.st_uid, Owner.st_gid) == 0;
        Ok = Ok && fsync(Fd) == 0;
        Ok = close(Fd) == 0 && Ok;
        if (!Ok || rename(Temp.c_str(), FilePath().c_str()) != 0) {
            unlink(Temp.c_str());
            throw ERegistryException("Failed to write the settings store " + FilePath());
        }
    }

    TStoreFile LoadForWrite(const std::string& Name) const {
        if (!Open) throw ERegistryException("Failed to set data for '" + Name + "'");
        auto F = Load();
        if (!F) throw ERegistryException("Failed to set data for '" + Name + "'");
        return *F;
    }

    std::optional<TValue> Find(const std::string& Name) const {
        if (!Open) return std::nullopt;
        auto F = Load();
        if (!F) return std::nullopt;
        TSection* S = F->Find(Key);
        if (!S) return std::nullopt;
        for (const auto& V : S->Values)
            if (SameName(V.Name, Name)) return V;
        return std::nullopt;
    }

    void Put(const TValue& V) {
        // A name that would break the line format is refused rather than stored half.
        if (V.Name.empty() || V.Name.find_first_of("=\r\n") != std::string::npos ||
            V.Name[0] == '[' || V.Name[0] == ';' || V.Name[0] == '#')
            throw ERegistryException("Failed to set data for '" + V.Name + "'");
        TStoreFile F = LoadForWrite(V.Name);
        TSection* S = F.Find(Key);
        if (!S) {
            F.Sections.push_back({Key, {}});
            S = &F.Sections.back();
        }
        for (auto& Old : S->Values)
            if (SameName(Old.Name, V.Name)) {
                Old.Kind = V.Kind;
                Old.Text = V.Text;
                Old.Number = V.Number;
                Save(F);
                return;
            }
        S->Values.push_back(V);
        Save(F);
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
        F->Sections.push_back({K, {}});
        try {
            FImpl->Save(*F);
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
    auto F = FImpl->Load();
    if (!F) return false;
    TSection* S = F->Find(FImpl->Key);
    if (!S) return false;
    for (auto It = S->Values.begin(); It != S->Values.end(); ++It)
        if (SameName(It->Name, Name)) {
            S->Values.erase(It);
            try {
                FImpl->Save(*F);
            } catch (const ERegistryException&) {
                return false;
            }
            return true;
        }
    return false;
}

void TRegistry::SetStoreFolder(const std::string& Folder) { StoreOverride() = Folder; }

std::string TRegistry::StoreFolder() {
    if (!StoreOverride().empty()) return StoreOverride();
    const char* Config = std::getenv("XDG_CONFIG_HOME");
    if (Config && *Config == '/') return std::string(Config) + "/corvane";
    const char* Home = std::getenv("HOME");
    return std::string(Home && *Home ? Home : ".") + "/.config/corvane";
}

} // namespace plat
