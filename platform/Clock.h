#pragma once
#include <cstdint>

namespace plat {
// A monotonic millisecond clock and a sleep.
uint32_t GetTickCount();
void Sleep(uint32_t Milliseconds);
} // namespace plat
