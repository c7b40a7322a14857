// The library's wall-clock functions through its exports.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "dorvane/DorvaneTime.h"
#include "time_test_support.h"

namespace {

std::int64_t systemMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::int64_t msOf(const DorvaneTimeval& value) {
    return static_cast<std::int64_t>(value.tv_sec) * 1000 + value.tv_usec / 1000;
}

TEST(TimeFunctions, MicrosecondsAreWholeMilliseconds) {
    for (int i = 0; i < 2000; ++i) {
        const DorvaneTimeval value = dorvane::testing::readTimeval(nullptr);
        ASSERT_EQ(value.tv_usec % 1000, 0) << value.tv_usec;
        ASSERT_GE(value.tv_usec, 0);
        ASSERT_LE(value.tv_usec, 999000);
    }
}

TEST(TimeFunctions, AgreeWithTheSystemClockAndWithEachOther) {
    for (int i = 0; i < 200; ++i) {
        const std::int64_t before = systemMs();
        const DorvaneTimeval first = dorvane::testing::readTimeval(nullptr);
        const std::int64_t ms = getcurrenttimems();
        const DorvaneTimeval last = dorvane::testing::readTimeval(nullptr);
        const std::int64_t after = systemMs();
        // Present-day values are far beyond 2^31 milliseconds.
        ASSERT_GT(ms, std::int64_t{1} << 40);
        ASSERT_LE(msOf(first), ms);
        ASSERT_LE(ms, msOf(last));
        // The library truncates to milliseconds, as does the reference.
        ASSERT_LE(before - 2, msOf(first));
        ASSERT_LE(msOf(last), after + 2);
    }
}

TEST(TimeFunctions, TheTimeZoneArgumentIsNeverRead) {
    // Any read through this pointer would crash the test.
    void* const poison = reinterpret_cast<void*>(static_cast<std::uintptr_t>(8));
    const DorvaneTimeval value = dorvane::testing::readTimeval(poison);
    EXPECT_NEAR(static_cast<double>(msOf(value)), static_cast<double>(systemMs()), 1000.0);
}

}  // namespace
