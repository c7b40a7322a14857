#pragma once
// The platform's part of the wall-clock functions: the local calendar time
// with milliseconds, and the C runtime's conversion of a local broken-down
// time back to seconds since the epoch. Implemented once per platform in
// platform/<name>/local_clock_<name>.cpp.

#include <cstdint>
#include <ctime>

#include "dorvane/DorvaneTime.h"

namespace dorvane {

struct LocalDateTime {
    int year = 1970;  // full year, e.g. 2026
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int milliseconds = 0;  // 0..999
};

// The system's local date and time now.
LocalDateTime readLocalDateTime();

// Seconds since 1970 for a local broken-down time, or -1 where the runtime
// cannot represent it (its own error value).
std::int64_t localTimeToEpoch(std::tm& local);

// The portable part: one reading converted as the library's time functions
// give it.
DorvaneTimeval currentTimeValue();

// Microseconds since 1970 of one reading (seconds * 1,000,000 + microseconds
// in 64-bit arithmetic): the capture thread's time stamps.
std::int64_t currentTimeMicros();

}  // namespace dorvane
