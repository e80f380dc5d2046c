#pragma once
// Shared helpers of the scanning core's tests.
#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "finder/core/MatchingUnit.h"
#include "finder/core/ScanCore.h"
#include "tests/common/TempTree.h"

namespace core_test {

inline uint32_t Crc(const std::string& S) {
    return ~finder::UpdateChecksum(0xFFFFFFFFu, reinterpret_cast<const unsigned char*>(S.data()), S.size());
}

// S followed by its own CRC-32, low byte first: every such text has the
// same CRC-32 (the standard's residue), so any two of one length collide.
inline std::string WithCrc(std::string S) {
    const uint32_t C = Crc(S);
    for (int I = 0; I < 4; ++I) S += char(C >> (8 * I));
    return S;
}

// A directory entry as the reader gives it, for a file that need not exist.
inline plat::TWin32FindData Entry(const std::string& Name, uint64_t Size, uint64_t WriteTime = 1000,
                                  uint32_t Attributes = 32) {
    plat::TWin32FindData D;
    D.cFileName = Name;
    D.nFileSizeLow = uint32_t(Size);
    D.nFileSizeHigh = uint32_t(Size >> 32);
    D.ftLastWriteTime = WriteTime;
    D.ftCreationTime = WriteTime;
    D.dwFileAttributes = Attributes;
    return D;
}

// Feeds entries as the walk does: match, then open a group when unmatched.
struct Feeder {
    finder::TGroupList Groups;
    uint8_t RunState = finder::rsRunning;
    std::function<void()> Pump;
    finder::TRunControl Run{RunState, [this] { if (Pump) Pump(); }, std::chrono::milliseconds(0)};
    finder::TMatchOptions Options;
    finder::TMatchHooks Hooks;
    std::unique_ptr<finder::TMatcher> Matcher;

    finder::TMatcher& M() {
        if (!Matcher) Matcher = std::make_unique<finder::TMatcher>(Groups, Options, Run, Hooks);
        return *Matcher;
    }
    // Returns whether the entry was still unmatched after matching.
    bool Feed(const std::string& Folder, const plat::TWin32FindData& D) {
        const finder::TFolderText F(Folder);
        bool Unmatched = true;
        M().MatchIntoGroup(Unmatched, F, D.cFileName, D);
        if (Unmatched && D.cFileName.find('.') != std::string::npos &&
            finder::PassesFileFilter(Options.Filter, D.cFileName, int64_t(D.Size())))
            M().NewGroup(F, D.cFileName, D);
        return Unmatched;
    }
    // A real file of the tree, its entry from the directory reader.
    bool FeedFile(const std::string& Path) {
        plat::TWin32FindData D;
        EXPECT_TRUE(plat::StatEntry(Path, D)) << Path;
        D.cFileName = Path.substr(Path.rfind('/') + 1);
        return Feed(Path.substr(0, Path.rfind('/') + 1), D);
    }
};

// Member paths of every group, in order ("folder/name").
template <class G>
std::vector<std::string> MemberPaths(const finder::TGroupRecord& Group) {
    std::vector<std::string> Out;
    for (const auto& F : static_cast<const G&>(Group).Files) Out.push_back(F.Folder + F.Name);
    return Out;
}

// Every group with at least MinCount members as "[a b][c]": members in
// order, each as its folder (same-name groups) or path, Root cut off.
inline std::string Shape(const finder::TGroupList& Groups, const std::string& Root = "", int MinCount = 1) {
    std::string S;
    auto Add = [&](const std::string& P) { S += (P.rfind(Root, 0) == 0 ? P.substr(Root.size()) : P) + ' '; };
    for (const auto& G : Groups) {
        if (G->Count < MinCount) continue;
        S += '[';
        if (G->Kind() == finder::TGroupKind::SameName)
            for (const auto& F : static_cast<const finder::TSearchStat&>(*G).Files) Add(F.Folder.str());
        else if (G->Kind() == finder::TGroupKind::SimilarPicture)
            for (const auto& P : MemberPaths<finder::TSearchSimilar>(*G)) Add(P);
        else if (G->Kind() == finder::TGroupKind::SongTitle)
            for (const auto& P : MemberPaths<finder::TSearchStatID3>(*G)) Add(P);
        else
            for (const auto& P : MemberPaths<finder::TSearchStatBye>(*G)) Add(P);
        S.back() = ']';
    }
    return S;
}

// A table row's label as a test name: "read-only file" reads "read_only_file".
inline std::string RowName(std::string Label) {
    for (char& C : Label)
        if (!std::isalnum(static_cast<unsigned char>(C))) C = '_';
    return Label;
}

// Runs a whole scan over places given in order.
inline finder::TScanOutcome Scan(finder::TScanOptions Options, finder::TGroupList& Groups, uint8_t& RunState,
                                 std::function<void()> Pump = {}, finder::TMatchHooks Hooks = {}) {
    RunState = finder::rsRunning;
    finder::TScanRun R(Options, RunState, Groups, {std::move(Pump), {}}, std::move(Hooks));
    return R.Run();
}

} // namespace core_test
