#include "pellix/MemMq.h"

#include "RingCopy.h"

#include <cstddef>
#include <new>

namespace {

constexpr int kDefaultSize = 1000000;
constexpr std::uint32_t kHeaderSize = 8;

// The data area starts on a cache-line boundary. Copies into and out of the
// ring then begin on whole lines wherever the callers' buffers lie, and the
// line that holds the two position words, which each side writes after every
// call, carries no ring bytes that the other side is copying at that moment.
// The block itself therefore starts kHeaderSize bytes before a line boundary.
constexpr std::size_t kDataAlignment = 64;

// Objects that share a block (copies, assignment) keep a use count in the
// same allocation, in the prefix before the block. The object layout and the
// block layout stay exactly as users expect.
constexpr std::size_t kPrefixSize = kDataAlignment - kHeaderSize;

std::uint32_t* useCountOf(unsigned char* block) {
    return reinterpret_cast<std::uint32_t*>(block - sizeof(std::uint32_t));
}

unsigned char* allocateBlock(std::uint32_t blockSize) {
    auto* raw = static_cast<unsigned char*>(::operator new(kPrefixSize + blockSize, std::align_val_t(kDataAlignment)));
    unsigned char* block = raw + kPrefixSize;
    *useCountOf(block) = 1;
    return block;
}

void retainBlock(unsigned char* block) {
    if (block != nullptr) {
        __atomic_add_fetch(useCountOf(block), 1u, __ATOMIC_RELAXED);
    }
}

void releaseBlock(unsigned char* block) {
    if (block != nullptr && __atomic_sub_fetch(useCountOf(block), 1u, __ATOMIC_ACQ_REL) == 0) {
        ::operator delete(block - kPrefixSize, std::align_val_t(kDataAlignment));
    }
}

// The position words live in the block, so they are plain 32-bit words rather
// than std::atomic objects; the compiler builtins give them atomic access.
// Each side stores its own position with release after copying the bytes and
// loads the other side's with acquire before touching them.
std::uint32_t loadOwn(const std::uint32_t* word) {
    return __atomic_load_n(word, __ATOMIC_RELAXED);
}

std::uint32_t loadOther(const std::uint32_t* word) {
    return __atomic_load_n(word, __ATOMIC_ACQUIRE);
}

void publish(std::uint32_t* word, std::uint32_t value) {
    __atomic_store_n(word, value, __ATOMIC_RELEASE);
}

}  // namespace

CMemMq::CMemMq() : CMemMq(kDefaultSize) {}

CMemMq::CMemMq(int size) {
    const std::uint32_t blockSize =
        size < static_cast<int>(kHeaderSize) ? kHeaderSize : static_cast<std::uint32_t>(size);
    m_pBlock = allocateBlock(blockSize);
    m_pData = m_pBlock + kHeaderSize;
    m_nCapacity = blockSize - kHeaderSize;
    m_pReadPos = reinterpret_cast<std::uint32_t*>(m_pBlock);
    m_pWritePos = reinterpret_cast<std::uint32_t*>(m_pBlock + 4);
    *m_pReadPos = 0;
    *m_pWritePos = 0;
}

CMemMq::CMemMq(const CMemMq& other)
    : m_pBlock(other.m_pBlock), m_pData(other.m_pData), m_nCapacity(other.m_nCapacity), m_pReadPos(other.m_pReadPos),
      m_pWritePos(other.m_pWritePos) {
    retainBlock(m_pBlock);
}

CMemMq& CMemMq::operator=(const CMemMq& other) {
    // Take the new reference before dropping the old one, so that assigning
    // an object to itself (or to another user of the same block) never frees
    // the block in between.
    retainBlock(other.m_pBlock);
    releaseBlock(m_pBlock);
    m_pBlock = other.m_pBlock;
    m_pData = other.m_pData;
    m_nCapacity = other.m_nCapacity;
    m_pReadPos = other.m_pReadPos;
    m_pWritePos = other.m_pWritePos;
    return *this;
}

CMemMq::~CMemMq() {
    releaseBlock(m_pBlock);
    m_pBlock = nullptr;
}

bool CMemMq::Enqueue(const unsigned char* src, int len) {
    const std::uint32_t n = static_cast<std::uint32_t>(len);
    const std::uint32_t cap = m_nCapacity;
    const std::uint32_t r = loadOther(m_pReadPos);
    const std::uint32_t w = loadOwn(m_pWritePos);

    // One byte always stays free, so the request must be strictly smaller
    // than the free room.
    const std::uint32_t room = r > w ? r - w : r + (cap - w);
    if (room <= n) {
        return false;
    }

    const std::uint32_t tail = cap - w;
    std::uint32_t next;
    if (tail >= n) {
        copyIntoRing(m_pData + w, src, n);
        next = w + n;
    } else {
        copyIntoRing(m_pData + w, src, tail);
        copyIntoRing(m_pData, src + tail, n - tail);
        next = n - tail;
    }
    publish(m_pWritePos, next);
    return true;
}

bool CMemMq::Dequeue(unsigned char* dst, int len) {
    const std::uint32_t n = static_cast<std::uint32_t>(len);
    const std::uint32_t cap = m_nCapacity;
    const std::uint32_t r = loadOwn(m_pReadPos);
    const std::uint32_t w = loadOther(m_pWritePos);

    if (r == w) {
        return false;
    }
    const std::uint32_t held = r < w ? w - r : w + (cap - r);
    if (held < n) {
        return false;
    }

    std::uint32_t next;
    if (n <= cap - r) {
        copyRingBytes(dst, m_pData + r, n);
        next = r + n;
    } else {
        const std::uint32_t tail = cap - r;
        copyRingBytes(dst, m_pData + r, tail);
        copyRingBytes(dst + tail, m_pData, n - tail);
        next = n - tail;
    }
    publish(m_pReadPos, next);
    return true;
}
