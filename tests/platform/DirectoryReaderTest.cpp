#include "platform/DirectoryReader.h"

#include <gtest/gtest.h>

#include <map>

#include <sys/stat.h>

#include "common/TempTree.h"

namespace {

using namespace plat;

std::vector<TWin32FindData> ListAll(const std::string& Folder) {
    std::vector<TWin32FindData> Out;
    TDirectoryReader R;
    TWin32FindData D;
    if (!R.FindFirst(Folder, D)) return Out;
    do Out.push_back(D);
    while (R.FindNext(D));
    return Out;
}

std::map<std::string, TWin32FindData> ByName(const std::string& Folder) {
    std::map<std::string, TWin32FindData> M;
    for (const auto& D : ListAll(Folder)) M[D.cFileName] = D;
    return M;
}

class DirectoryReaderTest : public corvane_test::TempTreeTest {};

TEST_F(DirectoryReaderTest, DotsFirstThenEveryEntryInNameOrder) {
    for (const char* Name : {"b.txt", "a.txt", "c", "Z.bin", "A.txt", "_x", "ab", "a", "\xC3\xA9t\xC3\xA9"})
        Tree.File(std::string("dir/") + Name);
    Tree.Dir("dir/sub");
    std::vector<std::string> Names;
    for (const auto& D : ListAll(Tree.Path("dir/"))) Names.push_back(D.cFileName);  // a trailing "/" is accepted
    // Letters compared as capitals (so "_" comes after them), names equal
    // so far bytewise, other bytes as they are.
    EXPECT_EQ(Names, (std::vector<std::string>{".", "..", "a", "A.txt", "a.txt", "ab", "b.txt", "c", "sub", "Z.bin",
                                               "_x", "\xC3\xA9t\xC3\xA9"}));
}

// One folder of every kind of entry: the attribute word from the mode and
// the name, sizes of 64 bits, file times and identities; links and special
// files are neither listed nor looked up.
TEST_F(DirectoryReaderTest, EntriesOfAFolder) {
    const uint32_t A = FILE_ATTRIBUTE_ARCHIVE, R = FILE_ATTRIBUTE_READONLY, H = FILE_ATTRIBUTE_HIDDEN;
    const struct {
        const char* Name;
        mode_t Mode;
        uint32_t Attributes;  // of a file, a folder of that name has DIRECTORY for ARCHIVE
    } Cases[] = {{"plain", 0644, A}, {"ro", 0444, A | R}, {"group-writable", 0464, A | R}, {".hidden", 0644, A | H},
                 {".both", 0400, A | H | R}};
    for (const auto& C : Cases) {
        Tree.File(std::string("d/") + C.Name, {.Mode = C.Mode});
        Tree.Dir(std::string("d/") + C.Name + "-dir", {.Mode = C.Mode | 0100});
    }
    Tree.File("d/five-gib", {.Size = (5ull << 30) + 7});
    Tree.File("d/f", {.Content = "12345", .MTime = 1622548800, .MTimeNs = 500000000});  // 2021-06-01 12:00:00.5 UTC
    Tree.Link("d/to-file", "f");
    Tree.Link("d/to-folder", "plain-dir");
    Tree.Link("d/dangling", "nowhere");
    Tree.Fifo("d/pipe");
    auto M = ByName(Tree.Path("d"));
    EXPECT_EQ(M.size(), 14u);  // ".", "..", five files and folders, five-gib, f
    for (const auto& C : Cases)
        for (const std::string& Name : {std::string(C.Name), std::string(C.Name) + "-dir"}) {
            const uint32_t Want = Name.ends_with("-dir") ? (C.Attributes & ~A) | FILE_ATTRIBUTE_DIRECTORY : C.Attributes;
            TWin32FindData One;
            EXPECT_TRUE(StatEntry(Tree.Path("d/" + Name), One) && One.cFileName == Name) << Name;
            EXPECT_EQ(std::make_pair(M[Name].dwFileAttributes, One.dwFileAttributes), std::make_pair(Want, Want)) << Name;
        }
    EXPECT_EQ(M["five-gib"].Size(), (5ull << 30) + 7);
    EXPECT_EQ(M["f"].Size(), 5u);
    EXPECT_EQ(M["f"].ftLastWriteTime, 1622548800ull * 10000000ull + 5000000ull + 116444736000000000ull);
    for (const auto& [Name, Path] : {std::pair{"f", "d/f"}, std::pair{".", "d"}, std::pair{"..", ""}}) {
        struct stat St;
        EXPECT_TRUE(stat(Tree.Path(Path).c_str(), &St) == 0 && M[Name].Inode == St.st_ino) << Name;
    }
    TWin32FindData D;
    TDirectoryReader Reader;
    for (const char* Name : {"d/to-file", "d/to-folder", "d/dangling", "d/pipe", "d/missing"})
        EXPECT_FALSE(StatEntry(Tree.Path(Name), D) || Reader.FindFirst(Tree.Path(Name), D)) << Name;
    EXPECT_FALSE(Reader.FindFirst(Tree.Path("d/f"), D) || Reader.FindNext(D));  // a file is no folder
}

// A pseudo file system mounted on a folder is marked system, so that nothing enters it.
TEST(DirectoryReaderSystem, PseudoFileSystemMountsAreMarkedSystem) {
    struct stat Root, Proc;
    if (stat("/", &Root) || stat("/proc", &Proc) || Root.st_dev == Proc.st_dev) GTEST_SKIP() << "no separate /proc";
    auto M = ByName("/");
    EXPECT_TRUE(M["proc"].dwFileAttributes & FILE_ATTRIBUTE_SYSTEM);
    EXPECT_FALSE(M.count("usr") && (M["usr"].dwFileAttributes & FILE_ATTRIBUTE_SYSTEM));
}

} // namespace
