// Local calendar time on Windows: GetLocalTime, and the runtime's 64-bit
// local-time conversion back to the epoch.

#include <winsock2.h>
#include <windows.h>

#include <time.h>

#include "time/local_clock.h"

static_assert(sizeof(timeval) == sizeof(DorvaneTimeval), "struct timeval has two 32-bit fields");
static_assert(sizeof(timeval::tv_sec) == 4 && sizeof(timeval::tv_usec) == 4, "struct timeval has two 32-bit fields");

namespace dorvane {

LocalDateTime readLocalDateTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    LocalDateTime result;
    result.year = now.wYear;
    result.month = now.wMonth;
    result.day = now.wDay;
    result.hour = now.wHour;
    result.minute = now.wMinute;
    result.second = now.wSecond;
    result.milliseconds = now.wMilliseconds;
    return result;
}

std::int64_t localTimeToEpoch(std::tm& local) {
    return static_cast<std::int64_t>(_mktime64(&local));
}

}  // namespace dorvane

extern "C" __declspec(dllexport) int gettimeofday(struct timeval* tv, void* /*tz*/) {
    const DorvaneTimeval value = dorvane::currentTimeValue();
    tv->tv_sec = value.tv_sec;
    tv->tv_usec = value.tv_usec;
    return 0;
}
