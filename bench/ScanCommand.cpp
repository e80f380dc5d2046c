// Placeholder until the scan run is built.
#include <cstdio>

int RunScan(int, char**)
{
    std::fprintf(stderr, "corvane-bench: scan is not built yet\n");
    return 2;
}
