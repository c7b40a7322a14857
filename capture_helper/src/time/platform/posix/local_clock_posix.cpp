// Local calendar time on POSIX systems: the real-time clock truncated to
// milliseconds, broken down in the process's time zone, and mktime back.

#include <time.h>

#include "time/local_clock.h"

namespace dorvane {

LocalDateTime readLocalDateTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    const time_t seconds = now.tv_sec;
    localtime_r(&seconds, &local);
    LocalDateTime result;
    result.year = local.tm_year + 1900;
    result.month = local.tm_mon + 1;
    result.day = local.tm_mday;
    result.hour = local.tm_hour;
    result.minute = local.tm_min;
    // A leap second shows as 60 on some systems; it converts back like 59 + 1.
    result.second = local.tm_sec;
    result.milliseconds = static_cast<int>(now.tv_nsec / 1000000);
    return result;
}

std::int64_t localTimeToEpoch(std::tm& local) {
    return static_cast<std::int64_t>(mktime(&local));
}

}  // namespace dorvane

extern "C" DORVANE_API int dorvane_gettimeofday(struct DorvaneTimeval* tv, void* /*tz*/) {
    *tv = dorvane::currentTimeValue();
    return 0;
}
