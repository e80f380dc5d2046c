// corvane-bench scan: the file scan of the Basic mode through the same core
// as the window, one line per result row.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "finder/core/ResultRows.h"
#include "finder/core/ScanCore.h"

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: corvane-bench scan --name|--content [--same-size] [--same-date]\n"
                 "         [--category 0|1|2|3] [--zero-size] [--custom *.ext]... [--skip-zero] [--min-kb N]\n"
                 "         [--protect-system] [--protect-folders] [--threads N] DIR...\n");
    return 2;
}

} // namespace

int RunScan(int argc, char** argv)
{
    using namespace finder;
    TScanOptions O;
    O.Match.Kind = TScanKind::None;
    O.Match.Mode = 1;
    O.Match.Filter.Mode = 1;
    O.Match.Filter.ProtectSystemFiles = false;
    O.ProtectSystemFolders = false;
    for (int I = 1; I < argc; ++I) {
        const std::string A = argv[I];
        auto Next = [&]() -> const char* { return I + 1 < argc ? argv[++I] : nullptr; };
        if (A == "--name") O.Match.Kind = TScanKind::FileName;
        else if (A == "--content") O.Match.Kind = TScanKind::FileBye;
        else if (A == "--same-size") O.Match.SameSize = true;
        else if (A == "--same-date") O.Match.SameDate = true;
        else if (A == "--skip-zero") O.Match.Filter.SkipZero = true;
        else if (A == "--protect-system") O.Match.Filter.ProtectSystemFiles = true;
        else if (A == "--protect-folders") O.ProtectSystemFolders = true;
        else if (A == "--zero-size") O.Match.Filter.BasicType = TBasicType::Zero;
        else if (A == "--threads") {
            const char* V = Next();
            if (!V) return Usage();
            O.Threads = unsigned(std::strtoul(V, nullptr, 10));
        } else if (A == "--min-kb" || A == "--category" || A == "--custom") {
            const char* V = Next();
            if (!V) return Usage();
            if (A == "--custom") {
                O.Match.Filter.BasicType = TBasicType::Custom;
                O.Match.Filter.CustomFileTypes.push_back(V);
            } else if (A == "--min-kb") {
                O.Match.Filter.SizeLimit = true;
                O.Match.Filter.SizeLimitKB = std::strtoll(V, nullptr, 10);
            } else {
                static const TBasicType Types[] = {TBasicType::Documents, TBasicType::PicturePhoto, TBasicType::Music,
                                                   TBasicType::VideoMovies};
                const long N = std::strtol(V, nullptr, 10);
                if (N < 0 || N > 3) return Usage();
                O.Match.Filter.BasicType = Types[N];
            }
        } else if (A.rfind("--", 0) == 0) {
            return Usage();
        } else {
            O.Places.push_back({A, false});
        }
    }
    if (O.Match.Kind == TScanKind::None || O.Places.empty()) return Usage();

    static char OutBuf[1 << 16];
    std::setvbuf(stdout, OutBuf, _IOFBF, sizeof OutBuf);
    const auto Start = std::chrono::steady_clock::now();
    TGroupList Groups;
    uint8_t RunState = rsRunning;
    // The run (and its indexes) ends before the rows are built, as in the window.
    auto Run = std::make_unique<TScanRun>(O, RunState, Groups);
    const TScanOutcome Outcome = Run->Run();
    const double ScanSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    const int64_t Files = Run->FilesSeen();
    Run.reset();
    TRowList Rows;
    const std::string Status = BuildResultRows(Groups, O.Match.Kind, {}, Rows);
    const double Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();

    for (const auto& Row : Rows) {
        const auto& R = static_cast<const TSearchResult&>(*Row);
        const TRowTexts T = RowTexts(R, 1, O.Match.Kind);
        std::printf("%d\t%d\t%s", R.GroupNo, R.RowKind, T.Caption.c_str());
        for (const std::string& S : T.SubItems) std::printf("\t%s", S.c_str());
        std::printf("\t%s\n", R.RowKind == 1 ? RowFilePath(R, O.Match.Kind).c_str() : "");
    }
    std::fflush(stdout);

    rusage Usage{};
    getrusage(RUSAGE_SELF, &Usage);
    const double PeakBytes = double(Usage.ru_maxrss) * 1024.0;
    std::fprintf(stderr,
                 "%s\nfiles %lld, groups %zu, time %.3f s (the scan %.3f s), peak memory %.1f MiB, %.0f bytes per file\n",
                 Status.c_str(), static_cast<long long>(Files), Groups.size(), Seconds, ScanSeconds,
                 PeakBytes / 1048576.0, Files > 0 ? PeakBytes / double(Files) : 0.0);
    if (Outcome.Failed) std::fprintf(stderr, "corvane-bench: the scan ended early: %s\n", Outcome.Error.c_str());
    std::fflush(stderr);
    // The process ends here: the kernel takes the records back at once,
    // where freeing them one by one would only add to the time measured.
    std::_Exit(Outcome.Failed ? 1 : 0);
}
