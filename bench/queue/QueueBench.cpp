// Moves a byte stream from a producer thread to a consumer thread, chunk by
// chunk, three ways: through a default-size CMemMq; through
// boost::lockfree::spsc_queue<unsigned char> of the same capacity (bulk push
// and pop); and through one shared buffer of that size with nothing but the
// two copies of each chunk and a counter per side (the handoff bound). Prints
// the median of several runs for each chunk size.
//
// The handoff bound is what a byte queue between the two CPUs that copies as
// CMemMq does pays at least: each chunk is copied into memory that the other
// CPU last read and copied out by the other CPU, with the library's own copy
// routines (long copies in are streamed past the writer's cache where the
// processor can). It drops what a queue adds on top: positions shared with
// every call, all-or-nothing room checks and copies split at the end of the
// ring. Boost's queue copies plainly, so it may fall well below the bound
// where the lines are slow to travel between the two caches.
#include <boost/lockfree/spsc_queue.hpp>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "CpuPinning.h"
#include "RingCopy.h"
#include "QueueOptions.h"
#include "TwoThreads.h"
#include "pellix/MemMq.h"
#include "statistics.h"

namespace {

using bench::median;

constexpr int kQueueSize = 1000000;
constexpr std::size_t kQueueHolds = kQueueSize - 9;  // what CMemMq holds at most
constexpr std::size_t kChunkSizes[] = {64, 1024, 4096, 65536};
constexpr std::size_t kLine = 64;

double runMemMq(const std::vector<int>& cpus, std::size_t chunk, std::uint64_t chunks) {
    CMemMq queue(kQueueSize);
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
                keepAlive(dst.data());
            }
        });
}

// Boost's bulk calls move what fits, so a chunk may go across in parts.
double runBoost(const std::vector<int>& cpus, std::size_t chunk, std::uint64_t chunks) {
    boost::lockfree::spsc_queue<unsigned char> queue(kQueueHolds);
    return timeTwoThreads(
        cpus,
        [&] {
            std::vector<unsigned char> src(chunk, 0x5A);
            Backoff backoff;
            for (std::uint64_t i = 0; i < chunks; ++i) {
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
            for (std::uint64_t i = 0; i < chunks; ++i) {
                std::size_t done = 0;
                while (done < chunk) {
                    const std::size_t n = queue.pop(dst.data() + done, chunk - done);
                    if (n == 0) {
                        backoff.wait();
                    }
                    done += n;
                }
                keepAlive(dst.data());
            }
        });
}

// A count that one side writes and the other reads, alone in its cache line.
struct alignas(kLine) Counter {
    std::atomic<std::uint64_t> value{0};
};

// The buffer holds as many whole chunks as the queue holds bytes; chunk k
// goes to slot k modulo that number, so no copy is ever split. Each side
// rereads the other's counter only when the last value it saw says wait.
double runHandoff(const std::vector<int>& cpus, std::size_t chunk, std::uint64_t chunks) {
    const std::uint64_t slots = kQueueHolds / chunk;
    const std::size_t bytes = static_cast<std::size_t>(slots) * chunk;
    auto* buffer = static_cast<unsigned char*>(::operator new(bytes, std::align_val_t(kLine)));
    Counter produced;
    Counter consumed;
    const double seconds = timeTwoThreads(
        cpus,
        [&] {
            std::vector<unsigned char> src(chunk, 0x5A);
            Backoff backoff;
            std::uint64_t seen = 0;  // chunks the consumer has finished with
            for (std::uint64_t i = 0; i < chunks; ++i) {
                while (i - seen >= slots) {
                    seen = consumed.value.load(std::memory_order_acquire);
                    if (i - seen >= slots) {
                        backoff.wait();
                    }
                }
                copyIntoRing(buffer + (i % slots) * chunk, src.data(), static_cast<std::uint32_t>(chunk));
                produced.value.store(i + 1, std::memory_order_release);
            }
        },
        [&] {
            std::vector<unsigned char> dst(chunk);
            Backoff backoff;
            std::uint64_t seen = 0;  // chunks the producer has put in
            for (std::uint64_t i = 0; i < chunks; ++i) {
                while (i == seen) {
                    seen = produced.value.load(std::memory_order_acquire);
                    if (i == seen) {
                        backoff.wait();
                    }
                }
                copyRingBytes(dst.data(), buffer + (i % slots) * chunk, static_cast<std::uint32_t>(chunk));
                consumed.value.store(i + 1, std::memory_order_release);
                keepAlive(dst.data());
            }
        });
    ::operator delete(buffer, std::align_val_t(kLine));
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    QueueOptions options;
    std::string error;
    switch (parseQueueOptions(argc, argv, options, error)) {
    case ParseOutcome::Run:
        break;
    case ParseOutcome::Help:
        std::fputs(queueUsage(argv[0]).c_str(), stdout);
        return 0;
    case ParseOutcome::Error:
        std::fprintf(stderr, "%s: %s (see --help)\n", argv[0], error.c_str());
        return 2;
    }

    const std::vector<int> cpus = allowedCpus();
    const std::uint64_t totalBytes = options.mebibytes << 20;
    std::printf("%llu MiB per run, median of %d runs, queue of %d bytes, %s\n",
                static_cast<unsigned long long>(options.mebibytes), options.runs, kQueueSize,
                cpus.size() >= 2 ? "producer and consumer pinned to two CPUs" : "threads not pinned");
    std::printf("%8s %13s %13s %14s %10s %11s\n", "chunk", "CMemMq GB/s", "Boost GB/s", "handoff GB/s", "vs Boost",
                "vs handoff");

    for (const std::size_t chunk : kChunkSizes) {
        const std::uint64_t chunks = totalBytes / chunk;
        const double bytes = static_cast<double>(chunks * chunk);
        std::vector<double> memMq, boost, handoff;
        for (int run = 0; run < options.runs; ++run) {
            memMq.push_back(bytes / runMemMq(cpus, chunk, chunks) / 1e9);
            boost.push_back(bytes / runBoost(cpus, chunk, chunks) / 1e9);
            handoff.push_back(bytes / runHandoff(cpus, chunk, chunks) / 1e9);
        }
        const double m = median(memMq), b = median(boost), h = median(handoff);
        std::printf("%8zu %13.2f %13.2f %14.2f %9.2fx %10.2fx\n", chunk, m, b, h, m / b, m / h);
        std::fflush(stdout);
    }
    return 0;
}
