#include "platform/DirectoryReader.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

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

std::map<std::string, TWin32FindData> ByName(const std::vector<TWin32FindData>& List) {
    std::map<std::string, TWin32FindData> M;
    for (const auto& D : List) M[D.cFileName] = D;
    return M;
}

class DirectoryReaderTest : public corvane_test::TempTreeTest {};

TEST_F(DirectoryReaderTest, DotsFirstThenEveryEntryInNameOrder) {
    for (const char* Name : {"b.txt", "a.txt", "c", "Z.bin", "A.txt", "_x", "ab", "a", "\xC3\xA9t\xC3\xA9"})
        Tree.File(std::string("dir/") + Name);
    Tree.Dir("dir/sub");
    const auto List = ListAll(Tree.Path("dir/"));  // a trailing "/" is accepted
    EXPECT_TRUE(List.size() > 2 && List[0].IsDirectory() && List[1].IsDirectory());
    std::vector<std::string> Names;
    for (const auto& D : List) Names.push_back(D.cFileName);
    // Letters compared as capitals (so "_" comes after them), names equal
    // so far bytewise, other bytes as they are.
    EXPECT_EQ(Names, (std::vector<std::string>{".", "..", "a", "A.txt", "a.txt", "ab", "b.txt", "c", "sub", "Z.bin",
                                               "_x", "\xC3\xA9t\xC3\xA9"}));
}

struct TAttrCase {
    const char* Name;
    bool Dir;
    mode_t Mode;
    uint32_t Attributes;
};
class DirectoryAttributes : public DirectoryReaderTest, public ::testing::WithParamInterface<TAttrCase> {};

TEST_P(DirectoryAttributes, AttributeWordFromModeAndName) {
    const auto& C = GetParam();
    if (C.Dir)
        Tree.Dir(std::string("d/") + C.Name, {.Mode = C.Mode});
    else
        Tree.File(std::string("d/") + C.Name, {.Content = "x", .Mode = C.Mode});
    auto M = ByName(ListAll(Tree.Path("d")));
    ASSERT_EQ(M.count(C.Name), 1u);
    EXPECT_EQ(M[C.Name].dwFileAttributes, C.Attributes);
    TWin32FindData One;
    ASSERT_TRUE(StatEntry(Tree.Path(std::string("d/") + C.Name), One));
    EXPECT_EQ(One.dwFileAttributes, C.Attributes);
    EXPECT_EQ(One.cFileName, C.Name);
}
INSTANTIATE_TEST_SUITE_P(
    Table, DirectoryAttributes,
    ::testing::Values(TAttrCase{"plain.txt", false, 0644, FILE_ATTRIBUTE_ARCHIVE},
                      TAttrCase{"ro.txt", false, 0444, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY},
                      TAttrCase{"group-writable", false, 0464, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY},
                      TAttrCase{".hidden", false, 0644, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN},
                      TAttrCase{".both", false, 0400,
                                FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY},
                      TAttrCase{"folder", true, 0755, FILE_ATTRIBUTE_DIRECTORY},
                      TAttrCase{"ro-folder", true, 0555, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY},
                      TAttrCase{".git", true, 0700, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN}));

TEST_F(DirectoryReaderTest, LinksAndSpecialFilesAreNotListed) {
    Tree.File("d/real.txt", {.Content = "x"});
    Tree.Dir("d/folder");
    Tree.Link("d/to-file", "real.txt");
    Tree.Link("d/to-folder", "folder");
    Tree.Link("d/dangling", "nowhere");
    Tree.Fifo("d/pipe");
    auto M = ByName(ListAll(Tree.Path("d")));
    EXPECT_EQ(M.size(), 4u);  // ".", "..", real.txt, folder
    EXPECT_TRUE(M.count("real.txt") && M.count("folder"));
    TWin32FindData D;
    for (const char* Name : {"d/to-file", "d/to-folder", "d/dangling", "d/pipe", "d/missing"})
        EXPECT_FALSE(StatEntry(Tree.Path(Name), D)) << Name;
    // A folder reached through a link is not listed either.
    TDirectoryReader R;
    EXPECT_FALSE(R.FindFirst(Tree.Path("d/to-folder"), D));
    EXPECT_FALSE(R.FindFirst(Tree.Path("d/real.txt"), D));
    EXPECT_FALSE(R.FindFirst(Tree.Path("d/missing"), D));
    EXPECT_FALSE(R.FindNext(D));
}

TEST_F(DirectoryReaderTest, SizesStaySixtyFourBit) {
    Tree.File("d/five-gib", {.Size = (5ull << 30) + 7});
    Tree.File("d/four-gib", {.Size = 4ull << 30});
    Tree.File("d/small", {.Content = "12345"});
    auto M = ByName(ListAll(Tree.Path("d")));
    EXPECT_EQ(M["five-gib"].nFileSizeHigh, 1u);
    EXPECT_EQ(M["five-gib"].nFileSizeLow, (1u << 30) + 7);
    EXPECT_EQ(M["five-gib"].Size(), (5ull << 30) + 7);
    EXPECT_EQ(M["four-gib"].Size(), 4ull << 30);
    EXPECT_EQ(M["four-gib"].nFileSizeLow, 0u);
    EXPECT_EQ(M["small"].Size(), 5u);
}

TEST_F(DirectoryReaderTest, TimesAndIdentity) {
    // 2021-06-01 12:00:00.5 UTC
    Tree.File("d/f", {.Content = "x", .MTime = 1622548800, .MTimeNs = 500000000});
    auto M = ByName(ListAll(Tree.Path("d")));
    EXPECT_EQ(M["f"].ftLastWriteTime, 1622548800ull * 10000000ull + 5000000ull + 116444736000000000ull);
    EXPECT_NE(M["f"].ftCreationTime, 0u);
    struct stat St;
    ASSERT_EQ(stat(Tree.Path("d/f").c_str(), &St), 0);
    EXPECT_EQ(M["f"].Inode, uint64_t(St.st_ino));
    EXPECT_EQ(M["."].Inode, ByName(ListAll(Tree.Path("d")))["."].Inode);
    struct stat Dir;
    ASSERT_EQ(stat(Tree.Path("d").c_str(), &Dir), 0);
    EXPECT_EQ(M["."].Inode, uint64_t(Dir.st_ino));
    EXPECT_EQ(M[".."].Inode, uint64_t([&] {
                  struct stat Up;
                  stat(Tree.Root().c_str(), &Up);
                  return Up.st_ino;
              }()));
}

TEST(DirectoryReaderSystem, PseudoFileSystemMountsAreMarkedSystem) {
    struct stat Root, Proc;
    if (stat("/", &Root) != 0 || stat("/proc", &Proc) != 0 || Root.st_dev == Proc.st_dev)
        GTEST_SKIP() << "no separate /proc here";
    auto M = ByName(ListAll("/"));
    ASSERT_TRUE(M.count("proc"));
    EXPECT_TRUE(M["proc"].dwFileAttributes & FILE_ATTRIBUTE_SYSTEM);
    if (M.count("usr")) {
        EXPECT_FALSE(M["usr"].dwFileAttributes & FILE_ATTRIBUTE_SYSTEM);
    }
    EXPECT_EQ(M[".."].cFileName, "..");  // the root is its own parent
}

} // namespace
