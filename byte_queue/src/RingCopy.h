#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "StreamCopy.h"

// Copies n bytes between a caller's buffer and the ring (the two never
// overlap).
//
// Long copies in the C library use the processor's string-move instruction,
// which on some processors runs more than ten times slower when the
// destination lies just past the source modulo the 4 KiB page size: each
// store then seems to overlap loads still to come. Which distance a copy gets
// depends on the caller's buffer and on where the ring position happens to
// be, so a steady stream through the queue meets it now and then, for a
// whole lap of the ring at a time. Such copies go in pieces short enough for
// the library's vector loop, which does not mind the distance.
inline void copyRingBytes(unsigned char* dst, const unsigned char* src, std::uint32_t n) {
    constexpr std::uintptr_t kPage = 4096;
    constexpr std::uintptr_t kNearPast = 64;
    constexpr std::uint32_t kPiece = 1024;

    if (n == 0) {
        return;  // src may be null then
    }
    const std::uintptr_t distance =
        (reinterpret_cast<std::uintptr_t>(dst) - reinterpret_cast<std::uintptr_t>(src)) % kPage;
    // The compiler may know a bound on n from the caller (say, below the
    // streaming threshold) and would then expand the copy inline into that
    // same slow string move; an empty asm makes it forget the bound, so the
    // library's copy routine runs.
    __asm__("" : "+r"(n));
    if (n <= kPiece || distance == 0 || distance >= kNearPast) {
        std::memcpy(dst, src, n);
        return;
    }
    // Equal pieces of at most kPiece bytes. Their length is not known when
    // compiling, so the compiler calls the library for each piece instead of
    // expanding a fixed-length copy into the very string move avoided here.
    const std::uint32_t pieces = (n + kPiece - 1) / kPiece;
    const std::uint32_t piece = (n + pieces - 1) / pieces;
    while (n > piece) {
        std::memcpy(dst, src, piece);
        dst += piece;
        src += piece;
        n -= piece;
    }
    std::memcpy(dst, src, n);
}

// Copies n bytes from a caller's buffer into the ring: the long ones are
// streamed (see StreamCopy.h), the others copied as above.
inline void copyIntoRing(unsigned char* dst, const unsigned char* src, std::uint32_t n) {
    if (n >= kStreamFrom) {
        streamIntoRing(dst, src, n);
    } else {
        copyRingBytes(dst, src, n);
    }
}
