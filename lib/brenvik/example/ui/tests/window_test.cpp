// The real progress window under Windows (or Wine): each test runs the window
// with a scripted worker body that posts through the same functions as the
// update worker and reads the controls back through the Win32 API.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "ui/posting.h"
#include "ui/win32/progress_window.h"
#include "worker/close_guard.h"

namespace example {
namespace {

using Clock = std::chrono::steady_clock;

std::string textOf(HWND control) {
    char buffer[512] = {};
    GetWindowTextA(control, buffer, sizeof buffer);
    return buffer;
}

int barOf(HWND bar) {
    return static_cast<int>(SendMessageA(bar, PBM_GETPOS, 0, 0));
}

bool waitFor(const std::function<bool()>& condition, int milliseconds = 5000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        Sleep(10);
    }
    return true;
}

std::string logText() {
    const HWND edit = windowControls().logEdit;
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(edit, &text[0], static_cast<int>(text.size()))));
    return text;
}

struct WindowRun {
    int exitCode = -1;
    long long milliseconds = 0;
    int launches = 0;
};

// Runs the window until it is destroyed. `body` runs as the worker.
WindowRun runWindow(const std::function<void()>& body, bool launchSucceeds = true) {
    WindowRun run;
    HelperViewHooks hooks;
    // The body may outlive the window (it runs on); it uses the caller's
    // locals, so the run is over only once the body has returned.
    auto done = std::make_shared<std::atomic<bool>>(false);
    hooks.workerBody = [body, done] {
        body();
        done->store(true);
    };
    hooks.launchTarget = [&run, launchSucceeds](std::string& error) {
        ++run.launches;
        if (!launchSucceeds) error = "CreateProcessA failed: Windows error 2, exe=x, cwd=(default)";
        return launchSucceeds;
    };
    const auto start = Clock::now();
    run.exitCode = runProgressWindow(GetModuleHandleA(nullptr), SW_SHOWNOACTIVATE, hooks);
    run.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    waitFor([&done] { return done->load(); }, 30000);
    return run;
}

void closeWindow() {
    PostMessageA(windowControls().mainWindow, WM_CLOSE, 0, 0);
}

TEST(ProgressWindow, ShowsReportsAndClosesAfterARestart) {
    std::string initial, overall, current, log, title, className;
    int overallBar = -1, currentBar = -1;
    const WindowRun run = runWindow([&] {
        const WindowControls& c = windowControls();
        initial = textOf(c.overallLabel) + "|" + textOf(c.currentLabel);
        title = textOf(c.mainWindow);
        char name[64] = {};
        GetClassNameA(c.mainWindow, name, sizeof name);
        className = name;
        postLogMessage("Latest version: 1.1.0");
        postProgressMessage({1, 3, 166, 500, 512, 1024, "setup.zip"});
        SetTimer(c.mainWindow, 77, 10, nullptr);  // a foreign timer changes nothing
        waitFor([&] { return textOf(c.currentLabel) == "setup.zip  50.0% (512/1024 bytes)"; });
        Sleep(100);
        overall = textOf(c.overallLabel);
        current = textOf(c.currentLabel);
        overallBar = barOf(c.overallBar);
        currentBar = barOf(c.currentBar);
        log = logText();
        postFinishMessage(true, "Downloaded and applied 3 file(s).", true, false);
    });
    EXPECT_EQ(initial, "0/0  0.0%|");
    EXPECT_EQ(title, "brenvik_helper");
    EXPECT_EQ(className, "BrenvikExampleWindow");
    EXPECT_EQ(overall, "1/3  16.6%");
    EXPECT_EQ(current, "setup.zip  50.0% (512/1024 bytes)");
    EXPECT_EQ(overallBar, 166);
    EXPECT_EQ(currentBar, 500);
    EXPECT_EQ(log, "Latest version: 1.1.0\r\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.launches, 1);
    EXPECT_GE(run.milliseconds, 2900);  // timer 2001 closes 3000 ms after the launch
}

TEST(ProgressWindow, FinishOutcomes) {
    const struct {
        const char* name;
        bool success, restart, close, launchSucceeds;
        bool staysOpen;
        int launches;
        const char* log;
    } cases[] = {
        {"failure", false, true, false, true, true, 0, "end\r\n"},
        {"restart fails", true, true, false, false, true, 1,
         "end\r\nCreateProcessA failed: Windows error 2, exe=x, cwd=(default)\r\n"},
        {"close at once", true, true, true, true, false, 0, "end\r\n"},
    };
    for (const auto& c : cases) {
        bool open = false;
        std::string log;
        const WindowRun run = runWindow(
            [&] {
                postFinishMessage(c.success, "end", c.restart, c.close);
                waitFor([] { return !IsWindow(windowControls().mainWindow) || !logText().empty(); });
                Sleep(300);
                open = IsWindow(windowControls().mainWindow) != FALSE;
                if (open) {
                    log = logText();
                    closeWindow();
                }
            },
            c.launchSucceeds);
        EXPECT_EQ(open, c.staysOpen) << c.name;
        if (c.staysOpen) {
            EXPECT_EQ(log, c.log) << c.name;
        }
        EXPECT_EQ(run.launches, c.launches) << c.name;
        EXPECT_EQ(run.exitCode, 0) << c.name;
        EXPECT_LT(run.milliseconds, 2900) << c.name;
    }
}

TEST(ProgressWindow, CloseWhileApplyingWaitsForTheEndOfApplying) {
    bool openWhileApplying = false;
    const WindowRun run = runWindow([&] {
        {
            ApplyScope applying(closeGuard());
            ASSERT_TRUE(applying.active());
            closeWindow();
            Sleep(300);
            openWhileApplying = IsWindow(windowControls().mainWindow) != FALSE;
            postLogMessage("file: last.dll");
        }
        postFinishMessage(true, "Downloaded and applied 1 file(s).", true, false);
    });
    EXPECT_TRUE(openWhileApplying);
    EXPECT_EQ(run.launches, 0);  // the user asked to close: no restart
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(displayModel().logText(), "Closing once the files being applied are complete.\r\nfile: last.dll\r\n"
                                        "Downloaded and applied 1 file(s).\r\n");
}

// A download far faster than the window can repaint: every log line and the
// finish arrive, progress is coalesced, and every record is freed.
TEST(ProgressWindow, FloodOfReportsLosesNothingAndLeaksNothing) {
    constexpr int kLines = 3000;
    constexpr int kReportsPerLine = 100;
    WindowSinkStats* stats = nullptr;
    std::uint64_t reports = 0, messages = 0;
    std::int64_t live = -1;
    const WindowRun run = runWindow([&] {
        stats = &windowSink()->stats();
        for (int i = 0; i < kLines; ++i) {
            postLogMessage("line " + std::to_string(i));
            for (int p = 0; p < kReportsPerLine; ++p) {
                postProgressMessage({1, 1, p, p, 1u, 2u, "big.bin"});
            }
        }
        postFinishMessage(true, "done", true, true);
    });
    reports = stats->progressReports.load();
    messages = stats->progressMessages.load();
    live = stats->liveRecords.load();
    ::testing::Test::RecordProperty("progressMessages", std::to_string(messages));
    ::testing::Test::RecordProperty("retriedPosts", std::to_string(stats->retriedPosts.load()));
    EXPECT_EQ(run.exitCode, 0);
    const std::string& log = displayModel().logText();
    EXPECT_EQ(log.rfind("line 0\r\n", 0), 0u);
    EXPECT_NE(log.find("line 2999\r\ndone\r\n"), std::string::npos);
    EXPECT_EQ(static_cast<int>(std::count(log.begin(), log.end(), '\n')), kLines + 1);
    EXPECT_EQ(reports, static_cast<std::uint64_t>(kLines) * kReportsPerLine);
    EXPECT_LT(messages, reports / 2);
    EXPECT_EQ(live, 0);
}

// A release of a few thousand files logs far more than an edit control takes
// by default; the control itself must still show every line and the finish.
TEST(ProgressWindow, LogViewKeepsEveryLineOfALongRun) {
    std::string expected;
    std::string shown;
    runWindow([&] {
        for (int i = 0; i < 400; ++i) {
            const std::string line =
                "Extracted: plugins/" + std::string(70, 'm') + "_" + std::to_string(10000 + i) + ".dll";
            postLogMessage(line);
            expected += line + "\r\n";
        }
        postFinishMessage(false, "end", true, false);
        expected += "end\r\n";
        // The finish is handled after every line before it.
        waitFor([] { return displayModel().finished(); }, 120000);
        shown = logText();
        closeWindow();
    });
    ASSERT_GT(expected.size(), 30000u);
    EXPECT_EQ(shown.size(), expected.size());
    EXPECT_TRUE(shown == expected) << "the log ends with: "
                                   << shown.substr(shown.size() - std::min<std::size_t>(shown.size(), 80));
}

TEST(WindowSink, FreesRecordsThatCannotBePosted) {
    HWND gone = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);
    WindowSink sink(gone);
    sink.postLog("lost");
    sink.postProgress({});
    sink.postFinish({});
    EXPECT_EQ(sink.stats().freedAfterFailure.load(), 3u);
    EXPECT_EQ(sink.stats().liveRecords.load(), 0);
}

}  // namespace
}  // namespace example
