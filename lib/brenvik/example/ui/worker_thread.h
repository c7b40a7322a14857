#pragma once
// The worker of a helper run, on a thread of its own that ends before the
// process does. Returning from the body is not the end of the thread: its
// thread-local data (the transfer and TLS libraries keep some) is torn down
// after, and the process's exit handlers free the same libraries' state. A
// process that exits while that teardown runs frees blocks twice, so the run
// joins the thread once the body has returned, and only a worker that is
// still busy at the end is cut off, by ending the process without its exit
// handlers.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace example {

class WorkerThread {
public:
    WorkerThread() = default;
    // A thread still running here is left to the process's quick exit.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs `body` on a new thread. A thread started before is joined if its
    // body has returned, and otherwise left to run on its own.
    void start(std::function<void()> body);
    // True when no body is running (none started, or it returned).
    bool done() const { return done_->load(); }
    // Waits up to `limit` for the body to return, then for the thread to end
    // entirely. False when the body was still running at the limit.
    bool finish(std::chrono::milliseconds limit);

private:
    // Joins a thread whose body returned; detaches one still running.
    void release();

    std::thread thread_;
    // Each thread has its own flag, so a worker left to run cannot speak for
    // the one after it.
    std::shared_ptr<std::atomic<bool>> done_ = std::make_shared<std::atomic<bool>>(true);
};

}  // namespace example
