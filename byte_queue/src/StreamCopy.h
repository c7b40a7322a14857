#pragma once

#include <cstdint>

// Copies n bytes from a caller's buffer into the ring for the other thread to
// read, around the writing CPU's caches where the processor can: the lines
// then wait in memory instead of in this CPU's cache, from where the reading
// CPU would have to fetch each one from here, which costs more than memory
// on machines whose CPUs sit far apart. Worth it for long copies only, as
// the reading side then finds no line of a short copy in any cache. Every
// byte is visible to the other thread, in the order of its position word's
// release store, once this returns.
void streamIntoRing(unsigned char* dst, const unsigned char* src, std::uint32_t n);

// Copies of at least this many bytes into the ring are streamed.
constexpr std::uint32_t kStreamFrom = 4096;
