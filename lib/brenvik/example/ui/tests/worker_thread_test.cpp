#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "ui/worker_thread.h"

namespace example {
namespace {

using std::chrono::milliseconds;

std::atomic<bool> g_tornDown{false};

// Stands for what the transfer and TLS libraries keep per thread: torn down
// only after the body has returned, as the thread ends.
struct ThreadState {
    ~ThreadState() {
        std::this_thread::sleep_for(milliseconds(200));
        g_tornDown.store(true);
    }
};

// Once finish() says the worker is over, its thread's teardown is over too:
// the process may run its exit handlers, which free the same libraries'
// state, without the two meeting.
TEST(WorkerThread, FinishWaitsForTheThreadsTeardown) {
    g_tornDown.store(false);
    WorkerThread worker;
    EXPECT_TRUE(worker.done());
    worker.start([] {
        thread_local ThreadState state;
        (void)&state;
    });
    ASSERT_TRUE(worker.finish(std::chrono::seconds(10)));
    EXPECT_TRUE(g_tornDown.load());
    EXPECT_TRUE(worker.done());
}

// A worker still busy at the limit is reported, and the run goes on without
// it; a second worker may start once the first has returned.
TEST(WorkerThread, ABusyWorkerIsReportedAndASecondOneMayFollow) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    WorkerThread worker;
    worker.start([released] { released.wait(); });
    EXPECT_FALSE(worker.done());
    EXPECT_FALSE(worker.finish(milliseconds(50)));
    release.set_value();
    EXPECT_TRUE(worker.finish(std::chrono::seconds(10)));

    std::atomic<int> runs{0};
    worker.start([&runs] { ++runs; });
    EXPECT_TRUE(worker.finish(std::chrono::seconds(10)));
    EXPECT_EQ(runs.load(), 1);
}

}  // namespace
}  // namespace example
