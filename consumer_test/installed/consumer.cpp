// Calls into each installed library once, so that the program has to link
// against all three and load them (and, on Windows, their DLLs) to pass.
#include <brenvik/updater.h>
#include <dorvane/DorvaneTime.h>
#include <dorvane/sysAudioCaptureThread.h>
#include <pellix/MemMq.h>

#include <cstdio>

int main() {
    int faults = 0;

    CMemMq queue(64);
    const unsigned char in[3] = {1, 2, 3};
    unsigned char out[3] = {};
    if (!queue.Enqueue(in, 3) || !queue.Dequeue(out, 3) || out[0] != 1 || out[2] != 3) {
        std::puts("Pellix: the bytes did not come back");
        ++faults;
    }

    // 2020-01-01 00:00:00 UTC: any clock that runs is past it.
    if (getcurrenttimems() < 1577836800000LL) {
        std::puts("Dorvane: getcurrenttimems() is before 2020");
        ++faults;
    }
    { sysAudioCaptureThread capture; }  // a QThread: Qt Core links and loads

    // Nothing listens on port 1, so the check goes through the transfer
    // library and fails with a network error.
    brenvik::Updater updater;
    updater.setCurrentVersion("1.0.0");
    updater.setServerUrl("http://127.0.0.1:1/api/upgrade");
    updater.setTimeout(10);
    const brenvik::CheckResultPair result = updater.checkForUpdates();
    if (result.first != brenvik::UpdateResult::NetworkError || updater.getLastError().empty()) {
        std::printf("client: expected a network error, got %d (%s)\n", static_cast<int>(result.first),
                    updater.getLastError().c_str());
        ++faults;
    }

    if (faults == 0) {
        std::puts("consumer: Pellix, Dorvane and the client answered");
    }
    return faults == 0 ? 0 : 1;
}
