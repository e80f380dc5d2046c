#include "platform/FileTime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace {

using namespace plat;

constexpr uint64_t Epoch = 116444736000000000ull;  // 1970-01-01 as a file time

uint64_t FileTimeOf(time_t Seconds, long Ns = 0) { return TimespecToFileTime(timespec{Seconds, Ns}); }

// Any time stamp a file system holds is clamped, never wrapped; valid file
// times go there and back unchanged.
TEST(FileTime, TimespecRoundTripAndClamps) {
    EXPECT_EQ(FileTimeOf(0), Epoch);
    EXPECT_EQ(FileTimeOf(-11644473600), 0u);  // 1601-01-01 itself
    EXPECT_EQ(FileTimeOf(-11644473601), 0u);
    EXPECT_EQ(FileTimeOf(std::numeric_limits<time_t>::max()), uint64_t(INT64_MAX));
    EXPECT_EQ(FileTimeOf(std::numeric_limits<time_t>::min()), 0u);
    for (uint64_t F : {uint64_t(0), Epoch, Epoch + 123456789, Epoch - 1, uint64_t(INT64_MAX)}) {
        const timespec T = FileTimeToTimespec(F);
        EXPECT_TRUE(T.tv_nsec >= 0 && T.tv_nsec < 1000000000) << F;
        EXPECT_EQ(TimespecToFileTime(T), F) << F;
    }
    EXPECT_EQ(TimespecToFileTime(FileTimeToTimespec(UINT64_MAX)), uint64_t(INT64_MAX));
}

// Days since 1899-12-30, the time of day a fraction counted away from it.
TEST(FileTime, DateTimeEncodeAndDecode) {
    const struct {
        int Y, M, D, H, Mi, S, Ms;
        double Value;
        int DayOfWeek;  // 0 Sunday
    } Cases[] = {
        {1899, 12, 30, 0, 0, 0, 0, 0.0, 6},   {1899, 12, 31, 12, 0, 0, 0, 1.5, 0},  {2000, 2, 29, 0, 0, 0, 0, 36585.0, 2},
        {1899, 12, 29, 6, 0, 0, 0, -1.25, 5}, {1601, 1, 1, 0, 0, 0, 0, -109205.0, 1},
        {2021, 7, 15, 23, 59, 59, 999, 44392.0 + 86399.999 / 86400, 4}};
    for (const auto& C : Cases) {
        EXPECT_NEAR(EncodeDateTime(C.Y, C.M, C.D, C.H, C.Mi, C.S, C.Ms), C.Value, 1e-9);
        const TSystemTime S = DecodeDateTime(C.Value);
        EXPECT_EQ((std::vector<int>{S.Year, S.Month, S.Day, S.Hour, S.Minute, S.Second, S.Milliseconds, S.DayOfWeek}),
                  (std::vector<int>{C.Y, C.M, C.D, C.H, C.Mi, C.S, C.Ms, C.DayOfWeek})) << C.Value;
    }
    const TSystemTime Midnight = DecodeDateTime(1.0 - 1e-12);  // rounds to the next day
    EXPECT_EQ(std::vector<int>({Midnight.Day, Midnight.Hour, Midnight.Milliseconds}), std::vector<int>({31, 0, 0}));
}

} // namespace
