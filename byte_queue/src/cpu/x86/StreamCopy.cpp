// x86: whole 64-byte lines go out through SSE2 streaming stores, which write
// a line to memory without reading it into the cache first. This file is
// built with SSE2 allowed; a 32-bit processor without it copies as usual.
#include "StreamCopy.h"

#include <emmintrin.h>

#include <cstdint>

#include "RingCopy.h"

namespace {

constexpr std::uint32_t kLine = 64;

bool hasSse2() {
    static const bool has = [] {
        __builtin_cpu_init();  // may run before the library's own start-up code
        return __builtin_cpu_supports("sse2") != 0;
    }();
    return has;
}

}  // namespace

void streamIntoRing(unsigned char* dst, const unsigned char* src, std::uint32_t n) {
    if (n < kLine * 2 || !hasSse2()) {
        copyRingBytes(dst, src, n);
        return;
    }
    // The partial lines at either end are written as usual: a streamed
    // partial line would go to memory in pieces.
    const auto head = static_cast<std::uint32_t>((kLine - reinterpret_cast<std::uintptr_t>(dst) % kLine) % kLine);
    copyRingBytes(dst, src, head);
    dst += head;
    src += head;
    n -= head;
    for (; n >= kLine; n -= kLine, dst += kLine, src += kLine) {
        const auto* from = reinterpret_cast<const __m128i*>(src);
        auto* to = reinterpret_cast<__m128i*>(dst);
        const __m128i a = _mm_loadu_si128(from);
        const __m128i b = _mm_loadu_si128(from + 1);
        const __m128i c = _mm_loadu_si128(from + 2);
        const __m128i d = _mm_loadu_si128(from + 3);
        _mm_stream_si128(to, a);
        _mm_stream_si128(to + 1, b);
        _mm_stream_si128(to + 2, c);
        _mm_stream_si128(to + 3, d);
    }
    copyRingBytes(dst, src, n);
    // Streaming stores are not ordered with later stores; without the fence
    // the reader could see the new write position before the bytes.
    _mm_sfence();
}
