#include "ui/worker_thread.h"

#include <utility>

namespace example {

WorkerThread::~WorkerThread() {
    release();
}

void WorkerThread::release() {
    if (!thread_.joinable()) return;
    if (done_->load()) {
        thread_.join();
    } else {
        thread_.detach();
    }
}

void WorkerThread::start(std::function<void()> body) {
    release();
    auto done = std::make_shared<std::atomic<bool>>(false);
    done_ = done;
    thread_ = std::thread([done, body = std::move(body)] {
        if (body) body();
        done->store(true);
    });
}

bool WorkerThread::finish(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done_->load() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!done_->load()) return false;
    if (thread_.joinable()) thread_.join();
    return true;
}

}  // namespace example
