// The shredder list's order and which chosen files "Add Files" takes.
#include <gtest/gtest.h>

#include "finder/core/EraseList.h"

using namespace finder;

namespace {

std::vector<std::string> Captions(const std::vector<TEraseItem>& Items, const std::vector<size_t>& Order) {
    std::vector<std::string> Out;
    for (size_t I : Order) Out.push_back(Items[I].Caption);
    return Out;
}

} // namespace

TEST(EraseListOrder, TypePutsFilesBeforeFoldersAndASecondClickKeepsTheOrder) {
    const std::vector<TEraseItem> Items = {
        {"/z", "Folder"}, {"/b", "File"}, {"/a", "Folder"}, {"/a", "File"}};
    const std::vector<size_t> Order = SortEraseItems(Items, 1);
    EXPECT_EQ(Captions(Items, Order), (std::vector<std::string>{"/b", "/a", "/z", "/a"}));
    std::vector<TEraseItem> Sorted;
    for (size_t I : Order) Sorted.push_back(Items[I]);
    EXPECT_EQ(Captions(Sorted, SortEraseItems(Sorted, 1)), Captions(Items, Order));
}

TEST(EraseListOrder, PathsCompareWithoutCaseAsUpperCaseAscii) {
    // "_" lies above the capitals and below the small letters: "a" counts as "A".
    const std::vector<TEraseItem> Items = {{"/b", "File"}, {"/A", "File"}, {"/_x", "File"}, {"/a", "Folder"}};
    EXPECT_EQ(Captions(Items, SortEraseItems(Items, 0)), (std::vector<std::string>{"/A", "/a", "/b", "/_x"}));
    EXPECT_LT(CompareText("ab", "ABC"), 0);
    EXPECT_EQ(CompareText("\xC3\xA9", "\xC3\xA9"), 0);
    EXPECT_NE(CompareText("\xC3\xA9", "\xC3\x89"), 0);  // only ASCII letters fold
}

TEST(EraseListAddFiles, SameFileMeansTheExactPath) {
    const std::vector<TEraseItem> Listed = {{"/a/File", "File"}, {"/a/dir", "Folder"}};
    EXPECT_EQ(FilesToAdd(Listed, {"/a/file", "/a/File", "/a/dir", "/a/file"}),
              (std::vector<std::string>{"/a/file", "/a/dir"}));
}
