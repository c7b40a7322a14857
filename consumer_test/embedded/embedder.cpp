#include <pellix/MemMq.h>

#include <cstdio>

int main() {
    CMemMq queue(32);
    const unsigned char in[2] = {7, 9};
    unsigned char out[2] = {};
    if (!queue.Enqueue(in, 2) || !queue.Dequeue(out, 2) || out[0] != 7 || out[1] != 9) {
        std::puts("Pellix: the bytes did not come back");
        return 1;
    }
    std::puts("embedder: Pellix answered");
    return 0;
}
