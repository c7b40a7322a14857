// Long copies whose caller buffer lies just before or after the ring position
// modulo the 4 KiB page size go through the ring in pieces, and long copies
// into the ring are streamed in whole cache lines with the partial lines at
// either end copied as usual. The bytes must come out as they went in, for
// distances on either side of that window, lengths around the piece size and
// the streaming threshold, ring positions on and off a line boundary, and
// with the copy split at the end of the ring or not.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "MemMqLayout.h"
#include "pellix/MemMq.h"

namespace {

constexpr int kQueueSize = 10008;  // capacity 10000
constexpr std::uint32_t kCapacity = 10000;
constexpr std::uintptr_t kPage = 4096;

unsigned char patternAt(std::size_t index) {
    return static_cast<unsigned char>((index * 7 + index / 251) % 251);
}

// A pointer into `arena` whose distance to `target`, (target - pointer)
// modulo the page size, is `distance`; room for `len` bytes follows it.
unsigned char* placedBefore(std::vector<unsigned char>& arena, const unsigned char* target, std::uintptr_t distance) {
    const auto base = reinterpret_cast<std::uintptr_t>(arena.data());
    const std::uintptr_t offset = (reinterpret_cast<std::uintptr_t>(target) - distance - base) % kPage;
    return arena.data() + offset;
}

unsigned char* placedAfter(std::vector<unsigned char>& arena, const unsigned char* target, std::uintptr_t distance) {
    const auto base = reinterpret_cast<std::uintptr_t>(arena.data());
    const std::uintptr_t offset = (reinterpret_cast<std::uintptr_t>(target) + distance - base) % kPage;
    return arena.data() + offset;
}

TEST(MemMqCopy, BytesSurviveEveryBufferDistance) {
    const std::uintptr_t distances[] = {0, 1, 8, 63, 64, 4095};
    const int lengths[] = {1024, 1025, 4000, 4096, 4097, 9000};
    // Where the copy starts: at offset 0 (a line boundary), 13 bytes past it,
    // or 100 bytes before the end so that it is split there.
    const std::uint32_t starts[] = {0, 13, kCapacity - 100};

    for (const std::uintptr_t distance : distances) {
        for (const int len : lengths) {
            for (const std::uint32_t start : starts) {
                SCOPED_TRACE("distance " + std::to_string(distance) + ", length " + std::to_string(len) + ", start " +
                             std::to_string(start));
                CMemMq queue(kQueueSize);
                const MemMqLayout layout = layoutOf(queue);
                std::vector<unsigned char> scratch(start);
                if (start != 0) {
                    ASSERT_TRUE(queue.Enqueue(scratch.data(), static_cast<int>(start)));
                    ASSERT_TRUE(queue.Dequeue(scratch.data(), static_cast<int>(start)));
                }

                std::vector<unsigned char> in(kPage + len);
                unsigned char* src = placedBefore(in, layout.pData + start, distance);
                for (int i = 0; i < len; ++i) {
                    src[i] = patternAt(static_cast<std::size_t>(i));
                }
                ASSERT_TRUE(queue.Enqueue(src, len));

                std::vector<unsigned char> out(kPage + len + 1, 0xEE);
                unsigned char* dst = placedAfter(out, layout.pData + start, distance);
                ASSERT_TRUE(queue.Dequeue(dst, len));
                for (int i = 0; i < len; ++i) {
                    ASSERT_EQ(dst[i], patternAt(static_cast<std::size_t>(i))) << "byte " << i;
                }
                EXPECT_EQ(dst[len], 0xEE) << "written past the end";
            }
        }
    }
}

}  // namespace
