// Objects made by copying or assignment work on one queue, and its block is
// released exactly once, after the last of them is gone. Under
// AddressSanitizer a double release, a use after release or a leaked block
// fails these tests.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "MemMqLayout.h"
#include "pellix/MemMq.h"

namespace {

const unsigned char kBytes[] = {1, 2, 3, 4, 5, 6, 7};

// Field by field: the padding after the capacity is never copied.
void expectSameFields(const CMemMq& x, const CMemMq& y) {
    const MemMqLayout a = layoutOf(x);
    const MemMqLayout b = layoutOf(y);
    EXPECT_EQ(a.pBlock, b.pBlock);
    EXPECT_EQ(a.pData, b.pData);
    EXPECT_EQ(a.capacity, b.capacity);
    EXPECT_EQ(a.pReadPos, b.pReadPos);
    EXPECT_EQ(a.pWritePos, b.pWritePos);
}

// Appends through `producer` and checks that `consumer` takes the same bytes
// out and that both see the positions move.
void expectSharedQueue(CMemMq& producer, CMemMq& consumer) {
    const MemMqLayout p = layoutOf(producer);
    const MemMqLayout c = layoutOf(consumer);
    ASSERT_EQ(p.pBlock, c.pBlock);
    const std::uint32_t writeBefore = *p.pWritePos;

    ASSERT_TRUE(producer.Enqueue(kBytes, 5));
    const std::uint32_t end = writeBefore + 5;
    EXPECT_EQ(*c.pWritePos, end <= c.capacity ? end : end - c.capacity);
    unsigned char out[5] = {};
    ASSERT_TRUE(consumer.Dequeue(out, 5));
    EXPECT_EQ(0, std::memcmp(out, kBytes, 5));
    EXPECT_EQ(*p.pReadPos, *p.pWritePos);
    EXPECT_FALSE(producer.Dequeue(out, 1));
}

TEST(MemMqSharing, CopyWorksOnTheSameQueueAndOutlivesTheOriginal) {
    auto original = std::make_unique<CMemMq>(64);
    CMemMq copy(*original);
    expectSameFields(copy, *original);
    expectSharedQueue(*original, copy);
    expectSharedQueue(copy, *original);

    ASSERT_TRUE(original->Enqueue(kBytes, 3));
    original.reset();
    unsigned char out[3] = {};
    ASSERT_TRUE(copy.Dequeue(out, 3));
    EXPECT_EQ(0, std::memcmp(out, kBytes, 3));
    expectSharedQueue(copy, copy);
}

TEST(MemMqSharing, AssignmentSharesTheSourceAndReleasesTheOldBlockOnce) {
    CMemMq a(64);
    auto b = std::make_unique<CMemMq>(32);
    CMemMq keepsOld(*b);  // still uses b's first block after b is reassigned
    ASSERT_TRUE(keepsOld.Enqueue(kBytes, 2));

    *b = a;
    expectSameFields(*b, a);
    expectSharedQueue(a, *b);

    unsigned char out[2] = {};
    ASSERT_TRUE(keepsOld.Dequeue(out, 2));
    EXPECT_EQ(0, std::memcmp(out, kBytes, 2));

    // Self-assignment and assignment between two users of one block must
    // not release it.
    CMemMq& alias = *b;
    *b = alias;
    a = *b;
    expectSharedQueue(*b, a);

    b.reset();
    expectSharedQueue(a, a);
}

TEST(MemMqSharing, LastOfManyUsersReleasesTheBlock) {
    CMemMq sink(16);
    {
        CMemMq source(128);
        CMemMq copies[4] = {source, source, source, source};
        for (CMemMq& copy : copies) {
            expectSharedQueue(source, copy);
        }
        sink = copies[2];
    }
    expectSharedQueue(sink, sink);
}

}  // namespace
