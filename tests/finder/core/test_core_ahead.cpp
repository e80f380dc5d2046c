// The road with worker threads: what only the calling thread may do stays
// there (the message pump, the path shown, a reader's warning boxes), in
// the order the walk meets the files; and the packed texts of the records.
#include <gtest/gtest.h>

#include <cctype>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "finder/core/MatchAhead.h"
#include "finder/core/ScanCore.h"
#include "finder/core/WorkPool.h"
#include "tags/RealMediaFile.h"
#include "tests/finder/core/CoreTestSupport.h"

using namespace finder;
using corvane_test::TempTree;

TEST(AheadRoad, WindowWorkStaysOnTheCallingThreadInWalkOrder)
{
    TempTree T;
    // Three files that the RealMedia reader warns about (unknown chunks),
    // in three folders, and songs without tags between them.
    for (const char* F : {"1/a.rm", "2/b.rm", "3/c.rm"}) {
        const std::string Id(4, char(std::toupper(F[2])));
        T.File(F, {.Content = Id + std::string(12, '\0')});
    }
    for (int I = 0; I < 40; ++I) T.File(std::to_string(I % 3 + 1) + "/s" + std::to_string(I) + ".mp3");
    TScanOptions O;
    O.Threads = 4;
    O.PumpIntervalMs = 0;
    O.Match.Kind = TScanKind::Title;
    O.Match.Mode = O.Match.Filter.Mode = 3;
    O.Match.Filter.MusicAll = false;
    O.Places.push_back({T.Root(), false});

    const auto Caller = std::this_thread::get_id();
    std::vector<std::string> Warnings;
    bool ElsewhereWarned = false, ElsewherePumped = false, ElsewhereShown = false;
    tags::SetRMWarningHandler([&](const std::string& Text, const std::string&) {
        ElsewhereWarned |= std::this_thread::get_id() != Caller;
        Warnings.push_back(Text.substr(Text.size() - 4));
    });
    int Shown = 0;
    TGroupList Groups;
    uint8_t RunState = rsRunning;
    TScanRun Run(O, RunState, Groups,
                 {[&] { ElsewherePumped |= std::this_thread::get_id() != Caller; },
                  [&](const std::string&) {
                      ElsewhereShown |= std::this_thread::get_id() != Caller;
                      ++Shown;
                  }});
    const TScanOutcome Outcome = Run.Run();
    tags::SetRMWarningHandler(nullptr);
    EXPECT_FALSE(Outcome.Failed) << Outcome.Error;
    EXPECT_EQ(Warnings, (std::vector<std::string>{"AAAA", "BBBB", "CCCC"}));
    EXPECT_FALSE(ElsewhereWarned);
    EXPECT_FALSE(ElsewherePumped);
    EXPECT_FALSE(ElsewhereShown);
    EXPECT_GT(Shown, 43);
}

TEST(PackedTexts, NamesOfEveryLengthReadBackAndCopiesShare)
{
    for (size_t Length : {0u, 1u, 254u, 255u, 256u, 70000u}) {
        SCOPED_TRACE(Length);
        std::string Text(Length, 'n');
        if (Length) Text.back() = 'z';
        const TNameText Name(Text);
        TNameText Copy = Name;
        EXPECT_EQ(Name.view(), Text);
        EXPECT_EQ(Copy.view().data(), Name.view().data());
        EXPECT_EQ(std::string(Name.c_str()), Text);
    }
    const TPathText Path{TFolderText("/a/"), TNameText("b.txt")};
    EXPECT_EQ(Path.str(), "/a/b.txt");
}

// The Photo mode through the comparer itself: pictures decoded and scaled
// ahead on the pool give the groups, members and likeness of the plain road.
TEST(AheadRoad, PicturesComparedAheadGiveThePlainRoadsGroups)
{
    TempTree T;
    const char* Samples[] = {"photo.png", "photo_q90.jpg", "photo_half.png", "photo_negative.png", "photo.bmp",
                             "photo_q50.jpg", "photo_gray.jpg", "photo.gif", "photo_interlaced.png"};
    std::string Bytes;
    int I = 0;
    for (const char* S : Samples) {
        std::ifstream In(std::string(CORVANE_PICTURE_SAMPLES) + "/" + S, std::ios::binary);
        Bytes.assign(std::istreambuf_iterator<char>(In), {});
        ASSERT_FALSE(Bytes.empty()) << S;
        // Two copies of each, under names that walk them in a mixed order.
        for (const char* Folder : {"b/", "a/"}) T.File(Folder + std::to_string(7 * I % 9) + S, {.Content = Bytes});
        ++I;
    }
    auto ScanOn = [&](unsigned Threads) {
        TScanOptions O;
        O.Threads = Threads;
        O.Match.Kind = TScanKind::Similar;
        O.Match.Mode = O.Match.Filter.Mode = 4;
        O.Match.SimilarityOn = true;
        O.Match.SimilarityText = "70";
        O.Places.push_back({T.Root(), false});
        TGroupList Groups;
        uint8_t RunState = rsRunning;
        EXPECT_FALSE(TScanRun(O, RunState, Groups).Run().Failed);
        std::vector<std::pair<std::string, double>> Members;
        for (const auto& G : Groups)
            for (const auto& M : static_cast<const TSearchSimilar&>(*G).Files)
                Members.emplace_back(M.Folder + M.Name, M.Similarity);
        return std::make_pair(Groups.size(), Members);
    };
    const auto Plain = ScanOn(1);
    EXPECT_LT(Plain.first, 18u);  // some pictures found alike
    EXPECT_EQ(ScanOn(4), Plain);
}

// A picture's decode asked ahead may wait on the pool until the walk has
// left its folder and the matching has let the file go: it still reads the
// file's name from that folder's listing, which must live until it has run.
TEST(AheadRoad, APictureDecodedAfterTheWalkLeftItsFolderStillHasItsName)
{
    TempTree T;
    std::ifstream In(std::string(CORVANE_PICTURE_SAMPLES) + "/photo.png", std::ios::binary);
    const std::string Bytes(std::istreambuf_iterator<char>(In), {});
    for (const char* F : {"a/p.png", "b/p.png"}) T.File(F, {.Content = Bytes});
    TScanOptions O;
    O.Threads = 4;
    O.Match.Kind = TScanKind::Similar;
    O.Match.Mode = O.Match.Filter.Mode = 4;
    O.Match.SimilarityOn = true;
    O.Places.push_back({T.Root(), false});
    std::mutex Mutex;
    std::condition_variable Moved;
    bool InB = false;
    TMatchHooks Hooks;
    // The pool decodes nothing before the matching has reached b/.
    Hooks.PictureAhead = [&] {
        std::unique_lock<std::mutex> Lock(Mutex);
        Moved.wait(Lock, [&] { return InB; });
    };
    TGroupList Groups;
    uint8_t RunState = rsRunning;
    TScanRun Run(O, RunState, Groups, {{}, [&](const std::string& Path) {
                                           if (Path != T.Path("b")) return;
                                           std::lock_guard<std::mutex> Lock(Mutex);
                                           InB = true;
                                           Moved.notify_all();
                                       }},
                 Hooks);
    EXPECT_FALSE(Run.Run().Failed);
    EXPECT_EQ(core_test::Shape(Groups, T.Root()), "[/a/p.png /b/p.png]");
}

// Files larger than a worker's read buffer (16 KiB), whose first blocks all
// agree: their checksums cover every byte, so copies group and files that
// differ only near the end do not.
TEST(AheadRoad, FilesLargerThanTheReadBufferAreReadWhole)
{
    TempTree T;
    std::string Big(65536, '\0');
    for (size_t I = 0; I < Big.size(); ++I) Big[I] = char((I * 131 + (I >> 9)) & 0xFF);
    std::string Late = Big, Middle = Big;
    Late[60000] ^= 1;
    Middle[20000] ^= 1;
    const std::string Odd = Big.substr(0, 40000);  // two buffers and a part
    const std::vector<std::pair<std::string, std::string>> Files = {
        {"a/x.bin", Big}, {"b/x.bin", Late}, {"c/x.bin", Middle}, {"d/x.bin", Big}, {"e/o.bin", Odd}, {"f/o.bin", Odd}};
    for (const auto& [Path, Bytes] : Files) T.File(Path, {.Content = Bytes});

    // The checksum a worker's buffer gives is that of the whole file.
    TWorkPool Pool(2);
    core_test::Feeder F;
    F.Options.Kind = TScanKind::FileBye;
    TMatchAhead Ahead(F.M(), Pool, F.Options, F.Run);
    for (const auto& [Path, Bytes] : Files) {
        plat::TWin32FindData D;
        ASSERT_TRUE(plat::StatEntry(T.Path(Path), D));
        const TFileFactsRef Facts =
            Ahead.Facts(T.Path(Path), {plat::PackDevice(D.Device), D.Inode, D.Size(), D.ftLastWriteTime});
        uint32_t Crc = 0;
        bool Stopped = false;
        ASSERT_TRUE(Ahead.Crc(*Facts, Crc, Stopped)) << Path;
        EXPECT_EQ(Crc, core_test::Crc(Bytes)) << Path;
    }
    Pool.Close();

    TScanOptions O;
    O.Threads = 4;
    O.Match.Kind = TScanKind::FileBye;
    O.Places.push_back({T.Root(), false});
    TGroupList Groups;
    uint8_t RunState = rsRunning;
    EXPECT_FALSE(core_test::Scan(O, Groups, RunState).Failed);
    EXPECT_EQ(core_test::Shape(Groups, T.Root(), 2), "[/a/x.bin /d/x.bin][/e/o.bin /f/o.bin]");
}

// More entries than the hand-over holds: the walk waits for room, and the
// matching, taking entries, must wake it, or the scan never ends.
TEST(AheadRoad, AWalkWaitingForRoomIsWokenByTheMatching)
{
    core_test::Feeder F;
    F.Options.Kind = TScanKind::FileName;
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Waits = false;
    F.Hooks.WalkWaits = [&] {
        std::lock_guard<std::mutex> Lock(Mutex);
        Waits = true;
        Changed.notify_all();
    };
    std::vector<plat::TWin32FindData> Entries;
    for (int I = 0; I < 2000; ++I) Entries.push_back(core_test::Entry("f" + std::to_string(I % 500) + ".txt", 10));
    TWorkPool Pool(2);
    TMatchAhead Ahead(F.M(), Pool, F.Options, F.Run);
    std::thread Walk([&] {
        for (plat::TWin32FindData& D : Entries) {
            TAheadEntry A;
            A.Folder = TFolderText("/d" + std::to_string(&D - Entries.data()) + "/");
            A.Data = &D;
            if (!Ahead.Push(std::move(A))) break;
        }
        Ahead.Finish();
    });
    // The matching holds its first entry until the walk waits for room; a
    // watchdog stops the run if the walk is never woken.
    size_t Matched = 0;
    bool Woken = true;
    std::thread Watchdog;
    Ahead.Consume(
        [&](const TAheadEntry& A) {
            if (Matched++ == 0) {
                std::unique_lock<std::mutex> Lock(Mutex);
                ASSERT_TRUE(Changed.wait_for(Lock, std::chrono::seconds(60), [&] { return Waits; }));
                Watchdog = std::thread([&] {
                    std::unique_lock<std::mutex> L(Mutex);
                    if (!Changed.wait_for(L, std::chrono::seconds(30), [&] { return !Waits; })) {
                        Woken = false;
                        F.RunState = rsStopRequested;
                        Ahead.Stop();
                    }
                });
            }
            F.Feed(A.Folder.str(), *A.Data);
        },
        [](const std::string&) {});
    {
        std::lock_guard<std::mutex> Lock(Mutex);
        Waits = false;
        Changed.notify_all();
    }
    Walk.join();
    if (Watchdog.joinable()) Watchdog.join();
    Pool.Cancel();
    Pool.Close();
    EXPECT_TRUE(Woken);
    EXPECT_EQ(Matched, Entries.size());
    EXPECT_EQ(F.Groups.size(), 500u);
}
