// The wall-clock functions give the same instant whatever the process's time
// zone: local time is read and converted back with the same rules.

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <string>

#include "dorvane/DorvaneTime.h"

namespace {

std::int64_t systemMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        const char* old = getenv("TZ");
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (hadOld_) {
            setenv("TZ", old_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    bool hadOld_ = false;
    std::string old_;
};

TEST(TimeZones, TheInstantDoesNotDependOnTheZone) {
    // Whole-hour, half-hour and quarter-hour offsets, both hemispheres'
    // daylight saving rules, and a zone with a 30-minute shift.
    const char* const zones[] = {"UTC0",           "America/New_York", "Asia/Kolkata",
                                 "Asia/Kathmandu", "Pacific/Chatham",  "Australia/Lord_Howe",
                                 "Europe/Berlin",  "America/St_Johns"};
    for (const char* zone : zones) {
        SCOPED_TRACE(zone);
        const TimeZone scoped(zone);
        const std::int64_t before = systemMs();
        const std::int64_t ms = getcurrenttimems();
        const std::int64_t after = systemMs();
        EXPECT_LE(before - 2, ms);
        EXPECT_LE(ms, after + 2);
    }
}

}  // namespace
