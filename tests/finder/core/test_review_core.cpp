// A second look at the scanning core: the indexed matching set against a
// plain first-group-in-opening-order reference on random inputs, on both
// roads (everything on the calling thread, or read ahead by worker threads),
// the walk under a small open-file limit, and row texts.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "finder/core/MatchAhead.h"
#include "finder/core/MatchingUnit.h"
#include "finder/core/DeleteCore.h"
#include "finder/core/FileWipe.h"
#include "finder/core/ResultRows.h"
#include "finder/core/ScanCore.h"
#include "tests/finder/core/CoreTestSupport.h"

using namespace finder;
using namespace core_test;
using corvane_test::TempTree;

namespace {

// One group of the reference: its members' paths, the first one opening it.
struct RefGroup {
    std::vector<std::string> Paths;
    int64_t Size = 0;
    uint64_t WriteTime = 0;
    std::string Key;  // content, title or name of the first member
};

template <class G>
std::vector<std::vector<std::string>> Memberships(const TGroupList& Groups)
{
    std::vector<std::vector<std::string>> Out;
    for (const auto& Group : Groups) Out.push_back(MemberPaths<G>(*Group));
    return Out;
}

std::vector<std::vector<std::string>> Memberships(const std::vector<RefGroup>& Groups)
{
    std::vector<std::vector<std::string>> Out;
    for (const auto& G : Groups) Out.push_back(G.Paths);
    return Out;
}

// The two roads to the same groups.
enum class TRoad { Plain, Ahead };

const char* RoadName(TRoad R) { return R == TRoad::Plain ? "Plain" : "Ahead"; }

struct Fed {
    std::string Folder;
    plat::TWin32FindData Data;
};

// Matches the entries in the order given: one by one on this thread, or
// handed over by another thread while the pool reads ahead.
void MatchAll(TRoad Road, std::vector<Fed>& Entries, Feeder& F)
{
    if (Road == TRoad::Plain) {
        for (const Fed& E : Entries) F.Feed(E.Folder, E.Data);
        return;
    }
    TWorkPool Pool(3);
    TMatchAhead Ahead(F.M(), Pool, F.Options, F.Run);
    std::thread Hand([&] {
        for (Fed& E : Entries) {
            TAheadEntry A;
            A.Folder = TFolderText(E.Folder);
            A.Data = &E.Data;
            if (!Ahead.Push(std::move(A))) break;
        }
        Ahead.Finish();
    });
    Ahead.Consume([&](const TAheadEntry& A) { F.Feed(A.Folder.str(), *A.Data); }, [](const std::string&) {});
    Pool.Cancel();
    Hand.join();
    Pool.Close();
}

std::string Pattern(size_t Size, unsigned Seed)
{
    std::string S(Size, '\0');
    for (size_t I = 0; I < Size; ++I) S[I] = char((I * 131 + Seed * 17 + (I >> 7)) & 0xFF);
    return S;
}

} // namespace

// ---------------------------------------------------------------------------
// Same content: whatever the size and first-block indexes do, the result must
// be "the first group, in opening order, whose first file has the entry's
// bytes", also among files of one checksum; unreadable files are nobody's
// duplicate; "Same date" drops.

struct ContentRound {
    unsigned Seed;
    bool SameDate;
};

class ContentAgainstReference : public ::testing::TestWithParam<std::tuple<ContentRound, TRoad>> {};

TEST_P(ContentAgainstReference, FirstGroupWithEqualBytes)
{
    const ContentRound R = std::get<0>(GetParam());
    std::mt19937 Rng(R.Seed);
    TempTree T;
    Feeder F;
    F.Options.Kind = TScanKind::FileBye;
    F.Options.SameDate = R.SameDate;

    // Few sizes around the first-block edge, few variants per size: many
    // groups share a size, and many a first block.
    const std::vector<size_t> Sizes = {0, 7, 4096, 4097, 9000};
    struct FileSpec {
        std::string Path, Content;
        uint64_t WriteTime;
        bool Unreadable;
    };
    std::vector<FileSpec> Files;
    for (int I = 0; I < 70; ++I) {
        const size_t Size = Sizes[Rng() % Sizes.size()];
        std::string Content = Pattern(Size, 1);
        if (Size > 0) {
            switch (Rng() % 6) {
            case 0: break;
            case 1: Content.back() ^= 1; break;                       // differs at the end
            case 2: Content[0] ^= 1; break;                           // differs at once
            case 3: Content[std::min<size_t>(Size - 1, 4100)] ^= 2; break;  // after the first block
            // Texts followed by their own checksum all share one checksum.
            case 4: Content = WithCrc(Content.substr(0, Size - 4)); break;
            case 5:
                Content[std::min<size_t>(Size - 5, 4100)] ^= 4;
                Content = WithCrc(Content.substr(0, Size - 4));
                break;
            }
        }
        const bool Dot = Rng() % 8 != 0;
        const std::string Rel = "d" + std::to_string(Rng() % 5) + "/f" + std::to_string(I) + (Dot ? ".bin" : "");
        const time_t MTime = 1600000000 + time_t(Rng() % 2) * 100;
        const std::string P = T.File(Rel, {.Content = Content, .MTime = MTime});
        plat::TWin32FindData D;
        ASSERT_TRUE(plat::StatEntry(P, D));
        Files.push_back({P, Content, D.ftLastWriteTime, Rng() % 10 == 0});
    }
    std::set<std::string> Unreadable;
    for (const auto& S : Files)
        if (S.Unreadable) Unreadable.insert(S.Path);
    F.Hooks.OpenForRead = [&](const std::string& P) {
        return Unreadable.count(P) ? -1 : ::open(P.c_str(), O_RDONLY | O_CLOEXEC);
    };

    std::vector<RefGroup> Ref;
    std::vector<Fed> Entries;
    for (const FileSpec& S : Files) {
        plat::TWin32FindData D;
        ASSERT_TRUE(plat::StatEntry(S.Path, D));
        Entries.push_back({S.Path.substr(0, S.Path.rfind('/') + 1), D});
        bool Taken = false;
        for (RefGroup& G : Ref) {
            if (G.Size != int64_t(S.Content.size())) continue;
            if (S.Unreadable || Unreadable.count(G.Paths[0]) || G.Key != S.Content) continue;
            Taken = true;
            if (!R.SameDate || G.WriteTime == S.WriteTime) G.Paths.push_back(S.Path);
            break;
        }
        const std::string Name = S.Path.substr(S.Path.rfind('/') + 1);
        if (!Taken && Name.find('.') != std::string::npos)
            Ref.push_back({{S.Path}, int64_t(S.Content.size()), S.WriteTime, S.Content});
    }
    MatchAll(std::get<1>(GetParam()), Entries, F);
    EXPECT_EQ(Memberships<TSearchStatBye>(F.Groups), Memberships(Ref)) << "seed " << R.Seed;
    for (const auto& G : F.Groups) {
        const auto& B = static_cast<const TSearchStatBye&>(*G);
        EXPECT_EQ(B.Count, int32_t(B.Files.size()));
        EXPECT_EQ(B.TotalSize(), B.Size() * B.Count);
    }
}

// A file changed between the walk and its reading is not the file the walk
// saw: it is nobody's duplicate, even when it now has another file's bytes.
class ChangedSinceTheWalk : public ::testing::TestWithParam<TRoad> {};

TEST_P(ChangedSinceTheWalk, IsNobodysDuplicate)
{
    TempTree T;
    const std::string A = T.File("a.bin", {.Content = "same bytes", .MTime = 1600000000});
    const std::string B = T.File("b.bin", {.Content = "else bytes", .MTime = 1600000000});
    const std::string C = T.File("c.bin", {.Content = "same bytes", .MTime = 1600000000});
    std::vector<Fed> Entries;
    for (const std::string& P : {A, B, C}) {
        plat::TWin32FindData D;
        ASSERT_TRUE(plat::StatEntry(P, D));
        Entries.push_back({P.substr(0, P.rfind('/') + 1), D});
    }
    T.File("b.bin", {.Content = "same bytes", .MTime = 1700000000});
    Feeder F;
    F.Options.Kind = TScanKind::FileBye;
    MatchAll(GetParam(), Entries, F);
    EXPECT_EQ(Memberships<TSearchStatBye>(F.Groups),
              (std::vector<std::vector<std::string>>{{A, C}, {B}}));
}

INSTANTIATE_TEST_SUITE_P(Roads, ChangedSinceTheWalk, ::testing::Values(TRoad::Plain, TRoad::Ahead),
                         [](const auto& Info) { return std::string(RoadName(Info.param)); });

INSTANTIATE_TEST_SUITE_P(
    Rounds, ContentAgainstReference,
    ::testing::Combine(::testing::Values(ContentRound{1, false}, ContentRound{2, false}, ContentRound{3, true},
                                         ContentRound{4, false}, ContentRound{5, true}, ContentRound{6, false},
                                         ContentRound{7, true}, ContentRound{8, false}),
                       ::testing::Values(TRoad::Plain, TRoad::Ahead)),
    [](const auto& Info) {
        return "Seed" + std::to_string(std::get<0>(Info.param).Seed) + RoadName(std::get<1>(Info.param));
    });

// ---------------------------------------------------------------------------
// Similar pictures: the size index (with "Same size") and the plain walk
// over the groups (without) must both give the first group in opening order
// that passes the also-criteria and the threshold; a refused group passes
// the picture on.

struct SimilarRound {
    unsigned Seed;
    bool SameSize, SameDate;
};

class SimilarAgainstReference : public ::testing::TestWithParam<std::tuple<SimilarRound, TRoad>> {};

TEST_P(SimilarAgainstReference, FirstGroupThatPasses)
{
    const SimilarRound R = std::get<0>(GetParam());
    std::mt19937 Rng(R.Seed);
    Feeder F;
    F.Options.Kind = TScanKind::Similar;
    F.Options.Mode = F.Options.Filter.Mode = 4;
    F.Options.SameSize = R.SameSize;
    F.Options.SameDate = R.SameDate;
    F.Options.SimilarityOn = true;
    F.Options.SimilarityText = "90";
    const double Levels[] = {40.0, 89.99, 90.0, 97.5};
    std::map<std::pair<std::string, std::string>, double> Likeness;
    auto Like = [&](const std::string& A, const std::string& B) {
        auto It = Likeness.find({A, B});
        if (It == Likeness.end())
            It = Likeness.emplace(std::make_pair(A, B), Levels[(std::hash<std::string>()(A + "|" + B) ^ R.Seed) % 4]).first;
        return It->second;
    };
    F.Hooks.PictureSimilarity = [&](const std::string& A, const std::string& B, double) { return Like(A, B); };

    struct RefSimilar {
        std::vector<std::pair<std::string, double>> Members;
        int64_t Size;
        uint64_t WriteTime;
    };
    std::vector<RefSimilar> Ref;
    std::vector<Fed> Entries;
    for (int I = 0; I < 60; ++I) {
        const std::string Folder = "/p" + std::to_string(I % 7) + "/";
        const std::string Name = "pic" + std::to_string(I) + ".png";
        const uint64_t Size = 100 + Rng() % 3;
        const uint64_t WriteTime = 1000 + (Rng() % 2) * 10000000;
        // The reference decides first, so the likeness table is filled in
        // the order the matcher asks it.
        bool Taken = false;
        for (RefSimilar& G : Ref) {
            if (R.SameSize && G.Size != int64_t(Size)) continue;
            if (R.SameDate && G.WriteTime != WriteTime) continue;
            const double S = Like(G.Members[0].first, Folder + Name);
            if (90.0 > S) continue;
            G.Members.push_back({Folder + Name, S});
            Taken = true;
            break;
        }
        if (!Taken) Ref.push_back({{{Folder + Name, 100.0}}, int64_t(Size), WriteTime});
        Entries.push_back({Folder, Entry(Name, Size, WriteTime)});
    }
    MatchAll(std::get<1>(GetParam()), Entries, F);
    ASSERT_EQ(F.Groups.size(), Ref.size()) << "seed " << R.Seed;
    for (size_t G = 0; G < Ref.size(); ++G) {
        const auto& S = static_cast<const TSearchSimilar&>(*F.Groups[G]);
        ASSERT_EQ(S.Files.size(), Ref[G].Members.size()) << "group " << G;
        for (size_t M = 0; M < S.Files.size(); ++M) {
            EXPECT_EQ(S.Files[M].Folder + S.Files[M].Name, Ref[G].Members[M].first);
            EXPECT_EQ(S.Files[M].Similarity, Ref[G].Members[M].second);
        }
        EXPECT_EQ(S.TotalSize, int64_t(S.Size));  // joining pictures leave it
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rounds, SimilarAgainstReference,
    ::testing::Combine(::testing::Values(SimilarRound{11, false, false}, SimilarRound{12, true, false},
                                         SimilarRound{13, false, true}, SimilarRound{14, true, true},
                                         SimilarRound{15, true, false}, SimilarRound{16, false, false}),
                       ::testing::Values(TRoad::Plain, TRoad::Ahead)),
    [](const auto& Info) {
        return "Seed" + std::to_string(std::get<0>(Info.param).Seed) + RoadName(std::get<1>(Info.param));
    });

// ---------------------------------------------------------------------------
// Song titles: the title index must give the first group of that title; a
// failed "Same size", "Same date" or "Same artist" drops the song.

class TitleAgainstReference : public ::testing::TestWithParam<TRoad> {};

TEST_P(TitleAgainstReference, FirstGroupOfTheTitle)
{
    for (unsigned Seed = 21; Seed < 27; ++Seed) {
        std::mt19937 Rng(Seed);
        Feeder F;
        F.Options.Kind = TScanKind::Title;
        F.Options.Mode = F.Options.Filter.Mode = 3;
        F.Options.SameSize = Seed % 2 == 0;
        F.Options.SameDate = Seed % 3 == 0;
        F.Options.SameArtist = Seed % 2 == 1;
        std::map<std::string, std::vector<std::string>> Tags;
        F.Hooks.ReadMusicTags = [&](const std::string& P, std::vector<std::string>& L) {
            L.clear();
            auto It = Tags.find(P);
            if (It != Tags.end()) L = It->second;
            return int(L.size());
        };
        struct RefTitle {
            std::vector<std::string> Paths;
            std::string Title, Artist;
            int64_t Size;
            uint64_t WriteTime;
        };
        std::vector<RefTitle> Ref;
        std::vector<Fed> Entries;
        const char* Titles[] = {"", "Song", "song", "Other"};
        const char* Artists[] = {"", "A", "B"};
        for (int I = 0; I < 50; ++I) {
            const std::string Folder = "/m" + std::to_string(I % 4) + "/";
            const std::string Name = "t" + std::to_string(I) + ".mp3";
            const uint64_t Size = 10 + Rng() % 2, WriteTime = 1000 + (Rng() % 2) * 10000000;
            const bool Readable = Rng() % 6 != 0;
            const std::string Title = Titles[Rng() % 4], Artist = Artists[Rng() % 3];
            if (Readable) Tags[Folder + Name] = {Title, Artist, "", ""};
            bool Taken = false;
            if (Readable && !Title.empty()) {
                for (RefTitle& G : Ref) {
                    if (G.Title != Title) continue;
                    Taken = true;
                    if ((!F.Options.SameSize || G.Size == int64_t(Size)) &&
                        (!F.Options.SameDate || G.WriteTime == WriteTime) &&
                        (!F.Options.SameArtist || G.Artist == Artist))
                        G.Paths.push_back(Folder + Name);
                    break;
                }
                if (!Taken) Ref.push_back({{Folder + Name}, Title, Artist, int64_t(Size), WriteTime});
            }
            Entries.push_back({Folder, Entry(Name, Size, WriteTime)});
        }
        MatchAll(GetParam(), Entries, F);
        std::vector<std::vector<std::string>> Want;
        for (const auto& G : Ref) Want.push_back(G.Paths);
        EXPECT_EQ(Memberships<TSearchStatID3>(F.Groups), Want) << "seed " << Seed;
    }
}

INSTANTIATE_TEST_SUITE_P(Roads, TitleAgainstReference, ::testing::Values(TRoad::Plain, TRoad::Ahead),
                         [](const auto& Info) { return std::string(RoadName(Info.param)); });

// ---------------------------------------------------------------------------
// The walk keeps every folder it is inside of open while it walks the
// sub-folders. With a small open-file limit, a deep tree must still be
// walked to its bottom and its duplicates found, not silently cut short.

class OpenFileLimit {
public:
    explicit OpenFileLimit(rlim_t Soft)
    {
        getrlimit(RLIMIT_NOFILE, &FOld);
        rlimit New = FOld;
        New.rlim_cur = Soft;
        setrlimit(RLIMIT_NOFILE, &New);
    }
    ~OpenFileLimit() { setrlimit(RLIMIT_NOFILE, &FOld); }

private:
    rlimit FOld{};
};

// A same-content scan of one place, walked whole.
TScanOptions ContentScanOf(const std::string& Place)
{
    TScanOptions O;
    O.PumpIntervalMs = 0;
    O.Match.Kind = TScanKind::FileBye;
    O.Places.push_back({Place, false});
    return O;
}

TEST(DeepWalk, DuplicatesAtTheBottomOfADeepTreeAreFound)
{
    TempTree T;
    std::string Rel = "top";
    for (int I = 0; I < 120; ++I) Rel += "/d";
    T.File("top/a.txt", {.Content = "same bytes"});
    T.File(Rel + "/b.txt", {.Content = "same bytes"});
    const TScanOptions O = ContentScanOf(T.Path("top"));
    TGroupList Groups;
    uint8_t RunState = rsRunning;
    TScanOutcome Outcome;
    {
        // Far above what a shallow walk needs, far below the tree's depth.
        OpenFileLimit Limit(64);
        Outcome = Scan(O, Groups, RunState);
    }
    EXPECT_FALSE(Outcome.Failed);
    ASSERT_EQ(Groups.size(), 1u);
    EXPECT_EQ(Groups[0]->Count, 2);
}

// Paths longer than PATH_MAX are scanned, deleted and wiped like any other:
// every step goes folder by folder through descriptors.

// Folders below Rel, made one at a time, until the path is longer than
// PATH_MAX; returns the deepest one's path.
std::string DeepFolder(TempTree& T, const std::string& Rel)
{
    std::string Path = T.Dir(Rel);
    int Fd = ::open(Path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::string Part(200, 'd');
    while (Fd >= 0 && Path.size() <= PATH_MAX + 200) {
        ::mkdirat(Fd, Part.c_str(), 0755);
        const int Next = ::openat(Fd, Part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(Fd);
        Fd = Next;
        Path += "/" + Part;
    }
    EXPECT_GE(Fd, 0);
    ::close(Fd);
    return Path;
}

bool WriteDeep(const std::string& Path, const std::string& Content)
{
    std::string Name;
    const plat::TFd Dir(plat::OpenParentNoFollow(Path, Name));
    const plat::TFd F(::openat(Dir.Get(), Name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    return F.Valid() && ::write(F.Get(), Content.data(), Content.size()) == ssize_t(Content.size());
}

bool ExistsDeep(const std::string& Path)
{
    plat::TWin32FindData D;
    return plat::StatEntry(Path, D);
}

TEST(DeepWalk, PathsLongerThanPathMaxAreScannedDeletedAndWiped)
{
    TempTree T;
    const std::string Deep = DeepFolder(T, "top/deep");
    ASSERT_GT(Deep.size(), size_t(PATH_MAX));
    T.File("top/a.txt", {.Content = "same bytes"});
    ASSERT_TRUE(WriteDeep(Deep + "/b.txt", "same bytes"));
    ASSERT_TRUE(WriteDeep(Deep + "/c.txt", "wipe me"));

    const TScanOptions O = ContentScanOf(T.Path("top"));
    TGroupList Groups;
    uint8_t RunState = rsRunning;
    ASSERT_FALSE(Scan(O, Groups, RunState).Failed);
    TRowList Rows;
    BuildResultRows(Groups, O.Match.Kind, TSortState{}, Rows);
    ASSERT_EQ(Rows.size(), 3u);
    for (size_t I = 1; I < Rows.size(); ++I)
        Rows[I]->Checked = RowFilePath(static_cast<const TSearchResult&>(*Rows[I]), O.Match.Kind) == Deep + "/b.txt";
    TDeleteSummary S;
    EXPECT_EQ(DeleteSelected(Rows, O.Match.Kind, false, S), 1);
    EXPECT_EQ(S.Succeeded, 1);
    EXPECT_FALSE(ExistsDeep(Deep + "/b.txt"));
    EXPECT_TRUE(T.Exists("top/a.txt"));

    TEraseContext Ctx;
    Ctx.ProgramFolder = T.Path("prog/");
    TEraseSummary E;
    ASSERT_TRUE(ExistsDeep(Deep + "/c.txt"));
    EraseItems({RecordEraseItem(Deep + "/c.txt", "File"), RecordEraseItem(T.Path("top/deep"), "Folder")}, RunState,
               Ctx, E);
    ASSERT_EQ(E.Items.size(), 2u);
    EXPECT_EQ(E.Items[0].Status, TEraseStatus::Succeeded);
    EXPECT_EQ(E.Items[1].Status, TEraseStatus::Succeeded);
    EXPECT_FALSE(T.Exists("top/deep"));
}

// ---------------------------------------------------------------------------
// The matcher's local dates, the zone's offset looked up once a day: the
// rules' own dates in zones with changes of offset (also by half an hour)
// and leap seconds, around the changes, before 1899 and at 1601.

TEST(LocalDates, TheZoneRulesOwnDates)
{
    const std::string Old = getenv("TZ") ? getenv("TZ") : "";
    constexpr uint64_t Second = 10000000, Epoch = 11644473600ull * Second;
    for (const char* Zone : {"UTC", "Europe/Berlin", "Australia/Lord_Howe", "right/UTC", "Asia/Kolkata"}) {
        setenv("TZ", Zone, 1);
        tzset();
        TLocalDates Dates;
        std::vector<uint64_t> Times = {0, 1234567, Epoch - 86400ull * 25570 * Second + 4321,
                                       Epoch + 1483228826ull * Second};  // 2016-12-31 23:59:60 in right/UTC
        for (uint64_t T = Epoch + 1458000000ull * Second; T < Epoch + 1460000000ull * Second; T += 2237 * Second + 1234567)
            Times.push_back(T);
        for (uint64_t T : Times) {
            EXPECT_EQ(Dates(T), plat::FileTimeToLocalDateTime(T)) << Zone << " " << T;
            EXPECT_EQ(Dates(T + Second), plat::FileTimeToLocalDateTime(T + Second)) << Zone << " " << T;
        }
    }
    Old.empty() ? unsetenv("TZ") : setenv("TZ", Old.c_str(), 1);
    tzset();
}

// ---------------------------------------------------------------------------
// Row texts

struct SimilarityTextCase {
    double Similarity;
    const char* Text;
};

class SimilarityText : public ::testing::TestWithParam<SimilarityTextCase> {};

// "0.00" rounds the decimal digits, a half away from zero; the C library's
// "%.2f" rounds the binary value, and an exact half to even.
TEST_P(SimilarityText, TwoDecimalsHalfAwayFromZero)
{
    TSearchSimilarResult Row;
    Row.RowKind = 1;
    Row.Similarity = GetParam().Similarity;
    EXPECT_EQ(RowTexts(Row, 4, TScanKind::Similar).SubItems[2], GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(Values, SimilarityText,
                         ::testing::Values(SimilarityTextCase{100.0, "100.00%"}, SimilarityTextCase{90.0, "90.00%"},
                                           SimilarityTextCase{97.5, "97.50%"}, SimilarityTextCase{0.0, "0.00%"}));

INSTANTIATE_TEST_SUITE_P(ExactHalves, SimilarityText,
                         ::testing::Values(SimilarityTextCase{90.125, "90.13%"}, SimilarityTextCase{92.625, "92.63%"},
                                           SimilarityTextCase{0.125, "0.13%"}));

// ---------------------------------------------------------------------------
// Same name over a real walk: whether the reader lists files by name alone
// (no size filter) or reads them in full, the groups must be those of the
// plain walk: entries in listing order, sub-folders walked where met, the
// protected folder left out, "Same size" and "Same date" against the first.

namespace {

struct RefNameGroup {
    std::string Name;
    std::vector<std::string> Folders;
    int64_t Size;
    uint64_t WriteTime;
};

void RefWalk(const std::string& Path, const TScanOptions& O, std::vector<RefNameGroup>& Groups)
{
    plat::TDirectoryReader Reader;
    plat::TWin32FindData D;
    if (!Reader.FindFirst(Path, D)) return;
    std::vector<plat::TWin32FindData> Entries;
    do Entries.push_back(D);
    while (Reader.FindNext(D));
    Reader.Close();
    std::string Windows = O.WindowsDir;
    for (char& C : Windows) C = char(std::tolower(static_cast<unsigned char>(C)));
    for (const auto& E : Entries) {
        const std::string& Name = E.cFileName;
        if (Name == "." || Name == "..") continue;
        if (E.IsDirectory()) {
            std::string Sub = Path + Name;
            std::string Lower = Sub;
            for (char& C : Lower) C = char(std::tolower(static_cast<unsigned char>(C)));
            if (E.dwFileAttributes <= 19 && !(O.ProtectSystemFolders && Lower == Windows)) RefWalk(Sub + "/", O, Groups);
            continue;
        }
        const int64_t Size = int64_t(E.Size());
        if (!PassesFileFilter(O.Match.Filter, Name, Size)) continue;
        bool Taken = false;
        for (RefNameGroup& G : Groups) {
            if (G.Name != Name) continue;
            Taken = true;
            if ((!O.Match.SameSize || G.Size == Size) &&
                (!O.Match.SameDate ||
                 plat::FileTimeToLocalDateTime(G.WriteTime) == plat::FileTimeToLocalDateTime(E.ftLastWriteTime)))
                G.Folders.push_back(Path);
            break;
        }
        if (!Taken && Name.find('.') != std::string::npos) Groups.push_back({Name, {Path}, Size, E.ftLastWriteTime});
    }
}

} // namespace

class NameWalkAgainstReference : public ::testing::TestWithParam<TRoad> {};

TEST_P(NameWalkAgainstReference, ListedByNameOrInFull)
{
    for (unsigned Seed = 31; Seed < 39; ++Seed) {
        std::mt19937 Rng(Seed);
        TempTree T;
        const char* Names[] = {"a.txt", "b.TXT", "B.txt", "hosts", ".hidden.txt", "x.dll"};
        const char* Dirs[] = {"", "p/", "p/q/", "r/", ".h/", "sys/", "sys/in/", "r/s/t/"};
        for (int I = 0; I < 60; ++I) {
            const std::string Rel = std::string(Dirs[Rng() % 8]) + Names[Rng() % 6];
            T.File(Rel, {.Content = std::string(Rng() % 3, 'z'), .MTime = time_t(1600000000 + (Rng() % 2) * 7),
                         .MTimeNs = long(Rng() % 2) * 400000});  // sub-millisecond: the same date
        }
        TScanOptions O;
        O.PumpIntervalMs = 0;
        O.Threads = GetParam() == TRoad::Plain ? 1 : 4;
        // Folders listed by the pool and by the walk itself, mixed.
        if (Seed & 1) O.ListAhead = [N = 0]() mutable { return ++N % 3 != 1; };
        O.Match.Kind = TScanKind::FileName;
        O.Match.SameSize = Seed & 1;
        O.Match.SameDate = Seed & 2;
        O.Match.Filter.SkipZero = Seed & 4;
        O.WindowsDir = T.Path("SYS");
        O.Places.push_back({T.Root(), false});
        std::vector<RefNameGroup> Ref;
        RefWalk(T.Root() + "/", O, Ref);
        TGroupList Groups;
        uint8_t RunState = rsRunning;
        ASSERT_FALSE(Scan(O, Groups, RunState).Failed);
        std::vector<std::pair<std::string, std::vector<std::string>>> Got, Want;
        for (const auto& G : Groups) {
            const auto& S = static_cast<const TSearchStat&>(*G);
            std::vector<std::string> F;
            for (const auto& M : S.Files) F.push_back(M.Folder);
            Got.push_back({S.Name, F});
        }
        for (const auto& G : Ref) Want.push_back({G.Name, G.Folders});
        EXPECT_EQ(Got, Want) << "seed " << Seed;
    }
}

INSTANTIATE_TEST_SUITE_P(Roads, NameWalkAgainstReference, ::testing::Values(TRoad::Plain, TRoad::Ahead),
                         [](const auto& Info) { return std::string(RoadName(Info.param)); });

// ---------------------------------------------------------------------------
// From the walk to the deletion: every kind's rows carry what the deletion
// needs to find the very file the scan saw, also for a file the walk listed
// by name alone; a file changed since the scan is left alone.

struct EndToEndCase {
    const char* Label;
    TScanKind Kind;
};

class WalkToDeletion : public ::testing::TestWithParam<EndToEndCase> {};

TEST_P(WalkToDeletion, SelectAllDeletesAllButTheFirstOfEachGroup)
{
    TempTree T;
    for (const char* D : {"1", "2", "3"}) {
        T.File(std::string(D) + "/same.txt", {.Content = "content", .MTime = 1600000000 + (D[0] - '0')});
        T.File(std::string(D) + "/other.txt", {.Content = "x", .MTime = 1600000000});
    }
    TScanOptions O;
    O.PumpIntervalMs = 0;
    O.Match.Kind = GetParam().Kind;
    O.Places.push_back({T.Root(), false});
    TGroupList Groups;
    uint8_t RunState = rsRunning;
    ASSERT_FALSE(Scan(O, Groups, RunState).Failed);
    TRowList Rows;
    BuildResultRows(Groups, O.Match.Kind, TSortState{}, Rows);
    ASSERT_EQ(Rows.size(), 8u) << GetParam().Label;  // two groups of three
    SelectAllDuplicates(Rows, true);
    // The newest copy of same.txt stays first and unticked.
    const size_t Same = static_cast<const TSearchResult&>(*Rows[0]).Text.str().find("same.txt") != std::string::npos ? 0 : 4;
    EXPECT_NE(RowFilePath(static_cast<const TSearchResult&>(*Rows[Same + 1]), O.Match.Kind).find("/3/same.txt"),
              std::string::npos);
    // One ticked file changes after the scan: it must not go.
    const std::string Changed = RowFilePath(static_cast<const TSearchResult&>(*Rows[2]), O.Match.Kind);
    T.File(Changed.substr(T.Root().size() + 1), {.Content = "content", .MTime = 1700000000});
    std::vector<std::string> Deleted;
    TDeleteHooks Hooks;
    Hooks.Delete = [&](const std::string& P) {
        Deleted.push_back(P);
        return true;
    };
    TDeleteSummary S;
    EXPECT_EQ(DeleteSelected(Rows, O.Match.Kind, false, S, {}, Hooks), 4);
    EXPECT_EQ(S.Found, 6);
    EXPECT_EQ(S.Succeeded, 3);
    EXPECT_EQ(S.Failed, 1);
    EXPECT_EQ(Deleted.size(), 3u);
    for (const auto& P : Deleted) {
        EXPECT_NE(P, Changed);
        EXPECT_EQ(P.rfind(T.Root(), 0), 0u) << P;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, WalkToDeletion,
                         ::testing::Values(EndToEndCase{"same name", TScanKind::FileName},
                                           EndToEndCase{"same content", TScanKind::FileBye}),
                         [](const auto& Info) { return std::string(Info.param.Kind == TScanKind::FileName ? "Name" : "Content"); });
