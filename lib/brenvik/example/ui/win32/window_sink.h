#pragma once
// Posting to the progress window. Each message carries a heap record that the
// window procedure frees; the sink keeps three promises that a bare
// PostMessageA does not:
//   - at most one progress report waits in the window's queue; newer reports
//     overwrite the waiting record, because the window shows only the newest,
//     so a fast download cannot fill the queue;
//   - a log line or finish record is never dropped: when the queue is full the
//     post is retried until it fits, in order;
//   - a record whose post fails because the window is gone is freed.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "ui/posting.h"

namespace example {

constexpr UINT WM_APP_LOG = WM_APP + 1;
constexpr UINT WM_APP_PROGRESS = WM_APP + 2;
constexpr UINT WM_APP_FINISHED = WM_APP + 3;

// Counters that show how the sink coped; read by tests and diagnostics.
struct WindowSinkStats {
    std::atomic<std::uint64_t> progressReports{0};    // postProgress calls
    std::atomic<std::uint64_t> progressMessages{0};   // WM_APP_PROGRESS actually posted
    std::atomic<std::uint64_t> retriedPosts{0};       // posts repeated after a full queue
    std::atomic<std::uint64_t> freedAfterFailure{0};  // records freed because the window was gone
    std::atomic<std::int64_t> liveRecords{0};         // allocated and not yet freed
};

class WindowSink : public MessageSink {
public:
    explicit WindowSink(HWND window) : window_(window) {}

    void postLog(const std::string& line) override;
    void postProgress(const ProgressInfo& progress) override;
    void postFinish(const FinishInfo& finish) override;

    // Window thread: takes ownership of a record that arrived with a message.
    std::string* receiveLog(LPARAM lParam);
    ProgressInfo* receiveProgress(LPARAM lParam);
    FinishInfo* receiveFinish(LPARAM lParam);
    // Window thread: frees a record once handled.
    template <typename Record>
    void release(Record* record) {
        if (record == nullptr) return;
        delete record;
        stats_.liveRecords.fetch_sub(1);
    }

    WindowSinkStats& stats() { return stats_; }

private:
    template <typename Record>
    void postReliably(UINT message, Record* record);

    HWND window_;
    std::mutex progressMutex_;
    ProgressInfo* waitingProgress_ = nullptr;  // posted, not yet taken by the window
    WindowSinkStats stats_;
};

}  // namespace example
