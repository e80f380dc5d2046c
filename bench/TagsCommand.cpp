// corvane-bench tags FILE...: the music tag list of each file, as the Music
// scan reads it. One line per file on standard output, tab-separated: path,
// count, title, artist, year (or date, or copyright), comment. Files per
// second, time and peak memory go to standard error.
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "tags/MusicTags.h"
#include "tags/RealMediaFile.h"

namespace {

// Tabs and line breaks inside a tag would break the columns; a zero byte
// (between two values of one ID3v2 frame) would end the text early.
std::string Column(std::string Text)
{
    for (char& C : Text)
        if (C == '\t' || C == '\n' || C == '\r' || C == '\0') C = ' ';
    return Text;
}

} // namespace

int RunTags(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: corvane-bench tags FILE...\n");
        return 2;
    }
    tags::SetRMWarningHandler([](const std::string& Text, const std::string& Caption) {
        std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Text.c_str());
    });

    int Failures = 0;
    std::vector<std::string> List;
    const auto Start = std::chrono::steady_clock::now();
    for (int I = 1; I < argc; ++I) {
        const std::string Path = argv[I];
        int Count = 0;
        try {
            Count = tags::ReadMusicTags(Path, List);
        } catch (const std::exception& E) {
            // The window would show this and end the scan; here the run goes on.
            std::fprintf(stderr, "%s: %s\n", Path.c_str(), E.what());
            List.clear();
            ++Failures;
        }
        List.resize(4);
        std::printf("%s\t%d\t%s\t%s\t%s\t%s\n", Column(Path).c_str(), Count, Column(List[0]).c_str(),
                    Column(List[1]).c_str(), Column(List[2]).c_str(), Column(List[3]).c_str());
    }
    const double Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    tags::SetRMWarningHandler(nullptr);

    struct rusage Usage {};
    getrusage(RUSAGE_SELF, &Usage);
    const int Files = argc - 1;
    std::fprintf(stderr, "%d files in %.3f s: %.0f files/s, peak memory %ld KiB%s\n", Files, Seconds,
                 Seconds > 0 ? Files / Seconds : 0.0, long(Usage.ru_maxrss),
                 Failures ? (", " + std::to_string(Failures) + " could not be opened").c_str() : "");
    return Failures ? 1 : 0;
}
