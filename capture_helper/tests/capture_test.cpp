// The capture thread on a scripted device: what reaches the queue for each
// kind of device event, every way the capture ends, and the object's life.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dorvane/sysAudioCaptureThread.h"
#include "capture_probe.h"
#include "fake_audio_device.h"
#include "pellix/MemMq.h"

namespace dorvane::testing {
namespace {

using Bytes = std::vector<unsigned char>;
using Probe = sysAudioCaptureThreadProbe;

// The fields and their order are the class's binary interface.
constexpr std::size_t kFieldsEnd = sizeof(QThread) + 3 * sizeof(std::int32_t);
static_assert(sizeof(sysAudioCaptureThread) ==
                  (kFieldsEnd + alignof(CMemMq*) - 1) / alignof(CMemMq*) * alignof(CMemMq*) + sizeof(CMemMq*),
              "QThread, three 32-bit fields, a pointer");

constexpr std::int64_t kMs = 1000;  // microseconds

Bytes frames(std::size_t count, unsigned char seed, std::size_t blockAlign = 4) {
    Bytes bytes(count * blockAlign);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(seed + i * 7 + 1);
    return bytes;
}

Bytes silence(std::size_t count, std::size_t blockAlign = 4) {
    return Bytes(count * blockAlign, 0);
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes drain(CMemMq& queue) {
    Bytes bytes;
    unsigned char byte = 0;
    while (queue.Dequeue(&byte, 1)) bytes.push_back(byte);
    return bytes;
}

FakeStep timeout(std::int64_t advanceMicros) {
    return FakeStep{BufferWait::TimedOut, advanceMicros, {}, false};
}

FakeStep signalled(std::vector<FakePacket> packets, std::int64_t advanceMicros = 0) {
    return FakeStep{BufferWait::Signalled, advanceMicros, std::move(packets), false};
}

struct CaptureResult {
    Bytes bytes;
    FakeAudio::Counts counts;
    bool endedAlone = false;  // ended before anyone asked it to stop
    bool ended = false;
    int finished = -1, ready = -1;
};

// Runs one capture through the script: init, start, the whole script, stop.
CaptureResult capture(FakeScript script, bool withQueue = true) {
    FakeAudio audio(std::move(script));
    audio.install();
    CMemMq queue(1 << 20);
    sysAudioCaptureThread thread;
    thread.init(withQueue ? &queue : nullptr);
    thread.start();
    // Until the script has been played, or the capture ended on its own.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!audio.waitUntilExhausted(10) && !thread.isFinished() && std::chrono::steady_clock::now() < deadline) {
    }
    CaptureResult result;
    result.endedAlone = thread.wait(200);
    thread.stop();
    result.ended = thread.wait(2000);
    result.bytes = drain(queue);
    result.counts = audio.counts();
    result.finished = Probe::finished(thread);
    result.ready = Probe::ready(thread);
    return result;
}

struct StreamCase {
    std::string name;
    FakeScript script;
    bool withQueue;
    Bytes expected;
    int packetsReleased;
};

FakeScript script(std::vector<FakeStep> steps, MixFormat format = MixFormat{1, 2, 48000, 16, 4},
                  std::uint32_t bufferFrames = 2400) {
    FakeScript s;
    s.format = format;
    s.bufferFrames = bufferFrames;
    s.steps = std::move(steps);
    return s;
}

TEST(CaptureStream, BytesReachingTheQueue) {
    const MixFormat mono44k{1, 1, 44100, 16, 2};
    const StreamCase cases[] = {
        {"each timeout appends the elapsed time as silence",
         script({timeout(25 * kMs), timeout(25 * kMs), timeout(25 * kMs)}), true, silence(3 * 1200), 0},
        {"gaps round down to whole frames", script({timeout(25 * kMs), timeout(25 * kMs)}, mono44k), true,
         silence(2 * 1102, 2), 0},
        {"a jump forward of hours appends one buffer", script({timeout(3 * 3600 * 1000 * kMs)}), true, silence(2400),
         0},
        {"a clock set back appends one buffer", script({timeout(-5000 * kMs)}), true, silence(2400), 0},
        {"a retried wait leaves the gap open", script({{BufferWait::Other, 20 * kMs, {}, false}, timeout(20 * kMs)}),
         true, silence(1920), 0},
        {"packets arrive whole and in order", script({signalled({{frames(3, 10)}, {frames(5, 20)}})}), true,
         frames(3, 10) + frames(5, 20), 2},
        {"a gap after a packet is measured from the packet",
         script({signalled({{frames(2, 30)}}, 10 * kMs), timeout(25 * kMs)}), true, frames(2, 30) + silence(1200), 1},
        {"a packet without data is handed back unread", script({signalled({{frames(4, 40), true}, {frames(2, 50)}})}),
         true, frames(2, 50), 2},
        {"without a queue packets are read and nothing is appended",
         script({signalled({{frames(3, 60)}}), timeout(25 * kMs)}),
         false,
         {},
         1},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CaptureResult result = capture(c.script, c.withQueue);
        EXPECT_FALSE(result.endedAlone);
        EXPECT_TRUE(result.ended);
        EXPECT_EQ(result.bytes, c.expected);
        EXPECT_EQ(result.counts.packetsReleased, c.packetsReleased);
        EXPECT_EQ(result.counts.stopped, 1);
        EXPECT_EQ(result.finished, 1);
        EXPECT_EQ(result.ready, 0);
        EXPECT_EQ(result.counts.destroyed, 1);
    }
}

struct EndCase {
    std::string name;
    FakeScript script;
    Bytes expected;
    int waits;  // -1: any
};

FakeScript failing(FakeFailure failure, std::vector<FakeStep> steps = {}) {
    FakeScript s = script(std::move(steps));
    s.failure = failure;
    return s;
}

TEST(CaptureStream, FailuresEndTheCaptureThroughTheTeardown) {
    FakeScript noDevice = script({timeout(25 * kMs)});
    noDevice.noDevice = true;
    const EndCase cases[] = {
        {"no output device", failing(FakeFailure::Open, {timeout(25 * kMs)}), {}, 0},
        {"no buffer size", failing(FakeFailure::BufferFrames, {timeout(25 * kMs)}), {}, 0},
        {"the stream does not start", failing(FakeFailure::Start, {timeout(25 * kMs)}), {}, 0},
        {"no device layer at all", noDevice, {}, 0},
        {"a frame size of 0", script({timeout(25 * kMs)}, MixFormat{1, 2, 48000, 16, 0}), {}, 0},
        {"a rate of 0", script({timeout(25 * kMs)}, MixFormat{1, 2, 0, 16, 4}), {}, 0},
        {"no memory for the silence buffer",
         script({timeout(25 * kMs)}, MixFormat{1, 2, 48000, 16, 0xFFFF}, 0xFFFFFFFF),
         {},
         0},
        {"the packet size cannot be read",
         failing(FakeFailure::NextPacket, {timeout(25 * kMs), signalled({{frames(1, 1)}}), timeout(25 * kMs)}),
         silence(1200), 2},
        {"a packet cannot be fetched",
         failing(FakeFailure::GetPacket, {timeout(25 * kMs), signalled({{frames(1, 1)}}), timeout(25 * kMs)}),
         silence(1200), 2},
        {"a packet cannot be handed back",
         failing(FakeFailure::ReleasePacket, {signalled({{frames(1, 1)}, {frames(1, 2)}}), timeout(25 * kMs)}),
         frames(1, 1), 1},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CaptureResult result = capture(c.script);
        EXPECT_TRUE(result.endedAlone);
        EXPECT_EQ(result.bytes, c.expected);
        EXPECT_EQ(result.counts.waits, c.waits);
        EXPECT_EQ(result.counts.stopped, 0);
        EXPECT_EQ(result.finished, 1);
        EXPECT_EQ(result.ready, 0);
        EXPECT_EQ(result.counts.destroyed, result.counts.created);
    }
}

TEST(CaptureQueue, AFullQueueDropsWholePacketsAndTakesLaterOnes) {
    FakeStep later = signalled({{frames(10, 3)}});
    later.gate = true;
    FakeAudio audio(script({signalled({{frames(10, 1)}, {frames(10, 2)}}), later}));
    audio.install();
    CMemMq queue(9 + 60);  // room for 60 bytes: one packet of 40 and not two
    sysAudioCaptureThread thread;
    thread.init(&queue);
    thread.start();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (audio.counts().packetsReleased < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Bytes first(40);
    ASSERT_TRUE(queue.Dequeue(first.data(), 40));
    EXPECT_EQ(first, frames(10, 1));
    EXPECT_TRUE(drain(queue).empty());
    audio.openGate();
    audio.waitUntilExhausted();
    thread.stop();
    ASSERT_TRUE(thread.wait(2000));
    EXPECT_EQ(drain(queue), frames(10, 3));
}

TEST(CaptureLife, RunBeforeInitAppendsNothingAndMeasuresFromTheLastTick) {
    FakeAudio audio(script({timeout(25 * kMs)}));
    audio.install();
    CMemMq queue(1 << 16);
    sysAudioCaptureThread thread;
    thread.start();
    ASSERT_TRUE(audio.waitUntilStarted());
    // A second passes before init comes: the waiting loop's ticks follow it.
    audio.setClock(audio.now() + 1000 * kMs);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(audio.counts().waits, 0);
    thread.init(&queue);
    ASSERT_TRUE(audio.waitUntilExhausted());
    thread.stop();
    ASSERT_TRUE(thread.wait(2000));
    EXPECT_EQ(drain(queue), silence(1200));
}

TEST(CaptureLife, StopWhileWaitingForInitEndsTheThread) {
    FakeAudio audio(script({}));
    audio.install();
    sysAudioCaptureThread thread;
    thread.start();
    ASSERT_TRUE(audio.waitUntilStarted());
    thread.stop();
    ASSERT_TRUE(thread.wait(2000));
    EXPECT_EQ(Probe::finished(thread), 1);
    EXPECT_EQ(audio.counts().destroyed, 1);
}

TEST(CaptureLife, StopEndsWithinOnePassAndASecondRunEndsAtItsFirst) {
    FakeAudio audio(script({timeout(25 * kMs)}));
    audio.install();
    CMemMq queue(1 << 16);
    sysAudioCaptureThread thread;
    thread.init(&queue);
    thread.start();
    ASSERT_TRUE(audio.waitUntilExhausted());
    const auto stopped = std::chrono::steady_clock::now();
    thread.stop();
    ASSERT_TRUE(thread.wait(2000));
    // The fake's waits return at once, so one pass is far below a second.
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(1));
    EXPECT_EQ(Probe::finished(thread), 1);
    EXPECT_EQ(Probe::ready(thread), 0);
    EXPECT_EQ(Probe::stopFlag(thread), 1);
    const int waits = audio.counts().waits;

    thread.init(&queue);
    thread.start();
    ASSERT_TRUE(thread.wait(2000));
    const FakeAudio::Counts counts = audio.counts();
    EXPECT_EQ(counts.opened, 2);
    EXPECT_EQ(counts.waits, waits);
    EXPECT_EQ(counts.destroyed, 2);
}

TEST(CaptureLife, DeletingARunningCaptureStopsItFirst) {
    FakeAudio audio(script({timeout(25 * kMs)}));
    audio.install();
    CMemMq queue(1 << 16);
    auto thread = std::make_unique<sysAudioCaptureThread>(nullptr);
    thread->init(&queue);
    thread->start();
    ASSERT_TRUE(audio.waitUntilExhausted());
    thread.reset();
    EXPECT_EQ(audio.counts().destroyed, 1);
    EXPECT_EQ(audio.counts().stopped, 1);
}

TEST(CaptureObject, IsAQThreadOfItsOwnNameThatNeverHasAParent) {
    QObject owner;
    sysAudioCaptureThread capture(&owner);
    EXPECT_EQ(capture.parent(), nullptr);
    EXPECT_STREQ(sysAudioCaptureThread::staticMetaObject.className(), "sysAudioCaptureThread");
    EXPECT_EQ(sysAudioCaptureThread::staticMetaObject.superClass(), &QThread::staticMetaObject);
    EXPECT_EQ(capture.metaObject(), &sysAudioCaptureThread::staticMetaObject);
    EXPECT_EQ(capture.qt_metacast("sysAudioCaptureThread"), &capture);
    EXPECT_EQ(capture.qt_metacast("QThread"), static_cast<QThread*>(&capture));
    EXPECT_EQ(capture.qt_metacast("QObject"), static_cast<QObject*>(&capture));
    EXPECT_EQ(capture.qt_metacast("CMemMq"), nullptr);
    EXPECT_EQ(qobject_cast<sysAudioCaptureThread*>(static_cast<QObject*>(&capture)), &capture);
    EXPECT_EQ(Probe::stopFlag(capture), 0);
    EXPECT_EQ(Probe::finished(capture), 0);
    EXPECT_EQ(Probe::ready(capture), 0);
}

}  // namespace
}  // namespace dorvane::testing
