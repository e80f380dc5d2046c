#include "platform/FileTime.h"

#include <cmath>

namespace plat {

namespace {
// 100 ns ticks between 1601-01-01 and 1970-01-01.
constexpr int64_t UnixEpochTicks = 116444736000000000LL;
constexpr int64_t TicksPerSecond = 10000000LL;
constexpr double MsPerDay = 86400000.0;

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t Y, unsigned M, unsigned D) {
    Y -= M <= 2;
    const int64_t Era = (Y >= 0 ? Y : Y - 399) / 400;
    const unsigned Yoe = unsigned(Y - Era * 400);
    const unsigned Doy = (153 * (M + (M > 2 ? -3 : 9)) + 2) / 5 + D - 1;
    const unsigned Doe = Yoe * 365 + Yoe / 4 - Yoe / 100 + Doy;
    return Era * 146097 + int64_t(Doe) - 719468;
}

void CivilFromDays(int64_t Z, int& Y, int& M, int& D) {
    Z += 719468;
    const int64_t Era = (Z >= 0 ? Z : Z - 146096) / 146097;
    const unsigned Doe = unsigned(Z - Era * 146097);
    const unsigned Yoe = (Doe - Doe / 1460 + Doe / 36524 - Doe / 146096) / 365;
    const unsigned Doy = Doe - (365 * Yoe + Yoe / 4 - Yoe / 100);
    const unsigned Mp = (5 * Doy + 2) / 153;
    D = int(Doy - (153 * Mp + 2) / 5 + 1);
    M = int(Mp < 10 ? Mp + 3 : Mp - 9);
    Y = int(int64_t(Yoe) + Era * 400 + (M <= 2));
}

// 1899-12-30 counted from 1970-01-01.
const int64_t DateTimeEpochDays = DaysFromCivil(1899, 12, 30);

TDateTime LocalFromUnix(time_t Seconds, int Ms) {
    tm Local{};
    if (!localtime_r(&Seconds, &Local)) return 0;
    return EncodeDateTime(Local.tm_year + 1900, Local.tm_mon + 1, Local.tm_mday, Local.tm_hour,
                          Local.tm_min, Local.tm_sec, Ms);
}
} // namespace

uint64_t TimespecToFileTime(const timespec& T) {
    // A file system may hold any time stamp: clamp rather than overflow.
    const __int128 Ticks = __int128(T.tv_sec) * TicksPerSecond + T.tv_nsec / 100 + UnixEpochTicks;
    if (Ticks < 0) return 0;  // nothing before 1601
    if (Ticks > INT64_MAX) return uint64_t(INT64_MAX);
    return uint64_t(Ticks);
}

timespec FileTimeToTimespec(uint64_t FileTime) {
    const __int128 Rel = __int128(FileTime) - UnixEpochTicks;
    __int128 Sec = Rel / TicksPerSecond;
    __int128 Rem = Rel % TicksPerSecond;
    if (Rem < 0) {
        Rem += TicksPerSecond;
        --Sec;
    }
    timespec T{};
    T.tv_sec = time_t(Sec);  // at most 1.8e12 s: fits a 64-bit time_t
    T.tv_nsec = long(Rem * 100);
    return T;
}

TDateTime FileTimeToLocalDateTime(uint64_t FileTime) {
    const timespec T = FileTimeToTimespec(FileTime);
    return LocalFromUnix(T.tv_sec, int(T.tv_nsec / 1000000));
}

TDateTime NowDateTime() {
    timespec T{};
    clock_gettime(CLOCK_REALTIME, &T);
    return LocalFromUnix(T.tv_sec, int(T.tv_nsec / 1000000));
}

TDateTime EncodeDateTime(int Year, int Month, int Day, int Hour, int Minute, int Second, int Ms) {
    const double Days = double(DaysFromCivil(Year, unsigned(Month), unsigned(Day)) - DateTimeEpochDays);
    const double Time = (((Hour * 60.0 + Minute) * 60.0 + Second) * 1000.0 + Ms) / MsPerDay;
    // Before 1899-12-30 the time of day still counts away from the date.
    return Days < 0 ? Days - Time : Days + Time;
}

TSystemTime DecodeDateTime(TDateTime Value) {
    double IntPart = std::trunc(Value);
    int64_t TimeMs = std::llround(std::fabs(Value - IntPart) * MsPerDay);
    int64_t Days = int64_t(IntPart);
    if (TimeMs >= int64_t(MsPerDay)) {  // rounding reached midnight
        TimeMs -= int64_t(MsPerDay);
        Days += 1;  // the next day, also for dates before 1899-12-30
    }
    TSystemTime S{};
    CivilFromDays(Days + DateTimeEpochDays, S.Year, S.Month, S.Day);
    S.Hour = int(TimeMs / 3600000);
    S.Minute = int(TimeMs / 60000 % 60);
    S.Second = int(TimeMs / 1000 % 60);
    S.Milliseconds = int(TimeMs % 1000);
    S.DayOfWeek = int(((Days + 6) % 7 + 7) % 7);  // 0 Sunday; 1899-12-30 was a Saturday
    return S;
}

} // namespace plat
