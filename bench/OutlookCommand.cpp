// corvane-bench outlook: the Outlook mode's scan through the mailbox
// component and the same core as the window, one line per result row.
// --parse-only reads and parses every message once and nothing more: the
// floor a scan is measured against.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "finder/core/OutlookResults.h"
#include "finder/core/OutlookScan.h"

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: corvane-bench outlook --mails|--contacts\n"
                         "         --subject|--content|--name|--email|--nickname\n"
                         "         [--same-date] [--same-size] [--same-sender] [--parse-only]\n");
    return 2;
}

void Report(const char* What, long long Items, double Seconds)
{
    rusage U{};
    getrusage(RUSAGE_SELF, &U);
    const double Peak = double(U.ru_maxrss) * 1024.0;
    std::fprintf(stderr, "%s: items %lld, time %.3f s, peak memory %.1f MiB, %.0f bytes per item\n", What, Items,
                 Seconds, Peak / 1048576.0, Items > 0 ? Peak / double(Items) : 0.0);
}

// Every message parsed once, headers and bodies, and nothing kept.
int ParseOnly(bool Mails)
{
    const auto Start = std::chrono::steady_clock::now();
    long long N = 0;
    try {
        auto Items = plat::CreateOleObject("Outlook.Application")
                         ->GetNameSpace("MAPI")
                         ->GetDefaultFolder(Mails ? plat::olFolderInbox : plat::olFolderContacts)
                         ->Items();
        for (int I = 1; I <= Items->Count(); ++I) {
            auto Item = Items->Item(I);
            if (auto* M = dynamic_cast<plat::TMailItem*>(Item.get())) {
                try {
                    M->Fields(true);
                } catch (const plat::EOutlookError&) {
                    continue;
                }
            }
            ++N;
        }
    } catch (const plat::EOutlookError& E) {
        std::fprintf(stderr, "corvane-bench: %s\n", E.what());
        return 1;
    }
    Report("parse only", N, std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count());
    return 0;
}

} // namespace

int RunOutlook(int argc, char** argv)
{
    using namespace finder;
    TOutlookOptions O;
    O.Kind = 0;
    O.Criterion = TScanKind::None;
    bool Parse = false;
    for (int I = 1; I < argc; ++I) {
        const std::string A = argv[I];
        if (A == "--mails") O.Kind = 1;
        else if (A == "--contacts") O.Kind = 2;
        else if (A == "--subject" || A == "--name") O.Criterion = TScanKind::FileName;
        else if (A == "--content" || A == "--email") O.Criterion = TScanKind::FileBye;
        else if (A == "--nickname") O.Criterion = TScanKind::Title;
        else if (A == "--same-date") O.SameDate = true;
        else if (A == "--same-size") O.SameSize = true;
        else if (A == "--same-sender") O.SameSender = true;
        else if (A == "--parse-only") Parse = true;
        else return Usage();
    }
    if (O.Kind == 0) return Usage();
    if (Parse) return ParseOnly(O.Kind == 1);
    if (O.Criterion == TScanKind::None) return Usage();

    static char OutBuf[1 << 16];
    std::setvbuf(stdout, OutBuf, _IOFBF, sizeof OutBuf);
    const auto Start = std::chrono::steady_clock::now();
    TGroupList Groups;
    uint8_t RunState = rsRunning;
    TOutlookScan Scan(O, RunState, Groups);
    const TScanOutcome Outcome = Scan.Run();
    TRowList Rows;
    // The order a reset leaves: e-mails by received time, contacts by first
    // name, both descending.
    const std::string Status = BuildOutlookRows(Groups, O.Kind == 1, O.Kind == 1 ? 2 : 0, 1, Rows, Scan.ItemsSkipped());
    const double Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();

    for (const auto& Row : Rows) {
        TRowTexts T;
        OutlookRowTexts(*Row, T);
        std::printf("%s\t%d\t%s", T.SubItems[3].c_str(), Row->RowKind, T.Caption.c_str());
        for (size_t K = 0; K < 5; ++K) std::printf("\t%s", T.SubItems[K].c_str());
        std::printf("\t%s\n", T.SubItems[5].c_str());
    }
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", Status.c_str());
    Report("scan", Scan.ItemsRead(), Seconds);
    if (Outcome.Failed) std::fprintf(stderr, "corvane-bench: the scan ended early: %s\n", Outcome.Error.c_str());
    std::fflush(stderr);
    std::_Exit(Outcome.Failed ? 1 : 0);
}
