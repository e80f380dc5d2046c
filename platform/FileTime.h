#pragma once
// File times (100 ns units since 1601-01-01 UTC) and the date-time value
// TDateTime (days since 1899-12-30, the time of day as fraction).
#include <cstdint>
#include <ctime>
#include <string>

using TDateTime = double;

namespace plat {

uint64_t TimespecToFileTime(const timespec& T);
timespec FileTimeToTimespec(uint64_t FileTime);

// Local time under the time zone's rules for that instant.
TDateTime FileTimeToLocalDateTime(uint64_t FileTime);
TDateTime NowDateTime();

// Calendar fields of a date-time value (local, as stored).
struct TSystemTime {
    int Year, Month, Day, Hour, Minute, Second, Milliseconds, DayOfWeek;
};
TSystemTime DecodeDateTime(TDateTime Value);
TDateTime EncodeDateTime(int Year, int Month, int Day, int Hour, int Minute, int Second, int Ms);

} // namespace plat
