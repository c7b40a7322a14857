#include <gtest/gtest.h>

#include "worker/update_worker.h"

namespace example {
namespace {

TEST(ProgressBridge, WorkedExamples) {
    const struct {
        const char* name;
        std::uint32_t received, expected;
        double percent;
        std::int32_t index, current, overall;
    } steps[] = {
        {"a.zip", 256, 1024, 25.0, 1, 250, 83}, {"a.zip", 1024, 1024, 100.0, 1, 1000, 333},
        {"b.zip", 0, 10, 0.0, 2, 0, 333},       {"b.zip", 1, 10, 25.04, 2, 250, 416},
        {"b.zip", 2, 10, 25.06, 2, 251, 417},   {"b.zip", 3, 10, 150.0, 2, 1000, 666},  // clamped
        {"b.zip", 3, 10, -7.0, 2, 0, 333},      {"c.zip", 5, 10, 50.0, 3, 500, 833},
        {"c.zip", 5, 10, 50.0, 3, 500, 833},  // same name: index stays
    };
    ProgressBridge bridge;
    bridge.setTotalFiles(3);
    for (const auto& s : steps) {
        const ProgressInfo p = bridge.report(s.name, s.received, s.expected, s.percent);
        EXPECT_EQ(p.fileIndex, s.index) << s.name << " " << s.percent;
        EXPECT_EQ(p.fileCount, 3);
        EXPECT_EQ(p.currentPermille, s.current) << s.name << " " << s.percent;
        EXPECT_EQ(p.overallPermille, s.overall) << s.name << " " << s.percent;
        EXPECT_EQ(p.downloadedBytes, s.received);
        EXPECT_EQ(p.totalBytes, s.expected);
        EXPECT_EQ(p.fileName, s.name);
    }
}

TEST(ProgressBridge, NoFileCountGivesNoOverallProgress) {
    ProgressBridge bridge;
    EXPECT_EQ(bridge.report("a", 5, 10, 50.0).overallPermille, 0);
}

TEST(LogFilter, DropsLinesWithUrlsOrTheRequestBody) {
    const struct {
        const char* line;
        bool shown;
    } cases[] = {
        {"Checking for updates from: http://localhost:8002/api/upgrade", false},
        {"Checking for updates from: https://updates.example/api", false},
        {"Sending POST data: {...}", false},
        {"\t\"client_version\" : \"1.0.0\",", false},
        {"Downloading [1/2]: system.ini", false},
        {"Successfully downloaded: system.ini", false},
        {"Downloading [1/2]: System.ini", true},  // case-sensitive
        {"Received response, parsing...", true},
        {"Failed to check for updates: HTTP error code: 404", true},
        {"", true},
    };
    for (const auto& c : cases) EXPECT_EQ(shouldShowLogLine(c.line), c.shown) << c.line;
}

TEST(DecimalString, PlainUnsignedDigits) {
    EXPECT_EQ(toDecimalString(0), "0");
    EXPECT_EQ(toDecimalString(42), "42");
    EXPECT_EQ(toDecimalString(4294967295u), "4294967295");
}

}  // namespace
}  // namespace example
