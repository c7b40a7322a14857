// Wall-clock time: local calendar time read with milliseconds and converted
// back to the epoch, so that the result is the same whatever the time zone.

#include "time/local_clock.h"

namespace dorvane {

DorvaneTimeval currentTimeValue() {
    const LocalDateTime now = readLocalDateTime();
    std::tm local{};
    local.tm_year = now.year - 1900;
    local.tm_mon = now.month - 1;
    local.tm_mday = now.day;
    local.tm_hour = now.hour;
    local.tm_min = now.minute;
    local.tm_sec = now.second;
    // The runtime decides whether daylight saving time applies; in the hour
    // that repeats at its end, its choice decides which instant is meant.
    local.tm_isdst = -1;
    DorvaneTimeval value{};
    // The field is 32 bits wide: later times wrap, as the layout demands.
    value.tv_sec = static_cast<std::int32_t>(static_cast<std::uint32_t>(localTimeToEpoch(local)));
    value.tv_usec = now.milliseconds * 1000;
    return value;
}

std::int64_t currentTimeMicros() {
    const DorvaneTimeval value = currentTimeValue();
    return static_cast<std::int64_t>(value.tv_sec) * 1000000 + value.tv_usec;
}

}  // namespace dorvane

extern "C" DORVANE_API int64_t getcurrenttimems(void) {
    const DorvaneTimeval value = dorvane::currentTimeValue();
    return static_cast<int64_t>(value.tv_sec) * 1000 + value.tv_usec / 1000;
}
