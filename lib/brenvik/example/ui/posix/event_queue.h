#pragma once
// The message sink of the terminal view: a thread-safe queue that the worker
// fills and the view thread drains. Log lines and the finish record queue up
// without limit; progress reports are coalesced so that at most one waits,
// holding the newest values, at the place of the first one not yet taken.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "ui/posting.h"

namespace example {

struct DisplayEvent {
    enum class Kind { Log, Progress, Finish };
    Kind kind = Kind::Log;
    std::string line;
    ProgressInfo progress;
    FinishInfo finish;
};

class EventQueue : public MessageSink {
public:
    void postLog(const std::string& line) override;
    void postProgress(const ProgressInfo& progress) override;
    void postFinish(const FinishInfo& finish) override;

    // Takes the oldest event; false when none arrived within the timeout.
    bool waitNext(DisplayEvent& event, std::chrono::milliseconds timeout);

    // Wakes a waiting waitNext early (it then returns false).
    void interrupt();

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<DisplayEvent> events_;
    bool progressWaiting_ = false;
    ProgressInfo latestProgress_;
    bool interrupted_ = false;
};

}  // namespace example
