#pragma once
// What the capture thread needs of the system's audio: the default output
// device's mix format, a wait for the next ready buffer, the buffer size, the
// stream's start and stop, and its packets of raw frames. One implementation
// per platform (platform/<name>/), and a scripted one in the tests.
//
// All calls come from the capture thread. Destroying a device releases
// everything it obtained, on every path, in the order of the platform.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace dorvane {

// The shared-mode format of the output device, as its frames arrive.
struct MixFormat {
    std::uint16_t formatTag = 0;  // 1 integer PCM, 3 IEEE float (WAV codes)
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint16_t bitsPerSample = 0;  // of the container of one sample
    std::uint16_t blockAlign = 0;     // bytes of one frame (all channels)
};

enum class BufferWait { Signalled, TimedOut, Other };

class AudioDevice {
public:
    virtual ~AudioDevice() = default;
    // The default output device opened for loopback capture of its mix
    // format, with the buffer-ready wait wired up; the stream is not started.
    // `format` is filled as soon as it is known, even if a later step fails.
    virtual bool open(MixFormat& format) = 0;
    // The size of the device buffer in frames.
    virtual bool bufferFrames(std::uint32_t& frames) = 0;
    // The packet reader, and the start of the stream.
    virtual bool start() = 0;
    virtual void stop() = 0;
    virtual BufferWait waitForBuffer(std::uint32_t timeoutMs) = 0;
    // Frames in the next packet; 0 when none is ready.
    virtual bool nextPacketFrames(std::uint32_t& frames) = 0;
    // The next packet's bytes (null for a packet without data) and frames.
    virtual bool getPacket(const unsigned char*& data, std::uint32_t& frames) = 0;
    virtual bool releasePacket(std::uint32_t frames) = 0;
    // What the last failed call was, for people reading a log ("" if none).
    virtual std::string failure() const = 0;
};

// The platform's device. Creating it may already take platform resources
// (the COM apartment on Windows), which its destruction gives back.
std::unique_ptr<AudioDevice> createSystemAudioDevice();

// What the capture thread runs on: the device it opens and the clock of its
// time stamps (microseconds since 1970). The library's own environment is the
// system's device and wall clock; tests put in their own.
struct CaptureEnvironment {
    std::function<std::unique_ptr<AudioDevice>()> createDevice;
    std::function<std::int64_t()> clockMicros;
};

const CaptureEnvironment& captureEnvironment();
// Replaces the environment for captures started afterwards; an empty member
// keeps the system's. Not for use while a capture runs.
void setCaptureEnvironment(CaptureEnvironment environment);

// The system's default output device's mix format, for callers that need to
// know what the capture thread's bytes mean (the thread offers no way to ask).
// On failure, `failure` (if given) says what failed.
bool queryMixFormat(MixFormat& format, std::string* failure = nullptr);

}  // namespace dorvane
