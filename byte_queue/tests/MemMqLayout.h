#pragma once

#include <cstdint>
#include <cstring>

#include "pellix/MemMq.h"

// Mirror of the queue object's five fields in their published order. Users
// compiled against the class rely on this layout, and the tests read the
// position words through it.
struct MemMqLayout {
    unsigned char* pBlock;
    unsigned char* pData;
    std::uint32_t capacity;
    std::uint32_t* pReadPos;
    std::uint32_t* pWritePos;
};

static_assert(sizeof(CMemMq) == sizeof(MemMqLayout), "CMemMq must keep its five fields");

inline MemMqLayout layoutOf(const CMemMq& queue) {
    MemMqLayout layout;
    std::memcpy(&layout, static_cast<const void*>(&queue), sizeof layout);
    return layout;
}
