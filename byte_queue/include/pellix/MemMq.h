#pragma once

#include <cstdint>

#include "pellix/PellixExport.h"

// A fixed-size, lock-free ring buffer of bytes for exactly one producer thread
// (Enqueue) and one consumer thread (Dequeue).
//
// The queue is one block: two 32-bit position words (read at offset 0, write
// at offset 4) followed by the data area. One byte of the data area always
// stays free so that a full queue never looks empty; a queue of N bytes holds
// at most N - 9 bytes at once. Both operations are all-or-nothing.
//
// Copies and assignment share the block: after `b = a` both objects work on
// one queue. The block is released when the last object using it goes away.
// Creating, copying, assigning and destroying objects must not overlap with
// Enqueue or Dequeue on the same block.
//
// The five fields and their order are part of the binary interface: users
// compiled against this declaration rely on the object's size and layout.
class PELLIX_API CMemMq {
public:
    // Same as CMemMq(1000000).
    CMemMq();
    // Allocates a block of `size` bytes (8 at least, so that the two position
    // words always fit; a smaller or negative size gives a queue that refuses
    // every Enqueue and always reads as empty). Throws std::bad_alloc.
    CMemMq(int size);
    CMemMq(const CMemMq& other);
    CMemMq& operator=(const CMemMq& other);
    ~CMemMq();

    // Appends `len` bytes from `src`, or nothing. A negative len counts as a
    // very large one and is refused.
    bool Enqueue(const unsigned char* src, int len);
    // Moves the `len` oldest bytes to `dst`, or nothing. Fails on an empty
    // queue even for len 0.
    bool Dequeue(unsigned char* dst, int len);

private:
    unsigned char* m_pBlock;
    unsigned char* m_pData;
    std::uint32_t m_nCapacity;
    std::uint32_t* m_pReadPos;
    std::uint32_t* m_pWritePos;
};
