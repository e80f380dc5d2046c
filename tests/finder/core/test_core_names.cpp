// The same-name scan reads a file's size and dates only once a second file
// of its name turns up: the groups must come out exactly as when every
// entry is read in full, and a file that goes away meanwhile is never listed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <tuple>

#include "finder/core/ScanCore.h"
#include "tests/finder/core/CoreTestSupport.h"

using namespace finder;
using namespace core_test;
using corvane_test::TempTree;

namespace {

// Everything a listed group holds, member by member, in order.
using TMemberFields = std::tuple<std::string, int64_t, TDateTime, TDateTime, uint64_t, bool>;
using TGroupFields = std::pair<std::string, std::vector<TMemberFields>>;

std::vector<TGroupFields> Listed(const TGroupList& Groups)
{
    std::vector<TGroupFields> Out;
    for (const auto& Group : Groups) {
        if (Group->Count < 2) continue;
        const auto& G = static_cast<const TSearchStat&>(*Group);
        EXPECT_EQ(size_t(G.Count), G.Files.size());
        TGroupFields F{G.Name, {}};
        for (const TScanResult& M : G.Files)
            F.second.emplace_back(M.Folder.str(), M.Size, M.Modified, M.Created, M.WriteTime, M.Unread);
        Out.push_back(std::move(F));
    }
    return Out;
}

struct TNameCase {
    const char* Label;
    bool SameSize, SameDate;
};

void PrintTo(const TNameCase& C, std::ostream* Os) { *Os << C.Label; }

class DeferredNames : public ::testing::TestWithParam<TNameCase> {};

TEST_P(DeferredNames, GroupsEqualThoseOfAFullRead)
{
    TempTree Tree;
    // Same names across folders with sizes and dates that agree or not.
    Tree.File("a/x.txt", {.Content = "12345", .MTime = 1600000000});
    Tree.File("a/y.doc", {.Content = "1", .MTime = 1600000500});
    Tree.File("a/solo.txt", {.Content = "solo"});
    Tree.File("a/.hidden.txt", {.Content = "h", .MTime = 1600000000});
    Tree.File("a/b/x.txt", {.Content = "54321", .MTime = 1600000000});
    Tree.File("a/b/y.doc", {.Content = "22", .MTime = 1600000500});
    Tree.File("a/b/noext", {.Content = "n"});
    Tree.File("a/b/c/x.txt", {.Content = "123", .Mode = 0444, .MTime = 1600000000, .MTimeNs = 700000000});
    Tree.File("a/b/c/.hidden.txt", {.Content = "h", .MTime = 1600000000});
    Tree.File("a/b/c/noext", {.Content = "n"});
    Tree.File("d/y.doc", {.Content = "1", .MTime = 1700000000});
    Tree.File("d/x.txt", {.Content = "12345", .MTime = 1600000000});

    auto RunWith = [&](bool ReadSizes) {
        TScanOptions O;
        O.PumpIntervalMs = 0;
        O.Match.Kind = TScanKind::FileName;
        O.Match.SameSize = GetParam().SameSize;
        O.Match.SameDate = GetParam().SameDate;
        // Skipping empty files (there are none) makes the filter look at
        // sizes, so that every entry is read in full.
        O.Match.Filter.SkipZero = ReadSizes;
        O.Places = {{Tree.Path("a"), false}, {Tree.Path("d"), false}};
        TGroupList Groups;
        uint8_t RunState = rsRunning;
        EXPECT_FALSE(Scan(O, Groups, RunState).Failed);
        return Listed(Groups);
    };
    const auto Full = RunWith(true);
    EXPECT_FALSE(Full.empty());
    EXPECT_EQ(RunWith(false), Full);
}

INSTANTIATE_TEST_SUITE_P(Options, DeferredNames,
                         ::testing::Values(TNameCase{"Plain", false, false}, TNameCase{"SameSize", true, false},
                                           TNameCase{"SameDate", false, true}, TNameCase{"Both", true, true}),
                         [](const auto& Info) { return std::string(Info.param.Label); });

// An entry as the reader lists it when reads are deferred.
plat::TWin32FindData NameOnly(const std::string& Name)
{
    plat::TWin32FindData D;
    D.cFileName = Name;
    D.dwFileAttributes = plat::FILE_ATTRIBUTE_ARCHIVE;
    D.Stated = false;
    return D;
}

TEST(DeferredNameGroups, AFirstFileThatHasGoneIsReplacedByTheNextOfItsName)
{
    TempTree Tree;
    Tree.File("a/x.txt", {.Content = "a"});
    Tree.File("b/x.txt", {.Content = "bb", .MTime = 1600000000});
    Tree.File("c/x.txt", {.Content = "ccc"});
    Feeder F;
    F.Options.Kind = TScanKind::FileName;
    EXPECT_TRUE(F.Feed(Tree.Path("a/"), NameOnly("x.txt")));
    ASSERT_EQ(F.Groups.size(), 1u);
    const auto& G = static_cast<const TSearchStat&>(*F.Groups[0]);
    EXPECT_TRUE(G.Files[0].Unread);
    ASSERT_EQ(::unlink(Tree.Path("a/x.txt").c_str()), 0);

    EXPECT_FALSE(F.Feed(Tree.Path("b/"), NameOnly("x.txt")));
    ASSERT_EQ(G.Files.size(), 1u);
    EXPECT_EQ(G.Count, 1);
    EXPECT_EQ(G.Files[0].Folder.str(), Tree.Path("b/"));
    EXPECT_FALSE(G.Files[0].Unread);
    EXPECT_EQ(G.Files[0].Size, 2);
    EXPECT_EQ(G.Files[0].Modified, plat::FileTimeToLocalDateTime(plat::TimespecToFileTime({1600000000, 0})));

    EXPECT_FALSE(F.Feed(Tree.Path("c/"), NameOnly("x.txt")));
    EXPECT_EQ(G.Count, 2);
    ASSERT_EQ(G.Files.size(), 2u);
    EXPECT_EQ(G.Files[1].Size, 3);
    EXPECT_EQ(F.M().DuplicateGroups(), 1);
    EXPECT_EQ(F.M().DuplicateFiles(), 2);
}

TEST(DeferredNameGroups, AJoiningFileThatHasGoneIsDropped)
{
    TempTree Tree;
    Tree.File("a/x.txt", {.Content = "a"});
    Tree.Dir("b");
    Tree.Dir("c/x.txt");  // a folder has taken the file's place
    Feeder F;
    F.Options.Kind = TScanKind::FileName;
    F.Feed(Tree.Path("a/"), NameOnly("x.txt"));
    for (const char* Folder : {"b/", "c/"}) {
        EXPECT_FALSE(F.Feed(Tree.Path(Folder), NameOnly("x.txt"))) << Folder;
        EXPECT_EQ(F.Groups.size(), 1u);
        EXPECT_EQ(F.Groups[0]->Count, 1);
    }
    // The first file stays unread: nothing joined it.
    EXPECT_TRUE(static_cast<const TSearchStat&>(*F.Groups[0]).Files[0].Unread);
}

TEST(DeferredNameGroups, OtherKindsAndSizeFiltersReadTheEntryAtOnce)
{
    TempTree Tree;
    Tree.File("a/x.txt", {.Content = "same"});
    Tree.File("b/x.txt", {.Content = "same"});
    Tree.File("a/tiny.txt", {.Content = "t"});
    {
        Feeder F;
        F.Options.Kind = TScanKind::FileBye;
        F.Feed(Tree.Path("a/"), NameOnly("x.txt"));
        F.Feed(Tree.Path("b/"), NameOnly("x.txt"));
        ASSERT_EQ(F.Groups.size(), 1u);
        const auto& G = static_cast<const TSearchStatBye&>(*F.Groups[0]);
        EXPECT_EQ(G.Count, 2);
        EXPECT_EQ(G.Size, 4);
    }
    {
        // Handed over by name alone despite a size filter: the real size counts.
        Feeder F;
        F.Options.Kind = TScanKind::FileName;
        F.Options.Filter.BasicType = TBasicType::Zero;  // only empty files pass
        F.Feed(Tree.Path("a/"), NameOnly("tiny.txt"));
        EXPECT_TRUE(F.Groups.empty());
    }
    {
        // A size filter in a same-name scan sees every file's real size.
        Tree.File("a/big.txt", {.Size = 2048});
        Tree.File("b/big.txt", {.Size = 2048});
        Tree.File("c/big.txt", {.Size = 10});
        TScanOptions O;
        O.PumpIntervalMs = 0;
        O.Match.Kind = TScanKind::FileName;
        O.Match.Filter.SizeLimit = true;
        O.Match.Filter.SizeLimitKB = 1;
        O.Places = {{Tree.Path("a"), false}, {Tree.Path("b"), false}, {Tree.Path("c"), false}};
        TGroupList Groups;
        uint8_t RunState = rsRunning;
        Scan(O, Groups, RunState);
        const auto L = Listed(Groups);
        ASSERT_EQ(L.size(), 1u);
        EXPECT_EQ(L[0].first, "big.txt");
        EXPECT_EQ(L[0].second.size(), 2u);
    }
}

TEST(DeferredNameGroups, TheReaderListsFilesByNameAndReadsThemLikeAFullListing)
{
    TempTree Tree;
    Tree.File("f/one.txt", {.Content = "12345", .MTime = 1600000000, .MTimeNs = 123456700});
    Tree.File("f/.two", {.Content = "2", .Mode = 0444});
    Tree.Dir("f/sub");
    Tree.Link("f/link.txt", "one.txt");

    auto List = [&](bool Defer) {
        std::vector<plat::TWin32FindData> Out;
        plat::TDirectoryReader R;
        R.DeferFileStat(Defer);
        plat::TWin32FindData D;
        if (!R.FindFirst(Tree.Path("f"), D)) return Out;
        do {
            if (Defer && !D.Stated) {
                EXPECT_FALSE(D.IsDirectory());
                EXPECT_EQ(D.Size(), 0u);
                EXPECT_TRUE(R.StatDeferred(D));
                EXPECT_TRUE(D.Stated);
            }
            Out.push_back(D);
        } while (R.FindNext(D));
        return Out;
    };
    const auto Full = List(false), Deferred = List(true);
    ASSERT_EQ(Full.size(), 5u);  // ".", "..", two files and the folder; no link
    ASSERT_EQ(Deferred.size(), Full.size());
    for (size_t I = 0; I < Full.size(); ++I) {
        SCOPED_TRACE(Full[I].cFileName);
        EXPECT_EQ(Deferred[I].cFileName, Full[I].cFileName);
        EXPECT_EQ(Deferred[I].dwFileAttributes, Full[I].dwFileAttributes);
        EXPECT_EQ(Deferred[I].Size(), Full[I].Size());
        EXPECT_EQ(Deferred[I].ftLastWriteTime, Full[I].ftLastWriteTime);
        EXPECT_EQ(Deferred[I].ftCreationTime, Full[I].ftCreationTime);
        EXPECT_EQ(Deferred[I].Inode, Full[I].Inode);
        EXPECT_EQ(Deferred[I].Device, Full[I].Device);
    }
}

TEST(NameIndex, GrowingKeepsTheFirstGroupOfEveryName)
{
    // Enough names to make the index grow several times.
    Feeder F;
    F.Options.Kind = TScanKind::FileName;
    constexpr int Names = 5000;
    for (int Pass = 0; Pass < 2; ++Pass)
        for (int I = 0; I < Names; ++I)
            F.Feed(Pass == 0 ? "/one/" : "/two/", Entry("n" + std::to_string(I) + ".txt", 1));
    ASSERT_EQ(F.Groups.size(), size_t(Names));
    for (int I = 0; I < Names; ++I) {
        const auto& G = static_cast<const TSearchStat&>(*F.Groups[size_t(I)]);
        ASSERT_EQ(G.Name, "n" + std::to_string(I) + ".txt");
        ASSERT_EQ(G.Count, 2) << G.Name;
        EXPECT_EQ(G.Files[1].Folder.str(), "/two/");
    }
    EXPECT_EQ(F.M().DuplicateGroups(), Names);
}

} // namespace
