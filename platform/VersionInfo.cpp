#include "platform/VersionInfo.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

namespace {

constexpr uint64_t MaxNameTable = 1u << 20;
constexpr uint64_t MaxStamp = 256;
constexpr uint64_t MaxSections = 1u << 16;

class TFile {
public:
    explicit TFile(const std::string& Name) {
        // O_NONBLOCK: a FIFO given by mistake must not hang the start.
        FFd = open(Name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        struct stat St;
        if (FFd >= 0 && fstat(FFd, &St) == 0 && S_ISREG(St.st_mode)) FSize = uint64_t(St.st_size);
    }
    ~TFile() {
        if (FFd >= 0) close(FFd);
    }
    // True only when [Offset, Offset+N) lies inside the file and was read whole.
    bool Read(uint64_t Offset, void* Out, uint64_t N) const {
        if (FFd < 0 || Offset > FSize || N > FSize - Offset) return false;
        auto* P = static_cast<char*>(Out);
        while (N > 0) {
            ssize_t R = pread(FFd, P, size_t(N), off_t(Offset));
            if (R <= 0) return false;
            P += R;
            Offset += uint64_t(R);
            N -= uint64_t(R);
        }
        return true;
    }

private:
    int FFd = -1;
    uint64_t FSize = 0;
};

struct TElf {
    bool Is64 = false;
    bool Little = true;

    uint64_t Get(const unsigned char* P, int Bytes) const {
        uint64_t V = 0;
        for (int I = 0; I < Bytes; ++I) V |= uint64_t(P[Little ? I : Bytes - 1 - I]) << (8 * I);
        return V;
    }
};

struct TSectionHeader {
    uint64_t Name = 0, Type = 0, Offset = 0, Size = 0, Link = 0;
};

bool ReadSection(const TFile& F, const TElf& E, uint64_t ShOff, uint64_t EntSize, uint64_t Index,
                 TSectionHeader& H) {
    unsigned char B[64];
    const uint64_t Need = E.Is64 ? 64 : 40;
    if (EntSize < Need || Index > (UINT64_MAX - ShOff) / EntSize) return false;
    if (!F.Read(ShOff + Index * EntSize, B, Need)) return false;
    H.Name = E.Get(B, 4);
    H.Type = E.Get(B + 4, 4);
    if (E.Is64) {
        H.Offset = E.Get(B + 24, 8);
        H.Size = E.Get(B + 32, 8);
        H.Link = E.Get(B + 40, 4);
    } else {
        H.Offset = E.Get(B + 16, 4);
        H.Size = E.Get(B + 20, 4);
        H.Link = E.Get(B + 24, 4);
    }
    return true;
}

// Four numbers of at most five digits joined by points.
bool IsFourPartVersion(const std::string& S) {
    int Parts = 0, Digits = 0;
    for (char C : S) {
        if (C >= '0' && C <= '9') {
            if (++Digits > 5) return false;
        } else if (C == '.' && Digits > 0) {
            ++Parts;
            Digits = 0;
        } else {
            return false;
        }
    }
    return Digits > 0 && Parts == 3;
}

} // namespace

std::string ReadVersionStamp(const std::string& FileName) {
    TFile F(FileName);
    unsigned char H[64];
    if (!F.Read(0, H, 16) || std::memcmp(H, "\x7f" "ELF", 4) != 0) return "";
    TElf E;
    if (H[4] != 1 && H[4] != 2) return "";
    if (H[5] != 1 && H[5] != 2) return "";
    E.Is64 = H[4] == 2;
    E.Little = H[5] == 1;
    if (!F.Read(0, H, E.Is64 ? 64 : 52)) return "";

    const uint64_t ShOff = E.Is64 ? E.Get(H + 40, 8) : E.Get(H + 32, 4);
    const uint64_t EntSize = E.Get(H + (E.Is64 ? 58 : 46), 2);
    uint64_t Count = E.Get(H + (E.Is64 ? 60 : 48), 2);
    uint64_t StrIndex = E.Get(H + (E.Is64 ? 62 : 50), 2);
    if (ShOff == 0) return "";

    // Many sections: the real count and name-table index sit in section 0.
    if (Count == 0 || StrIndex == 0xffff) {
        TSectionHeader Zero;
        if (!ReadSection(F, E, ShOff, EntSize, 0, Zero)) return "";
        if (Count == 0) Count = Zero.Size;
        if (StrIndex == 0xffff) StrIndex = Zero.Link;
    }
    if (Count == 0 || Count > MaxSections || StrIndex >= Count) return "";

    TSectionHeader Names;
    if (!ReadSection(F, E, ShOff, EntSize, StrIndex, Names) || Names.Size > MaxNameTable) return "";
    std::vector<char> Table(size_t(Names.Size) + 1, '\0');
    if (!F.Read(Names.Offset, Table.data(), Names.Size)) return "";

    const std::string Wanted = VersionSectionName;
    for (uint64_t I = 1; I < Count; ++I) {
        TSectionHeader S;
        if (!ReadSection(F, E, ShOff, EntSize, I, S)) return "";
        if (S.Name >= Names.Size || std::strcmp(Table.data() + S.Name, Wanted.c_str()) != 0) continue;
        constexpr uint64_t SHT_NOBITS = 8;
        if (S.Type == SHT_NOBITS || S.Size == 0 || S.Size > MaxStamp) return "";
        char Text[MaxStamp + 1] = {};
        if (!F.Read(S.Offset, Text, S.Size)) return "";
        std::string Version(Text, strnlen(Text, size_t(S.Size)));
        return IsFourPartVersion(Version) ? Version : "";
    }
    return "";
}

} // namespace plat
