#include "TwoThreads.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "CpuPinning.h"

void Backoff::wait() {
    for (int i = 0; i < 32; ++i) {
        cpuRelax();
    }
    if (++m_failures > 64) {
        std::this_thread::yield();
        m_failures = 0;
    }
}

double timeTwoThreads(const std::vector<int>& cpus, const std::function<void()>& produce,
                      const std::function<void()>& consume) {
    using Clock = std::chrono::steady_clock;
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    // Each thread moves to its CPU before it reports ready, so no timed work
    // runs anywhere else.
    auto side = [&](const std::function<void()>& body, std::size_t index) {
        return [&ready, &go, &cpus, &body, index] {
            if (cpus.size() >= 2) {
                pinCurrentThread(cpus[index]);
            }
            ready.fetch_add(1);
            while (!go.load()) {
                cpuRelax();
            }
            body();
        };
    };
    std::thread producer(side(produce, 0));
    std::thread consumer(side(consume, 1));
    while (ready.load() != 2) {
        std::this_thread::yield();
    }
    const auto start = Clock::now();
    go.store(true);
    producer.join();
    consumer.join();
    return std::chrono::duration<double>(Clock::now() - start).count();
}
