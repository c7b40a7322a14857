// One producer and one consumer thread move a long byte stream through a
// small queue in random, unrelated chunk sizes, so the ring wraps constantly
// and both sides race on every position word. The consumer checks every byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "pellix/MemMq.h"

namespace {

constexpr std::uint64_t kTotal = std::uint64_t{256} << 20;
constexpr int kQueueSize = 4096;  // capacity 4088: not a power of two
constexpr int kMaxChunk = 1500;

// Stream pattern: 0, 1, ..., 250, 0, 1, ... (251 is prime, so it never lines
// up with the ring or the chunk sizes).
struct Pattern {
    unsigned char next = 0;
    unsigned char take() {
        const unsigned char value = next;
        next = next == 250 ? 0 : static_cast<unsigned char>(next + 1);
        return value;
    }
};

TEST(MemMqStress, TwoThreadsMoveTheStreamIntact) {
    CMemMq queue(kQueueSize);

    std::thread producer([&queue] {
        std::mt19937 rng(12345);
        std::uniform_int_distribution<int> chunkSize(1, kMaxChunk);
        Pattern pattern;
        std::vector<unsigned char> chunk(kMaxChunk);
        std::uint64_t sent = 0;
        while (sent < kTotal) {
            const int n = static_cast<int>(std::min<std::uint64_t>(chunkSize(rng), kTotal - sent));
            for (int i = 0; i < n; ++i) {
                chunk[i] = pattern.take();
            }
            while (!queue.Enqueue(chunk.data(), n)) {
                std::this_thread::yield();
            }
            sent += static_cast<std::uint64_t>(n);
        }
    });

    std::mt19937 rng(67890);
    std::uniform_int_distribution<int> chunkSize(1, kMaxChunk);
    Pattern pattern;
    std::vector<unsigned char> chunk(kMaxChunk);
    std::uint64_t received = 0;
    std::uint64_t firstBad = kTotal;
    while (received < kTotal) {
        const int n = static_cast<int>(std::min<std::uint64_t>(chunkSize(rng), kTotal - received));
        while (!queue.Dequeue(chunk.data(), n)) {
            std::this_thread::yield();
        }
        for (int i = 0; i < n; ++i) {
            if (chunk[i] != pattern.take() && firstBad == kTotal) {
                firstBad = received + static_cast<std::uint64_t>(i);
            }
        }
        received += static_cast<std::uint64_t>(n);
    }
    producer.join();

    EXPECT_EQ(firstBad, kTotal) << "first wrong byte at stream offset " << firstBad;
    unsigned char extra = 0;
    EXPECT_FALSE(queue.Dequeue(&extra, 1)) << "queue holds bytes that were never sent";
}

}  // namespace
