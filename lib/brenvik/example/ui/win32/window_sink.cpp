#include "ui/win32/window_sink.h"

namespace example {

namespace {
constexpr DWORD kFullQueueRetryMs = 5;
}

template <typename Record>
void WindowSink::postReliably(UINT message, Record* record) {
    for (;;) {
        if (PostMessageA(window_, message, 0, reinterpret_cast<LPARAM>(record))) return;
        // A full queue empties as the window works through it; a window that
        // is gone never takes the record.
        if (!IsWindow(window_)) {
            stats_.freedAfterFailure.fetch_add(1);
            release(record);
            return;
        }
        stats_.retriedPosts.fetch_add(1);
        Sleep(kFullQueueRetryMs);
    }
}

void WindowSink::postLog(const std::string& line) {
    auto* record = new std::string(line);
    stats_.liveRecords.fetch_add(1);
    postReliably(WM_APP_LOG, record);
}

void WindowSink::postFinish(const FinishInfo& finish) {
    auto* record = new FinishInfo(finish);
    stats_.liveRecords.fetch_add(1);
    postReliably(WM_APP_FINISHED, record);
}

void WindowSink::postProgress(const ProgressInfo& progress) {
    stats_.progressReports.fetch_add(1);
    ProgressInfo* record = nullptr;
    {
        std::lock_guard<std::mutex> lock(progressMutex_);
        if (waitingProgress_ != nullptr) {
            *waitingProgress_ = progress;
            return;
        }
        record = new ProgressInfo(progress);
        stats_.liveRecords.fetch_add(1);
        waitingProgress_ = record;
    }
    if (PostMessageA(window_, WM_APP_PROGRESS, 0, reinterpret_cast<LPARAM>(record))) {
        stats_.progressMessages.fetch_add(1);
        return;
    }
    // Progress is not worth waiting for: the next report tries again.
    {
        std::lock_guard<std::mutex> lock(progressMutex_);
        if (waitingProgress_ == record) waitingProgress_ = nullptr;
    }
    stats_.freedAfterFailure.fetch_add(1);
    release(record);
}

std::string* WindowSink::receiveLog(LPARAM lParam) {
    return reinterpret_cast<std::string*>(lParam);
}

FinishInfo* WindowSink::receiveFinish(LPARAM lParam) {
    return reinterpret_cast<FinishInfo*>(lParam);
}

ProgressInfo* WindowSink::receiveProgress(LPARAM lParam) {
    auto* record = reinterpret_cast<ProgressInfo*>(lParam);
    std::lock_guard<std::mutex> lock(progressMutex_);
    if (waitingProgress_ == record) waitingProgress_ = nullptr;
    return record;
}

}  // namespace example
