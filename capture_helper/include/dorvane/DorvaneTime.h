#pragma once
// Wall-clock time of the capture library: the system's local calendar time,
// read with millisecond resolution and converted back to a count since
// 1970-01-01 00:00:00 UTC through the C runtime's local-time conversion.
// Both functions keep no state and may be called from any thread.

#include <stdint.h>

#include "dorvane/DorvaneExport.h"

// The time value the library fills: Windows's struct timeval, two 32-bit
// fields. tv_usec is always a whole number of milliseconds times 1000;
// tv_sec does not fit times after 2038-01-19 03:14:07 UTC (they wrap).
struct DorvaneTimeval {
    int32_t tv_sec;
    int32_t tv_usec;
};

#ifdef __cplusplus
extern "C" {
#endif

#ifdef _WIN32
struct timeval;
// Fills *tv (of the struct timeval layout above) and returns 0; tz is never
// read. Exported under the plain name the capture application links to.
int gettimeofday(struct timeval* tv, void* tz);
#else
// The same function on Linux. It carries the library's prefix because an
// exported gettimeofday would take the place of the C library's for the
// whole process, whose struct timeval has 64-bit fields.
DORVANE_API int dorvane_gettimeofday(struct DorvaneTimeval* tv, void* tz);
#endif

// The same instant in milliseconds since 1970: tv_sec * 1000 + tv_usec / 1000
// of one reading, in 64-bit arithmetic.
DORVANE_API int64_t getcurrenttimems(void);

#ifdef __cplusplus
}
#endif
