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

#include "finder/core/ScanCore.h"
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
