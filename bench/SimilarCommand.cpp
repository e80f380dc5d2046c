// corvane-bench similar: the Photo mode's similar-picture scan through the
// same core as the window, one line per result row; time, peak memory and
// the comparer's counters go to standard error. With --decode-only it only
// decodes every picture once, the yardstick for the scan's time.
#include <sys/resource.h>

#include <QGuiApplication>
#include <QImage>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "finder/pictures/PictureLoader.h"
#include "finder/pictures/PictureSimilarity.h"
#include "finder/core/ResultRows.h"
#include "finder/core/ScanCore.h"

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: corvane-bench similar --threshold N [--same-size] [--same-date] [--cap-mb N]\n"
                         "         [--decode-only] DIR...\n");
    return 2;
}

double PeakMiB()
{
    rusage Usage{};
    getrusage(RUSAGE_SELF, &Usage);
    return double(Usage.ru_maxrss) / 1024.0;
}

// Metafiles are drawn with QPainter, which needs a GUI application.
std::unique_ptr<QGuiApplication> StartGui(char* Program)
{
    if (QCoreApplication::instance()) return nullptr;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int Argc = 1;
    static char* Argv[] = {Program, nullptr};
    return std::make_unique<QGuiApplication>(Argc, Argv);
}

} // namespace

int RunSimilar(int argc, char** argv)
{
    using namespace finder;
    TScanOptions O;
    O.Match.Kind = TScanKind::Similar;
    O.Match.Mode = 4;
    O.Match.Filter.Mode = 4;
    O.Match.Filter.ProtectSystemFiles = false;
    O.Match.SimilarityOn = true;
    O.ProtectSystemFolders = false;
    bool HaveThreshold = false, DecodeOnly = false;
    size_t CapBytes = size_t(256) << 20;
    for (int I = 1; I < argc; ++I) {
        const std::string A = argv[I];
        if (A == "--threshold" || A == "--cap-mb") {
            if (I + 1 >= argc) return Usage();
            const std::string V = argv[++I];
            if (A == "--threshold") {
                O.Match.SimilarityText = V;
                HaveThreshold = true;
            } else {
                CapBytes = size_t(std::strtoull(V.c_str(), nullptr, 10)) << 20;
            }
        } else if (A == "--same-size") {
            O.Match.SameSize = true;
        } else if (A == "--same-date") {
            O.Match.SameDate = true;
        } else if (A == "--decode-only") {
            DecodeOnly = true;
        } else if (A.rfind("--", 0) == 0) {
            return Usage();
        } else {
            O.Places.push_back({A, false});
        }
    }
    if ((!HaveThreshold && !DecodeOnly) || O.Places.empty()) return Usage();
    const auto Gui = StartGui(argv[0]);

    static char OutBuf[1 << 16];
    std::setvbuf(stdout, OutBuf, _IOFBF, sizeof OutBuf);
    const auto Start = std::chrono::steady_clock::now();
    auto Elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count(); };

    TPictureComparer Comparer(CapBytes);
    TMatchHooks Hooks;
    Hooks.Comparer = &Comparer;
    long long Decoded = 0, Failed = 0;
    if (DecodeOnly) {
        // The walk of the scan, with a decode in place of the matching.
        Hooks.PictureSimilarity = [](const std::string&, const std::string&, double) { return 0.0; };
        O.Match.SimilarityText = "101";
    }
    TGroupList Groups;
    uint8_t RunState = rsRunning;
    TScanRun Run(O, RunState, Groups, {}, Hooks);
    const TScanOutcome Outcome = Run.Run();
    if (DecodeOnly) {
        for (const auto& Group : Groups) {
            const auto& G = static_cast<const TSearchSimilar&>(*Group);
            QImage Picture;
            ++Decoded;
            if (!LoadPicture(G.Files[0].Folder + G.Files[0].Name, Picture)) ++Failed;
        }
        std::fprintf(stderr, "decoded %lld pictures (%lld failed), time %.3f s, peak memory %.1f MiB\n", Decoded,
                     Failed, Elapsed(), PeakMiB());
        return 0;
    }
    TRowList Rows;
    const std::string Status = BuildResultRows(Groups, O.Match.Kind, {}, Rows);
    const double Seconds = Elapsed();

    for (const auto& Row : Rows) {
        const auto& R = static_cast<const TSearchResult&>(*Row);
        const TRowTexts T = RowTexts(R, 4, O.Match.Kind);
        std::printf("%d\t%d\t%s", R.GroupNo, R.RowKind, T.Caption.c_str());
        for (const std::string& S : T.SubItems) std::printf("\t%s", S.c_str());
        std::printf("\t%s\n", R.RowKind == 1 ? RowFilePath(R, O.Match.Kind).c_str() : "");
    }
    std::fflush(stdout);

    const TPictureComparerStats& S = Comparer.Stats();
    std::fprintf(stderr,
                 "%s\nfiles %lld, groups %zu, time %.3f s, peak memory %.1f MiB\n"
                 "comparisons %lld, decodes %lld, header reads %lld, cache hits %lld, early stops %lld, "
                 "evictions %lld, scalings %lld, peak cache %.1f MiB\n",
                 Status.c_str(), static_cast<long long>(Run.FilesSeen()), Groups.size(), Seconds, PeakMiB(),
                 S.Comparisons, S.Decodes, S.HeaderReads, S.CacheHits, S.EarlyStops, S.Evictions, S.Scalings,
                 double(S.PeakCacheBytes) / 1048576.0);
    if (Outcome.Failed) {
        std::fprintf(stderr, "corvane-bench: the scan ended early: %s\n", Outcome.Error.c_str());
        return 1;
    }
    return 0;
}
