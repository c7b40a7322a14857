// One producer and one consumer thread move a long byte stream through a
// small queue in random, unrelated chunk sizes, so the ring wraps constantly
// and both sides race on every position word. The consumer checks every byte.
// Short chunks race on the positions; long ones are streamed into the ring,
// whose bytes must be visible before the position that announces them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "pellix/MemMq.h"

namespace {

constexpr std::uint64_t kTotal = std::uint64_t{256} << 20;

struct StressCase {
    const char* name;
    int queueSize;  // its capacity is no power of two, so chunks meet the end anywhere
    int maxChunk;
};

const StressCase kStressCases[] = {
    {"ShortChunks", 4096, 1500},   // capacity 4088
    {"LongChunks", 65000, 30000},  // capacity 64992
};

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

class MemMqStress : public ::testing::TestWithParam<StressCase> {};

TEST_P(MemMqStress, TwoThreadsMoveTheStreamIntact) {
    const int maxChunk = GetParam().maxChunk;
    CMemMq queue(GetParam().queueSize);

    std::thread producer([&queue, maxChunk] {
        std::mt19937 rng(12345);
        std::uniform_int_distribution<int> chunkSize(1, maxChunk);
        Pattern pattern;
        std::vector<unsigned char> chunk(maxChunk);
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
    std::uniform_int_distribution<int> chunkSize(1, maxChunk);
    Pattern pattern;
    std::vector<unsigned char> chunk(maxChunk);
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

INSTANTIATE_TEST_SUITE_P(Cases, MemMqStress, ::testing::ValuesIn(kStressCases),
                         [](const ::testing::TestParamInfo<StressCase>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
