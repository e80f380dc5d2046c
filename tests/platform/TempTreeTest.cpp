// The fixture other tests build on: what it makes and that it cleans up
// without reaching outside its folder.
#include "common/TempTree.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using corvane_test::TempTree;

TEST(TempTree, MakesWhatItIsAskedFor) {
    TempTree T;
    T.File("a/b/c.txt", {.Content = "abc"});
    T.File("pattern", {.Content = "xyz", .Size = 8});
    T.File("sparse", {.Size = 3ull << 30});
    T.File("dated", {.Content = "d", .Mode = 0440, .MTime = 1000000000, .MTimeNs = 250});
    EXPECT_EQ(T.Read("a/b/c.txt"), "abc");
    EXPECT_EQ(T.Read("pattern"), "xyzxyzxy");
    struct stat St;
    ASSERT_EQ(stat(T.Path("sparse").c_str(), &St), 0);
    EXPECT_EQ(uint64_t(St.st_size), 3ull << 30);
    ASSERT_EQ(stat(T.Path("dated").c_str(), &St), 0);
    EXPECT_EQ(St.st_mode & 07777, 0440u);
    EXPECT_EQ(St.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(St.st_mtim.tv_nsec, 250);
    T.Link("l", "a");
    ASSERT_EQ(lstat(T.Path("l").c_str(), &St), 0);
    EXPECT_TRUE(S_ISLNK(St.st_mode));
    T.Fifo("p");
    ASSERT_EQ(lstat(T.Path("p").c_str(), &St), 0);
    EXPECT_TRUE(S_ISFIFO(St.st_mode));
    EXPECT_THROW(T.File("dated/under-a-file"), std::runtime_error);
}

TEST(TempTree, RemovesLockedPartsButNothingOutside) {
    TempTree Outside;
    Outside.File("keep/me.txt", {.Content = "safe"});
    std::string Root;
    {
        TempTree T;
        Root = T.Root();
        T.File("locked/inner/f", {.Content = "x", .Mode = 0400});
        T.Dir("locked/inner", {.Mode = 0});
        T.Dir("locked", {.Mode = 0500});
        T.Link("to-outside", Outside.Path("keep"));
        T.Link("locked-link", Outside.Path("keep/me.txt"));
    }
    struct stat St;
    EXPECT_NE(lstat(Root.c_str(), &St), 0);
    EXPECT_EQ(Outside.Read("keep/me.txt"), "safe");
}

} // namespace
