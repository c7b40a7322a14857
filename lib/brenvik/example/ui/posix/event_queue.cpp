#include "ui/posix/event_queue.h"

namespace example {

void EventQueue::postLog(const std::string& line) {
    DisplayEvent event;
    event.kind = DisplayEvent::Kind::Log;
    event.line = line;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(event));
    }
    ready_.notify_one();
}

void EventQueue::postProgress(const ProgressInfo& progress) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        latestProgress_ = progress;
        if (progressWaiting_) return;  // the waiting report now carries these values
        progressWaiting_ = true;
        DisplayEvent event;
        event.kind = DisplayEvent::Kind::Progress;
        events_.push_back(std::move(event));
    }
    ready_.notify_one();
}

void EventQueue::postFinish(const FinishInfo& finish) {
    DisplayEvent event;
    event.kind = DisplayEvent::Kind::Finish;
    event.finish = finish;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(event));
    }
    ready_.notify_one();
}

bool EventQueue::waitNext(DisplayEvent& event, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait_for(lock, timeout, [this] { return !events_.empty() || interrupted_; });
    if (interrupted_) {
        interrupted_ = false;
        return false;
    }
    if (events_.empty()) return false;
    event = std::move(events_.front());
    events_.pop_front();
    if (event.kind == DisplayEvent::Kind::Progress) {
        event.progress = latestProgress_;
        progressWaiting_ = false;
    }
    return true;
}

void EventQueue::interrupt() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        interrupted_ = true;
    }
    ready_.notify_all();
}

}  // namespace example
