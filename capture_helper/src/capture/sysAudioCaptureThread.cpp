// The capture loop: device setup, the wait for init, draining packets, filling
// gaps with silence, and one teardown for every way out.

#include "dorvane/sysAudioCaptureThread.h"

#include <cstddef>
#include <limits>
#include <new>

#include "capture/audio_device.h"
#include "pellix/MemMq.h"

namespace {

constexpr std::uint32_t kBufferWaitMs = 25;
constexpr unsigned long kInitPollMs = 2;
constexpr std::uint64_t kMicrosPerSecond = 1000000;

// Bytes of silence standing for the time from `last` to `now`: whole frames,
// at most the silence buffer. The arithmetic is unsigned 64-bit, so a clock
// set back (a negative difference) counts as a very long time: the cap.
std::uint64_t gapBytes(std::int64_t last, std::int64_t now, const dorvane::MixFormat& format,
                       std::uint64_t silenceBytes) {
    const std::uint64_t elapsed = static_cast<std::uint64_t>(now) - static_cast<std::uint64_t>(last);
    const std::uint64_t frames = elapsed * format.samplesPerSec / kMicrosPerSecond;
    std::uint64_t bytes = frames * format.blockAlign;
    if (bytes > silenceBytes) bytes = silenceBytes;
    return bytes - bytes % format.blockAlign;
}

void append(CMemMq* queue, const unsigned char* bytes, std::uint64_t count) {
    // A refusal (full queue) drops the bytes: the consumer is behind, and
    // waiting would stall the device.
    if (queue != nullptr && count != 0) queue->Enqueue(bytes, static_cast<int>(count));
}

}  // namespace

sysAudioCaptureThread::sysAudioCaptureThread()
    : QThread(nullptr), m_stop(0), m_finished(0), m_ready(0), m_queue(nullptr) {}

sysAudioCaptureThread::sysAudioCaptureThread(QObject* /*parent*/) : sysAudioCaptureThread() {}

sysAudioCaptureThread::~sysAudioCaptureThread() {
    // Qt ends the process when a running QThread is destroyed.
    if (isRunning()) {
        stop();
        wait();
    }
    // QThread::wait orders the thread's work before this point, but in a way
    // that race checkers cannot see; the flag says it in their terms.
    m_finished.load(std::memory_order_acquire);
}

int sysAudioCaptureThread::init(CMemMq* queue) {
    // The queue is published before the ready flag: a thread that sees ready
    // also sees the queue.
    m_queue.store(queue, std::memory_order_release);
    m_ready.store(1, std::memory_order_release);
    return 0;
}

void sysAudioCaptureThread::stop() {
    m_stop.store(1);
}

void sysAudioCaptureThread::run() {
    const dorvane::CaptureEnvironment& environment = dorvane::captureEnvironment();
    std::unique_ptr<dorvane::AudioDevice> device = environment.createDevice();
    unsigned char* silence = nullptr;
    std::uint64_t silenceBytes = 0;

    // Returns when the capture is over, whichever way.
    const auto capture = [&]() {
        dorvane::MixFormat format;
        std::uint32_t bufferFrames = 0;
        if (!device || !device->open(format)) return;
        // Neither a rate nor a frame size of 0 describes audio, and the gap
        // arithmetic divides by the frame size.
        if (format.samplesPerSec == 0 || format.blockAlign == 0) return;
        if (!device->bufferFrames(bufferFrames)) return;
        silenceBytes = static_cast<std::uint64_t>(format.blockAlign) * bufferFrames;
        // On 32-bit systems the size may not fit a size_t: a truncated
        // allocation would be read past its end by the gap fill.
        if (silenceBytes > std::numeric_limits<std::size_t>::max()) return;
        silence = new (std::nothrow) unsigned char[static_cast<std::size_t>(silenceBytes)]();
        if (silence == nullptr) return;
        if (!device->start()) return;

        std::int64_t last = environment.clockMicros();
        for (;;) {
            if (m_ready.load(std::memory_order_acquire) != 1) {
                // A stop before init would otherwise leave the thread
                // waiting here for good.
                if (m_stop.load() != 0) {
                    device->stop();
                    return;
                }
                QThread::msleep(kInitPollMs);
                last = environment.clockMicros();
                continue;
            }
            if (m_stop.load() != 0) {
                device->stop();
                return;
            }
            CMemMq* queue = m_queue.load(std::memory_order_acquire);
            const dorvane::BufferWait wait = device->waitForBuffer(kBufferWaitMs);
            if (wait == dorvane::BufferWait::Signalled) {
                std::uint32_t frames = 0;
                if (!device->nextPacketFrames(frames)) return;
                while (frames != 0) {
                    const unsigned char* data = nullptr;
                    if (!device->getPacket(data, frames)) return;
                    if (data != nullptr && queue != nullptr) {
                        last = environment.clockMicros();
                        append(queue, data, static_cast<std::uint64_t>(format.blockAlign) * frames);
                    }
                    if (!device->releasePacket(frames)) return;
                    if (!device->nextPacketFrames(frames)) return;
                }
            } else if (wait == dorvane::BufferWait::TimedOut) {
                const std::int64_t now = environment.clockMicros();
                const std::uint64_t bytes = gapBytes(last, now, format, silenceBytes);
                last = now;
                append(queue, silence, bytes);
            }
        }
    };
    capture();

    device.reset();
    m_ready.store(0);
    // Last of the shared state: whoever sees it set sees the capture's end.
    m_finished.store(1, std::memory_order_release);
    delete[] silence;
}
