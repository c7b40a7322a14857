#include <gtest/gtest.h>

#include <thread>

#include "ui/posix/event_queue.h"
#include "ui/posix/terminal_view.h"

namespace example {
namespace {

using std::chrono::milliseconds;

ProgressInfo progressOf(std::int32_t index, std::uint32_t received) {
    return {index, 3, index * 100, 500, received, 1024, "f" + std::to_string(index)};
}

TEST(EventQueue, KeepsLogAndFinishOrderAndCoalescesProgress) {
    EventQueue queue;
    queue.postLog("a");
    queue.postProgress(progressOf(1, 1));
    queue.postProgress(progressOf(1, 2));
    queue.postLog("b");
    queue.postProgress(progressOf(2, 3));  // still the same waiting report
    queue.postFinish({true, true, false, "end"});

    DisplayEvent event;
    ASSERT_TRUE(queue.waitNext(event, milliseconds(0)));
    EXPECT_EQ(event.line, "a");
    ASSERT_TRUE(queue.waitNext(event, milliseconds(0)));
    ASSERT_EQ(event.kind, DisplayEvent::Kind::Progress);
    EXPECT_EQ(event.progress.fileIndex, 2);
    EXPECT_EQ(event.progress.downloadedBytes, 3u);
    ASSERT_TRUE(queue.waitNext(event, milliseconds(0)));
    EXPECT_EQ(event.line, "b");
    ASSERT_TRUE(queue.waitNext(event, milliseconds(0)));
    ASSERT_EQ(event.kind, DisplayEvent::Kind::Finish);
    EXPECT_EQ(event.finish.message, "end");
    EXPECT_FALSE(queue.waitNext(event, milliseconds(0)));

    // Once taken, the next report queues anew.
    queue.postProgress(progressOf(3, 9));
    ASSERT_TRUE(queue.waitNext(event, milliseconds(0)));
    EXPECT_EQ(event.progress.downloadedBytes, 9u);
}

TEST(EventQueue, ConcurrentProducerLosesNoLogLine) {
    EventQueue queue;
    constexpr int kLines = 20000;
    std::thread producer([&queue] {
        for (int i = 0; i < kLines; ++i) {
            queue.postLog(std::to_string(i));
            for (std::uint32_t p = 0; p < 10; ++p) queue.postProgress(progressOf(1, p));
        }
        queue.postFinish({false, true, false, "stop"});
    });
    int nextLine = 0;
    DisplayEvent event;
    for (;;) {
        ASSERT_TRUE(queue.waitNext(event, milliseconds(5000)));
        if (event.kind == DisplayEvent::Kind::Finish) break;
        if (event.kind == DisplayEvent::Kind::Log) {
            ASSERT_EQ(event.line, std::to_string(nextLine++));
        }
    }
    producer.join();
    EXPECT_EQ(nextLine, kLines);
    EXPECT_EQ(event.finish.message, "stop");
}

struct Captured {
    std::string text;
    TerminalView::Writer writer() {
        return [this](const std::string& s) { text += s; };
    }
};

TEST(TerminalView, PlainOutputCarriesOnlyTheLog) {
    Captured out;
    TerminalView view(out.writer(), false);
    view.appendLogLine("Checking");
    view.showProgress(progressOf(1, 512));
    view.appendLogLine("Extracted: a");
    EXPECT_EQ(view.applyFinish({false, true, false, "Update check failed: x"}), FinishAction::StayOpen);
    EXPECT_EQ(out.text, "Checking\nExtracted: a\nUpdate check failed: x\n");
    EXPECT_EQ(view.model().logText(), "Checking\r\nExtracted: a\r\nUpdate check failed: x\r\n");
}

TEST(TerminalView, TerminalRedrawsTheProgressLinesBelowTheLog) {
    Captured out;
    TerminalView view(out.writer(), true);
    view.appendLogLine("one");
    view.showProgress(progressOf(1, 512));
    view.appendLogLine("two");
    view.applyFinish({true, true, false, "done"});
    const std::string erase = "\x1b[2A\r\x1b[J";
    const std::string lines = "1/3  10.0%\nf1  50.0% (512/1024 bytes)\n";
    EXPECT_EQ(out.text, "one\n" + lines + erase + "two\n" + lines + "done\n");
}

// Text from the server or an archive reaches the terminal with whatever it
// could act on shown instead: no fake line, no cursor movement, no colour.
TEST(TerminalView, ShowsControlCharactersInsteadOfActingOnThem) {
    const struct {
        const char* what;
        std::string text;
        std::string shown;
    } cases[] = {
        {"plain text and UTF-8", "Extracted: caf\xc3\xa9/\xe2\x82\xac.txt", "Extracted: caf\xc3\xa9/\xe2\x82\xac.txt"},
        {"a fake success line", "x\r\x1b[2KUpdate applied\n", "x\\x0d\\x1b[2KUpdate applied\\x0a"},
        {"tab, bell and delete",
         "a\tb\x07"
         "c\x7f",
         "a\\x09b\\x07c\\x7f"},
        {"a C1 control in UTF-8",
         "a\xc2\x9b"
         "31mred",
         "a\\xc2\\x9b31mred"},
        {"a lone 8-bit CSI",
         "a\x9b"
         "31m",
         "a\\x9b31m"},
        {"an overlong and a cut sequence", "\xc0\xaf|\xe2\x82", "\\xc0\\xaf|\\xe2\\x82"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(terminalSafe(c.text), c.shown);
    }
    Captured out;
    TerminalView view(out.writer(), true);
    view.appendLogLine("file: \x1b[31mred");
    view.showProgress({1, 1, 0, 1, 0, 1, "\x1b[1A"});
    view.applyFinish({false, true, false, "failed\x1b]0;title\x07"});
    EXPECT_EQ(out.text.find("\x1b[31m"), std::string::npos);
    EXPECT_EQ(out.text.find("\x1b[1A"), std::string::npos);
    EXPECT_EQ(out.text.find("\x1b]0;"), std::string::npos);
    EXPECT_EQ(view.model().logText().find("\x1b[31m"), 0u + std::string("file: ").size());
}

}  // namespace
}  // namespace example
