#include "platform/FileTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

using namespace plat;

constexpr uint64_t Epoch = 116444736000000000ull;  // 1970-01-01 as a file time

uint64_t FileTimeOf(time_t Seconds, long Ns = 0) { return TimespecToFileTime(timespec{Seconds, Ns}); }

class ZoneGuard {
public:
    explicit ZoneGuard(const char* Zone) {
        const char* Old = std::getenv("TZ");
        FHad = Old != nullptr;
        if (Old) FOld = Old;
        setenv("TZ", Zone, 1);
        tzset();
    }
    ~ZoneGuard() {
        if (FHad)
            setenv("TZ", FOld.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool FHad = false;
    std::string FOld;
};

TEST(FileTime, TimespecRoundTrip) {
    EXPECT_EQ(FileTimeOf(0), Epoch);
    EXPECT_EQ(FileTimeOf(1, 100), Epoch + 10000001);
    EXPECT_EQ(FileTimeOf(-11644473600), 0u);      // 1601-01-01 itself
    EXPECT_EQ(FileTimeOf(-11644473601), 0u);      // before it: clamped, not wrapped
    EXPECT_EQ(FileTimeOf(std::numeric_limits<time_t>::max()), uint64_t(INT64_MAX));
    EXPECT_EQ(FileTimeOf(std::numeric_limits<time_t>::min()), 0u);
    for (uint64_t F : {uint64_t(0), Epoch, Epoch + 123456789, Epoch - 1, uint64_t(INT64_MAX)}) {
        const timespec T = FileTimeToTimespec(F);
        EXPECT_GE(T.tv_nsec, 0);
        EXPECT_LT(T.tv_nsec, 1000000000);
        EXPECT_EQ(TimespecToFileTime(T), F) << F;
    }
    // Beyond the signed range (no valid file time, but a reader may pass one).
    const timespec Far = FileTimeToTimespec(UINT64_MAX);
    EXPECT_GT(Far.tv_sec, 0);
    EXPECT_EQ(TimespecToFileTime(Far), uint64_t(INT64_MAX));
}

struct TZoneCase {
    const char* Zone;
    time_t Utc;
    int Year, Month, Day, Hour, Minute;
};
class LocalDateTime : public ::testing::TestWithParam<TZoneCase> {};

TEST_P(LocalDateTime, FollowsTheZoneRulesOfThatInstant) {
    const auto& C = GetParam();
    ZoneGuard Zone(C.Zone);
    const TDateTime Got = FileTimeToLocalDateTime(FileTimeOf(C.Utc));
    const TDateTime Want = EncodeDateTime(C.Year, C.Month, C.Day, C.Hour, C.Minute, 0, 0);
    EXPECT_NEAR(Got, Want, 1e-9) << C.Zone;
}
INSTANTIATE_TEST_SUITE_P(
    Zones, LocalDateTime,
    ::testing::Values(
        // 2021-01-15 12:00 UTC and 2021-07-15 12:00 UTC
        TZoneCase{"UTC0", 1610712000, 2021, 1, 15, 12, 0},
        TZoneCase{"UTC0", 1626350400, 2021, 7, 15, 12, 0},
        TZoneCase{"EST5EDT,M3.2.0,M11.1.0", 1610712000, 2021, 1, 15, 7, 0},
        TZoneCase{"EST5EDT,M3.2.0,M11.1.0", 1626350400, 2021, 7, 15, 8, 0},
        TZoneCase{"JST-9", 1610712000, 2021, 1, 15, 21, 0},
        TZoneCase{"IST-5:30", 1610712000, 2021, 1, 15, 17, 30},
        // across midnight and the year
        TZoneCase{"EST5EDT,M3.2.0,M11.1.0", 1609462800, 2020, 12, 31, 20, 0}));

TEST(FileTime, SameInstantDiffersBetweenZones) {
    const uint64_t F = FileTimeOf(1610712000);
    TDateTime A, B;
    {
        ZoneGuard Z("UTC0");
        A = FileTimeToLocalDateTime(F);
    }
    {
        ZoneGuard Z("EST5EDT,M3.2.0,M11.1.0");
        B = FileTimeToLocalDateTime(F);
    }
    EXPECT_NEAR(A - B, 5.0 / 24, 1e-9);
}

struct TDateCase {
    int Y, M, D, H, Mi, S, Ms;
    double Value;
    int DayOfWeek;  // 0 Sunday
};
class DateTimeCodec : public ::testing::TestWithParam<TDateCase> {};

TEST_P(DateTimeCodec, EncodeAndDecode) {
    const auto& C = GetParam();
    const TDateTime V = EncodeDateTime(C.Y, C.M, C.D, C.H, C.Mi, C.S, C.Ms);
    EXPECT_NEAR(V, C.Value, 1e-9);
    const TSystemTime S = DecodeDateTime(V);
    EXPECT_EQ(S.Year, C.Y);
    EXPECT_EQ(S.Month, C.M);
    EXPECT_EQ(S.Day, C.D);
    EXPECT_EQ(S.Hour, C.H);
    EXPECT_EQ(S.Minute, C.Mi);
    EXPECT_EQ(S.Second, C.S);
    EXPECT_EQ(S.Milliseconds, C.Ms);
    EXPECT_EQ(S.DayOfWeek, C.DayOfWeek);
}
INSTANTIATE_TEST_SUITE_P(Table, DateTimeCodec,
                         ::testing::Values(TDateCase{1899, 12, 30, 0, 0, 0, 0, 0.0, 6},
                                           TDateCase{1899, 12, 31, 12, 0, 0, 0, 1.5, 0},
                                           TDateCase{1900, 1, 1, 6, 0, 0, 0, 2.25, 1},
                                           TDateCase{2000, 2, 29, 0, 0, 0, 0, 36585.0, 2},
                                           TDateCase{1970, 1, 1, 0, 0, 0, 0, 25569.0, 4},
                                           TDateCase{2021, 7, 15, 23, 59, 59, 999, 44392.0 + 86399.999 / 86400, 4},
                                           TDateCase{1899, 12, 29, 6, 0, 0, 0, -1.25, 5},
                                           TDateCase{1601, 1, 1, 0, 0, 0, 0, -109205.0, 1}));

TEST(FileTime, DecodeRoundsToTheNextDayAtMidnight) {
    const TSystemTime S = DecodeDateTime(1.0 - 1e-12);
    EXPECT_EQ(S.Day, 31);
    EXPECT_EQ(S.Hour, 0);
    EXPECT_EQ(S.Milliseconds, 0);
}

} // namespace
