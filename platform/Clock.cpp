#include "platform/Clock.h"

#include <cerrno>
#include <ctime>

namespace plat {

uint32_t GetTickCount() {
    timespec T{};
    clock_gettime(CLOCK_MONOTONIC, &T);
    // Wraps after 49.7 days like the tick count it stands for.
    return uint32_t(uint64_t(T.tv_sec) * 1000u + uint64_t(T.tv_nsec) / 1000000u);
}

void Sleep(uint32_t Milliseconds) {
    timespec Left{time_t(Milliseconds / 1000), long(Milliseconds % 1000) * 1000000L};
    while (nanosleep(&Left, &Left) != 0 && errno == EINTR) {
    }
}

} // namespace plat
