#include <gtest/gtest.h>

#include "ui/display_model.h"

namespace example {
namespace {

TEST(FormatPermille, ClampsAndWritesOneDecimal) {
    const struct {
        std::int32_t permille;
        const char* text;
    } cases[] = {
        {0, "0.0%"}, {5, "0.5%"}, {333, "33.3%"}, {999, "99.9%"}, {1000, "100.0%"}, {1500, "100.0%"}, {-3, "0.0%"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatPermille(c.permille), c.text) << c.permille;
}

TEST(DisplayModel, StartsEmpty) {
    DisplayModel model;
    EXPECT_EQ(model.overallLabel(), "0/0  0.0%");
    EXPECT_EQ(model.currentLabel(), "");
    EXPECT_EQ(model.overallBar(), 0);
    EXPECT_EQ(model.currentBar(), 0);
    EXPECT_EQ(model.logText(), "");
}

TEST(DisplayModel, ProgressReportSetsLabelsAndBars) {
    const struct {
        ProgressInfo report;
        const char* overall;
        const char* current;
    } cases[] = {
        {{1, 3, 166, 500, 512, 1024, "setup.zip"}, "1/3  16.6%", "setup.zip  50.0% (512/1024 bytes)"},
        {{2, 3, 666, 0, 0, 7, "b.dll"}, "2/3  66.6%", "b.dll  0.0% (0/7 bytes)"},
        // Byte counts print unsigned, index and count signed.
        {{-1, 0, 0, 1000, 4294967295u, 4294967295u, "big"}, "-1/0  0.0%", "big  100.0% (4294967295/4294967295 bytes)"},
    };
    for (const auto& c : cases) {
        DisplayModel model;
        model.showProgress(c.report);
        EXPECT_EQ(model.overallLabel(), c.overall);
        EXPECT_EQ(model.currentLabel(), c.current);
        EXPECT_EQ(model.overallBar(), c.report.overallPermille);
        EXPECT_EQ(model.currentBar(), c.report.currentPermille);
    }
}

TEST(DisplayModel, ResetRestoresInitialTexts) {
    DisplayModel model;
    model.showProgress({1, 1, 1000, 1000, 1, 1, "a"});
    model.appendLogLine("x");
    model.reset();
    EXPECT_EQ(model.overallLabel(), "0/0  0.0%");
    EXPECT_EQ(model.currentLabel(), "");
    EXPECT_EQ(model.currentBar(), 0);
    EXPECT_EQ(model.logText(), "");
}

TEST(DisplayModel, LogLinesEndInCrLf) {
    DisplayModel model;
    model.appendLogLine("one");
    model.appendLogLine("");
    model.appendLogLine("two");
    EXPECT_EQ(model.logText(), "one\r\n\r\ntwo\r\n");
}

TEST(DisplayModel, FinishDecision) {
    const struct {
        bool success, restartTarget, closeWindow;
        FinishAction action;
    } cases[] = {
        {false, false, false, FinishAction::StayOpen},       {false, true, false, FinishAction::StayOpen},
        {false, true, true, FinishAction::StayOpen},         {true, false, false, FinishAction::StayOpen},
        {true, true, false, FinishAction::RestartThenClose}, {true, false, true, FinishAction::CloseNow},
        {true, true, true, FinishAction::CloseNow},
    };
    for (const auto& c : cases) {
        DisplayModel model;
        model.showProgress({1, 2, 250, 500, 5, 10, "f"});
        const FinishAction action = model.applyFinish({c.success, c.restartTarget, c.closeWindow, "done"});
        EXPECT_EQ(action, c.action) << c.success << c.restartTarget << c.closeWindow;
        EXPECT_EQ(model.logText(), "done\r\n");
        // Labels and bars keep their last values.
        EXPECT_EQ(model.overallLabel(), "1/2  25.0%");
        EXPECT_EQ(model.currentBar(), 500);
    }
}

TEST(DisplayModel, LaunchResultDecidesTheCloseTimer) {
    DisplayModel started;
    started.applyFinish({true, true, false, "Already using the latest version."});
    EXPECT_TRUE(started.applyLaunchResult(true, ""));
    EXPECT_EQ(started.logText(), "Already using the latest version.\r\n");

    DisplayModel failed;
    failed.applyFinish({true, true, false, "Already using the latest version."});
    EXPECT_FALSE(failed.applyLaunchResult(false, "CreateProcessA failed: Windows error 2"));
    EXPECT_EQ(failed.logText(), "Already using the latest version.\r\nCreateProcessA failed: Windows error 2\r\n");
}

TEST(DisplayModel, OnlyTimer2001Closes) {
    EXPECT_TRUE(DisplayModel::isCloseTimer(2001));
    EXPECT_FALSE(DisplayModel::isCloseTimer(2000));
    EXPECT_FALSE(DisplayModel::isCloseTimer(1));
}

}  // namespace
}  // namespace example
