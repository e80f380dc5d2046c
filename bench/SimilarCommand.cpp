// Placeholder until the similar run is built.
#include <cstdio>

int RunSimilar(int, char**)
{
    std::fprintf(stderr, "corvane-bench: similar is not built yet\n");
    return 2;
}
