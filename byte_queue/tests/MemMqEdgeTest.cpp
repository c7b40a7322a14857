// Single-threaded behaviour of CMemMq: capacity, the free byte, lengths of 0,
// negative and over-long, positions at the end of the data area and
// wrap-around, checked step by step against the bytes that went in.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "MemMqLayout.h"
#include "pellix/MemMq.h"

namespace {

enum class Op { Enq, Deq };

struct Step {
    Op op;
    int len;
    bool ok;
    // Read and write positions after the step.
    std::uint32_t r;
    std::uint32_t w;
};

struct Case {
    std::string name;
    std::optional<int> size;  // nullopt: default constructor
    std::uint32_t capacity;
    std::vector<Step> steps;
};

// Test listings show the case's name instead of the raw bytes of the record.
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

// Position of a byte in the stream -> its value. 251 is prime, so the pattern
// never lines up with the ring sizes used here.
unsigned char patternAt(std::uint64_t index) {
    return static_cast<unsigned char>(index % 251);
}

constexpr unsigned char kUntouched = 0xEE;
constexpr std::size_t kGuard = 16;

std::vector<Step> refuseEverything() {
    return {
        {Op::Enq, 0, false, 0, 0},
        {Op::Enq, 1, false, 0, 0},
        {Op::Deq, 0, false, 0, 0},
        {Op::Deq, 1, false, 0, 0},
    };
}

const std::vector<Case> kCases = {
    {"DefaultSizeHoldsCapacityMinusOne",
     std::nullopt,
     999992,
     {{Op::Enq, 999991, true, 0, 999991},
      {Op::Enq, 1, false, 0, 999991},
      {Op::Enq, 0, true, 0, 999991},
      {Op::Deq, 999991, true, 999991, 999991},
      {Op::Deq, 0, false, 999991, 999991}}},
    {"DefaultSizeRefusesWholeCapacity",
     std::nullopt,
     999992,
     {{Op::Enq, 999992, false, 0, 0}, {Op::Deq, 0, false, 0, 0}}},
    {"Size8HasNoRoom", 8, 0, refuseEverything()},
    {"Size7RaisedTo8", 7, 0, refuseEverything()},
    {"Size0RaisedTo8", 0, 0, refuseEverything()},
    {"SizeMinus1RaisedTo8", -1, 0, refuseEverything()},
    {"SizeIntMinRaisedTo8", INT_MIN, 0, refuseEverything()},
    {"Size9HoldsNothing", 9, 1, {{Op::Enq, 0, true, 0, 0}, {Op::Enq, 1, false, 0, 0}, {Op::Deq, 0, false, 0, 0}}},
    {"LengthZero",
     16,
     8,
     {{Op::Enq, 0, true, 0, 0},
      {Op::Deq, 0, false, 0, 0},
      {Op::Enq, 3, true, 0, 3},
      {Op::Deq, 0, true, 0, 3},
      {Op::Enq, 0, true, 0, 3},
      {Op::Deq, 3, true, 3, 3},
      {Op::Deq, 0, false, 3, 3}}},
    {"FillFromStart",
     16,
     8,
     {{Op::Enq, 3, true, 0, 3},
      {Op::Enq, 5, false, 0, 3},
      {Op::Enq, 4, true, 0, 7},
      {Op::Enq, 1, false, 0, 7},
      {Op::Deq, 8, false, 0, 7},
      {Op::Deq, 7, true, 7, 7}}},
    {"FillAcrossTheEnd",
     16,
     8,
     {{Op::Enq, 2, true, 0, 2},
      {Op::Deq, 2, true, 2, 2},
      {Op::Enq, 7, true, 2, 1},
      {Op::Enq, 1, false, 2, 1},
      {Op::Enq, 0, true, 2, 1},
      {Op::Deq, 7, true, 1, 1}}},
    {"WriteEndsAtEndOfData",
     16,
     8,
     {{Op::Enq, 3, true, 0, 3},
      {Op::Deq, 3, true, 3, 3},
      {Op::Enq, 5, true, 3, 8},
      {Op::Enq, 2, true, 3, 2},
      {Op::Deq, 5, true, 8, 2},
      {Op::Deq, 2, true, 2, 2}}},
    {"BothPositionsAtEndReadEmpty",
     16,
     8,
     {{Op::Enq, 3, true, 0, 3},
      {Op::Deq, 3, true, 3, 3},
      {Op::Enq, 5, true, 3, 8},
      {Op::Deq, 5, true, 8, 8},
      {Op::Deq, 0, false, 8, 8},
      {Op::Deq, 1, false, 8, 8},
      {Op::Enq, 7, true, 8, 7},
      {Op::Enq, 1, false, 8, 7},
      {Op::Deq, 7, true, 7, 7}}},
    {"WrapSplitsDifferently",
     16,
     8,
     {{Op::Enq, 5, true, 0, 5},
      {Op::Deq, 5, true, 5, 5},
      {Op::Enq, 6, true, 5, 3},  // 3 at the end, 3 at the start
      {Op::Deq, 2, true, 7, 3},
      {Op::Deq, 4, true, 3, 3},  // 1 at the end, 3 at the start
      {Op::Enq, 3, true, 3, 6},
      {Op::Enq, 3, true, 3, 1},    // 2 at the end, 1 at the start
      {Op::Deq, 6, true, 1, 1}}},  // 5 at the end, 1 at the start
    {"OverlongDequeueTakesNothing",
     16,
     8,
     {{Op::Enq, 6, true, 0, 6},
      {Op::Deq, 6, true, 6, 6},
      {Op::Enq, 4, true, 6, 2},
      {Op::Deq, 5, false, 6, 2},
      {Op::Deq, 4, true, 2, 2}}},
    {"OverlongAndNegativeLengthsAreRefused",
     16,
     8,
     {{Op::Deq, -1, false, 0, 0},
      {Op::Enq, 3, true, 0, 3},
      {Op::Enq, 8, false, 0, 3},
      {Op::Enq, 9, false, 0, 3},
      {Op::Enq, -1, false, 0, 3},
      {Op::Enq, INT_MIN, false, 0, 3},
      {Op::Deq, -1, false, 0, 3},
      {Op::Deq, INT_MIN, false, 0, 3},
      {Op::Deq, 3, true, 3, 3}}},
};

class MemMqEdge : public ::testing::TestWithParam<Case> {};

TEST_P(MemMqEdge, Steps) {
    const Case& c = GetParam();
    CMemMq queue = c.size ? CMemMq(*c.size) : CMemMq();
    const MemMqLayout layout = layoutOf(queue);

    ASSERT_EQ(layout.capacity, c.capacity);
    ASSERT_EQ(layout.pData, layout.pBlock + 8);
    // Ring copies start on cache lines, and the position words share none
    // with the ring.
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(layout.pData) % 64, 0u);
    ASSERT_EQ(static_cast<void*>(layout.pReadPos), static_cast<void*>(layout.pBlock));
    ASSERT_EQ(static_cast<void*>(layout.pWritePos), static_cast<void*>(layout.pBlock + 4));
    ASSERT_EQ(*layout.pReadPos, 0u);
    ASSERT_EQ(*layout.pWritePos, 0u);

    std::uint64_t written = 0;  // stream index of the next byte to append
    std::uint64_t taken = 0;    // stream index of the next byte expected out
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        const Step& step = c.steps[i];
        SCOPED_TRACE("step " + std::to_string(i) + (step.op == Op::Enq ? ": Enqueue " : ": Dequeue ") +
                     std::to_string(step.len));
        const std::size_t n = step.len > 0 ? static_cast<std::size_t>(step.len) : 0;
        if (step.op == Op::Enq) {
            std::vector<unsigned char> src(n + kGuard);
            for (std::size_t k = 0; k < src.size(); ++k) {
                src[k] = patternAt(written + k);
            }
            ASSERT_EQ(queue.Enqueue(src.data(), step.len), step.ok);
            if (step.ok) {
                written += n;
            }
        } else {
            std::vector<unsigned char> dst(n + kGuard, kUntouched);
            ASSERT_EQ(queue.Dequeue(dst.data(), step.len), step.ok);
            const std::size_t expected = step.ok ? n : 0;
            for (std::size_t k = 0; k < expected; ++k) {
                ASSERT_EQ(dst[k], patternAt(taken + k)) << "byte " << k;
            }
            for (std::size_t k = expected; k < dst.size(); ++k) {
                ASSERT_EQ(dst[k], kUntouched) << "byte " << k << " written by a refused or shorter read";
            }
            taken += expected;
        }
        EXPECT_EQ(*layout.pReadPos, step.r);
        EXPECT_EQ(*layout.pWritePos, step.w);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, MemMqEdge, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& param) { return param.param.name; });

}  // namespace
