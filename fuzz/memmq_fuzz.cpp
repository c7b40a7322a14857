// CMemMq driven by a sequence of operations against a model of what it
// promises. Up to four objects are alive at once; each is made with a size,
// or as a copy of another, or assigned from another (then both work on one
// queue), and any of them may be destroyed. On every Enqueue and Dequeue the
// queue must accept or refuse exactly as the model does, and the bytes it
// hands out must be the ones put in, in order. A refused Dequeue must leave
// the destination alone. Buffers are exactly as long as the request, so
// AddressSanitizer sees any access past them; a leaked or doubly released
// block shows up as well.
//
// The seeds in corpus/memmq are sequences written for this reading (the
// provider takes its integers from the end of the input): wrap-around, a
// write position at the very end of the data area, copies and assignment
// sharing one queue, the smallest and negative sizes, extreme lengths, and
// the default queue.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <vector>

#include "pellix/MemMq.h"

#include "fuzz_check.h"

namespace {

struct Model {
    std::int64_t capacity = 0;  // bytes of the data area; at most capacity - 1 held
    std::deque<unsigned char> bytes;
    std::uint64_t written = 0;  // bytes accepted so far, for the content pattern
};

// The content of the queue's n-th byte; 251 is prime, so the pattern does not
// line up with ring sizes.
unsigned char patternAt(std::uint64_t index) {
    return static_cast<unsigned char>((index * 7 + index / 251) % 251);
}

struct Slot {
    std::unique_ptr<CMemMq> queue;
    std::shared_ptr<Model> model;
};

constexpr std::size_t kSlots = 4;
constexpr int kDefaultSize = 1000000;
constexpr int kHeaderSize = 8;
// Requests stay below this, so that a run takes microseconds; the default
// queue (about a megabyte) is therefore never filled here, which its unit
// test does.
constexpr int kLargestBuffer = 1 << 13;

std::int64_t capacityFor(int size) {
    return size < kHeaderSize ? 0 : static_cast<std::int64_t>(size) - kHeaderSize;
}

// Request lengths: mostly around the sizes in use, sometimes the extremes.
int pickLength(FuzzedDataProvider& input, const Model& model) {
    const auto held = static_cast<std::int64_t>(model.bytes.size());
    std::int64_t length = 0;
    switch (input.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
        return input.PickValueInArray({-1, INT_MIN, INT_MAX, INT_MAX - 1});
    case 1:  // all that is held, or one more
        length = held + input.ConsumeIntegralInRange<int>(0, 1);
        break;
    case 2:  // exactly the room left (at most capacity - 1 held), or one more
        length = model.capacity - 1 - held + input.ConsumeIntegralInRange<int>(0, 1);
        break;
    default:
        length =
            input.ConsumeIntegralInRange<std::int64_t>(0, std::min<std::int64_t>(model.capacity + 16, kLargestBuffer));
        break;
    }
    return static_cast<int>(std::min<std::int64_t>(length, kLargestBuffer));
}

int pickSize(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange<int>(0, 15)) {
    case 0:
        return input.PickValueInArray({INT_MIN, -1, 0, 7, 8, 9, 10});
    case 1:
        return input.ConsumeIntegralInRange<int>(kHeaderSize, kLargestBuffer + 16);
    default:
        return input.ConsumeIntegralInRange<int>(kHeaderSize, 300);
    }
}

void enqueue(Slot& slot, int len) {
    Model& model = *slot.model;
    const bool expected = len >= 0 && static_cast<std::int64_t>(model.bytes.size()) + len < model.capacity;
    const bool fits = len >= 0 && len <= kLargestBuffer;
    std::vector<unsigned char> source(fits ? static_cast<std::size_t>(len) : 1);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = patternAt(model.written + i);
    // An empty vector's data() may be null; the queue gets a real pointer.
    unsigned char spare = 0;
    const unsigned char* from = source.empty() ? &spare : source.data();
    CHECK(fits || !expected);
    CHECK(slot.queue->Enqueue(from, len) == expected);
    if (expected) {
        model.bytes.insert(model.bytes.end(), source.begin(), source.end());
        model.written += source.size();
    }
}

void dequeue(Slot& slot, int len) {
    Model& model = *slot.model;
    const bool expected = !model.bytes.empty() && len >= 0 && static_cast<std::uint64_t>(len) <= model.bytes.size();
    const bool fits = len >= 0 && len <= kLargestBuffer;
    constexpr unsigned char kUntouched = 0xEE;
    std::vector<unsigned char> destination(fits ? static_cast<std::size_t>(len) : 1, kUntouched);
    unsigned char spare = kUntouched;
    unsigned char* to = destination.empty() ? &spare : destination.data();
    CHECK(slot.queue->Dequeue(to, len) == expected);
    if (!expected) {
        for (const unsigned char b : destination) CHECK(b == kUntouched);
        CHECK(spare == kUntouched);
        return;
    }
    for (int i = 0; i < len; ++i) {
        CHECK(destination[static_cast<std::size_t>(i)] == model.bytes.front());
        model.bytes.pop_front();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    Slot slots[kSlots];
    int steps = 0;
    bool madeDefault = false;
    while (input.remaining_bytes() > 0 && steps++ < 2000) {
        Slot& target = slots[input.ConsumeIntegralInRange<std::size_t>(0, kSlots - 1)];
        Slot& source = slots[input.ConsumeIntegralInRange<std::size_t>(0, kSlots - 1)];
        switch (input.ConsumeIntegralInRange<int>(0, 9)) {
        case 0: {  // construct with a size, or (rarely: it costs a megabyte) the default one
            const bool byDefault = !madeDefault && input.ConsumeIntegralInRange<int>(0, 63) == 0;
            madeDefault = madeDefault || byDefault;
            const int queueSize = byDefault ? kDefaultSize : pickSize(input);
            target.queue.reset();
            target.queue = byDefault ? std::make_unique<CMemMq>() : std::make_unique<CMemMq>(queueSize);
            target.model = std::make_shared<Model>();
            target.model->capacity = capacityFor(queueSize);
            break;
        }
        case 1:  // copy construct
            if (!source.queue) break;
            target.queue = std::make_unique<CMemMq>(*source.queue);
            target.model = source.model;
            break;
        case 2:  // assign, to itself included
            if (!source.queue || !target.queue) break;
            *target.queue = *source.queue;
            target.model = source.model;
            break;
        case 3:  // destroy
            target.queue.reset();
            target.model.reset();
            break;
        case 4:
        case 5:
        case 6:
            if (target.queue) enqueue(target, pickLength(input, *target.model));
            break;
        default:
            if (target.queue) dequeue(target, pickLength(input, *target.model));
            break;
        }
    }
    return 0;
}
