#pragma once
// A scripted audio device for the capture thread's tests: each wait for a
// buffer plays the next step of a script (move the clock, deliver packets,
// time out, fail), and every call the thread makes is counted. The test owns
// the FakeAudio; the devices it creates refer to it.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "capture/audio_device.h"

namespace dorvane::testing {

struct FakePacket {
    std::vector<unsigned char> bytes;  // frames * blockAlign bytes
    bool nullData = false;             // deliver a null data pointer instead
};

struct FakeStep {
    BufferWait wait = BufferWait::TimedOut;
    std::int64_t advanceMicros = 0;   // the clock moves on before the wait returns
    std::vector<FakePacket> packets;  // delivered after a Signalled wait
    bool gate = false;                // wait until the test opens the gate first
};

// The call that fails, if any.
enum class FakeFailure { None, Open, BufferFrames, Start, NextPacket, GetPacket, ReleasePacket };

struct FakeScript {
    MixFormat format{1, 2, 48000, 16, 4};
    std::uint32_t bufferFrames = 2400;  // 50 ms
    FakeFailure failure = FakeFailure::None;
    bool noDevice = false;  // the factory returns no device at all
    std::vector<FakeStep> steps;
};

class FakeAudio {
public:
    explicit FakeAudio(FakeScript script, std::int64_t startMicros = 1'700'000'000'000'000);

    // Installs this fake as the capture environment; the destructor puts the
    // system's back.
    void install();
    ~FakeAudio();

    std::int64_t now() const;
    void setClock(std::int64_t micros);

    // Blocks until the script has been played to its end (then every wait
    // returns Other), the device was destroyed, or the time is up.
    bool waitUntilExhausted(int milliseconds = 5000);
    bool waitUntilStarted(int milliseconds = 5000);
    bool waitUntilDestroyed(int milliseconds = 5000);
    // Lets a step with `gate` go on.
    void openGate();

    struct Counts {
        int created = 0, opened = 0, started = 0, stopped = 0, destroyed = 0, waits = 0;
        int packetsGot = 0, packetsReleased = 0;
        std::uint64_t framesReleased = 0;
    };
    Counts counts() const;

private:
    class Device;
    friend class Device;
    template <typename Condition>
    bool waitFor(int milliseconds, Condition condition);

    FakeScript script_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::int64_t clock_;
    std::size_t nextStep_ = 0;
    bool exhausted_ = false;
    bool gateOpen_ = false;
    Counts counts_;
};

}  // namespace dorvane::testing
