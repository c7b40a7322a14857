// Moves a byte stream from a producer thread to a consumer thread through a
// default-size CMemMq and through boost::lockfree::spsc_queue<unsigned char>
// (bulk push and pop), chunk by chunk, and copies the same chunks with
// memcpy on one thread as the bandwidth bound. Prints the median of several
// runs for each chunk size.
#include <boost/lockfree/spsc_queue.hpp>

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "pellix/MemMq.h"

namespace {

constexpr int kQueueSize = 1000000;
constexpr std::size_t kQueueHolds = kQueueSize - 9; // what CMemMq holds at most
constexpr std::size_t kChunkSizes[] = {64, 1024, 4096, 65536};

using Clock = std::chrono::steady_clock;

struct Options {
    std::uint64_t totalBytes = std::uint64_t{4096} << 20;
    int runs = 5;
};

bool parseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--mib" || arg == "--runs") && i + 1 < argc) {
            const long value = std::strtol(argv[++i], nullptr, 10);
            if (value <= 0) {
                return false;
            }
            if (arg == "--mib") {
                options.totalBytes = static_cast<std::uint64_t>(value) << 20;
            } else {
                options.runs = static_cast<int>(value);
            }
        } else {
            return false;
        }
    }
    return true;
}

// CPUs this process may run on; producer and consumer go to the first two.
std::vector<int> allowedCpus()
{
    std::vector<int> cpus;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (CPU_ISSET(cpu, &set)) {
                cpus.push_back(cpu);
            }
        }
    }
    return cpus;
}

void pinTo(std::thread& thread, const std::vector<int>& cpus, std::size_t index)
{
    if (cpus.size() < 2) {
        return;
    }
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpus[index % cpus.size()], &set);
    pthread_setaffinity_np(thread.native_handle(), sizeof set, &set);
}

void cpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Waiting side of a full or empty queue. Polling too eagerly pulls the
// cache line with the positions away from the side that is working, so each
// failed attempt first pauses a little; after many, other work on the
// (possibly shared) machine gets the CPU.
struct Backoff {
    unsigned failures = 0;
    void wait()
    {
        for (int i = 0; i < 32; ++i) {
            cpuRelax();
        }
        if (++failures > 64) {
            std::this_thread::yield();
            failures = 0;
        }
    }
};

// Keeps the compiler from dropping copies whose results are never read.
void touch(void* p)
{
    asm volatile("" : : "r"(p) : "memory");
}

template <typename Produce, typename Consume>
double timeTwoThreads(const std::vector<int>& cpus, Produce produce, Consume consume)
{
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    auto wrap = [&](auto body) {
        return [&ready, &go, body]() mutable {
            ready.fetch_add(1);
            while (!go.load()) {
            }
            body();
        };
    };
    std::thread producer(wrap(produce));
    std::thread consumer(wrap(consume));
    pinTo(producer, cpus, 0);
    pinTo(consumer, cpus, 1);
    while (ready.load() != 2) {
        std::this_thread::yield();
    }
    const auto start = Clock::now();
    go.store(true);
    producer.join();
    consumer.join();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double runMemMq(const std::vector<int>& cpus, std::size_t chunk, std::uint64_t total)
{
    CMemMq queue(kQueueSize);
    const std::uint64_t chunks = total / chunk;
    const int len = static_cast<int>(chunk);
    return timeTwoThreads(
        cpus,
        [&] {
            std::vector<unsigned char> src(chunk, 0x5A);
            Backoff backoff;
            for (std::uint64_t i = 0; i < chunks; ++i) {
                while (!queue.Enqueue(src.data(), len)) {
                    backoff.wait();
                }
            }
        },
        [&] {
            std::vector<unsigned char> dst(chunk);
            Backoff backoff;
            for (std::uint64_t i = 0; i < chunks; ++i) {
                while (!queue.Dequeue(dst.data(), len)) {
                    backoff.wait();
                }
                touch(dst.data());
            }
        });
}

double runBoost(const std::vector<int>& cpus, std::size_t chunk, std::uint64_t total)
{
    boost::lockfree::spsc_queue<unsigned char> queue(kQueueHolds);
    const std::uint64_t bytes = total / chunk * chunk;
    return timeTwoThreads(
        cpus,
        [&] {
            std::vector<unsigned char> src(chunk, 0x5A);
            Backoff backoff;
            for (std::uint64_t sent = 0; sent < bytes; sent += chunk) {
                std::size_t done = 0;
                while (done < chunk) {
                    const std::size_t n = queue.push(src.data() + done, chunk - done);
                    if (n == 0) {
                        backoff.wait();
                    }
                    done += n;
                }
            }
        },
        [&] {
            std::vector<unsigned char> dst(chunk);
            Backoff backoff;
            for (std::uint64_t received = 0; received < bytes; received += chunk) {
                std::size_t done = 0;
                while (done < chunk) {
                    const std::size_t n = queue.pop(dst.data() + done, chunk - done);
                    if (n == 0) {
                        backoff.wait();
                    }
                    done += n;
                }
                touch(dst.data());
            }
        });
}

// One copy per chunk into a ring of the queue's size, on one thread: what a
// single memory copy of the stream costs.
double runMemcpy(const std::vector<int>& cpus, std::size_t chunk, std::uint64_t total)
{
    std::vector<unsigned char> src(chunk, 0x5A);
    std::vector<unsigned char> ring(kQueueHolds + 1);
    const std::uint64_t chunks = total / chunk;
    double seconds = 0;
    std::thread worker([&] {
        const auto start = Clock::now();
        std::size_t offset = 0;
        for (std::uint64_t i = 0; i < chunks; ++i) {
            if (offset + chunk > ring.size()) {
                offset = 0;
            }
            std::memcpy(ring.data() + offset, src.data(), chunk);
            touch(ring.data() + offset);
            offset += chunk;
        }
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
    });
    pinTo(worker, cpus, 0);
    worker.join();
    return seconds;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 != 0 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s [--mib <MiB per run, default 4096>] [--runs <count, default 5>]\n", argv[0]);
        return 2;
    }
    const std::vector<int> cpus = allowedCpus();
    std::printf("%llu MiB per run, median of %d runs, queue of %d bytes, %s\n",
                static_cast<unsigned long long>(options.totalBytes >> 20), options.runs, kQueueSize,
                cpus.size() >= 2 ? "producer and consumer pinned to two CPUs" : "threads not pinned");
    std::printf("%8s %14s %14s %14s %10s %10s\n", "chunk", "CMemMq GB/s", "boost GB/s", "memcpy GB/s",
                "vs boost", "vs memcpy");

    for (const std::size_t chunk : kChunkSizes) {
        std::vector<double> memMq, boost, copy;
        for (int run = 0; run < options.runs; ++run) {
            const std::uint64_t bytes = options.totalBytes / chunk * chunk;
            memMq.push_back(bytes / runMemMq(cpus, chunk, options.totalBytes) / 1e9);
            boost.push_back(bytes / runBoost(cpus, chunk, options.totalBytes) / 1e9);
            copy.push_back(bytes / runMemcpy(cpus, chunk, options.totalBytes) / 1e9);
        }
        const double m = median(memMq), b = median(boost), c = median(copy);
        std::printf("%8zu %14.2f %14.2f %14.2f %9.2fx %9.2fx\n", chunk, m, b, c, m / b, m / c);
        std::fflush(stdout);
    }
    return 0;
}
