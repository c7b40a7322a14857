// Processors without streaming stores copy into the ring as usual.
#include "StreamCopy.h"

#include "RingCopy.h"

void streamIntoRing(unsigned char* dst, const unsigned char* src, std::uint32_t n) {
    copyRingBytes(dst, src, n);
}
