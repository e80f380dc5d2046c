// Placeholder until the tags run is built.
#include <cstdio>

int RunTags(int, char**)
{
    std::fprintf(stderr, "corvane-bench: tags is not built yet\n");
    return 2;
}
