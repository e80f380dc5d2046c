// corvane-bench: runs the scanning core as the window does and prints one
// line per result row; time and peak memory go to standard error.
#include <cstdio>
#include <cstring>
#include <string>

int RunScan(int argc, char** argv);
int RunSimilar(int argc, char** argv);
int RunTags(int argc, char** argv);
int RunOutlook(int argc, char** argv);
int RunMakeMaildir(int argc, char** argv);

int main(int argc, char** argv)
{
    if (argc >= 2) {
        const std::string Command = argv[1];
        if (Command == "scan") return RunScan(argc - 1, argv + 1);
        if (Command == "similar") return RunSimilar(argc - 1, argv + 1);
        if (Command == "tags") return RunTags(argc - 1, argv + 1);
        if (Command == "outlook") return RunOutlook(argc - 1, argv + 1);
        if (Command == "make-maildir") return RunMakeMaildir(argc - 1, argv + 1);
    }
    std::fprintf(stderr,
                 "usage: corvane-bench scan --name|--content [--same-size] [--same-date] [filters] DIR...\n"
                 "       corvane-bench similar --threshold N DIR...\n"
                 "       corvane-bench tags FILE...\n"
                 "       corvane-bench outlook --mails|--contacts --subject|--content|--name|--email|--nickname\n"
                 "                             [--same-date] [--same-size] [--same-sender] [--parse-only]\n"
                 "       corvane-bench make-maildir DIR COUNT\n");
    return 2;
}
