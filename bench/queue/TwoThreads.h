#pragma once

#include <functional>
#include <vector>

// Waiting side of a full or empty queue. Polling too eagerly pulls the cache
// line with the positions away from the side that is working, so each failed
// attempt first pauses a little; after many, other work on the (possibly
// shared) machine gets the CPU.
class Backoff {
public:
    void wait();

private:
    unsigned m_failures = 0;
};

// Keeps the compiler from dropping copies whose results are never read.
inline void keepAlive(void* p) {
    asm volatile("" : : "r"(p) : "memory");
}

// Runs `produce` and `consume` on two threads that start together, the
// producer pinned to the first of `cpus` and the consumer to the second
// (unpinned if there are fewer than two), and returns the seconds from the
// start until both have ended.
double timeTwoThreads(const std::vector<int>& cpus, const std::function<void()>& produce,
                      const std::function<void()>& consume);
