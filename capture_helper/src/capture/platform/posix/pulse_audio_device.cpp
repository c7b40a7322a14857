// The system's audio on Linux: the monitor source of the default sink,
// recorded through the sound server's client library in the sink's own
// sample format, rate and channels, so the bytes are exactly what the system
// plays. PipeWire desktops serve the same protocol.
//
// Everything runs on the capture thread through a main loop of the device's
// own, iterated only inside the calls below.

#include <pulse/pulseaudio.h>

#include <chrono>
#include <string>
#include <utility>

#include "capture/audio_device.h"

namespace dorvane {

namespace {

using Clock = std::chrono::steady_clock;

// How long setup waits for the server before it counts as missing.
constexpr std::chrono::milliseconds kSetupTimeout{5000};
// The device buffer, as on Windows: 50 ms.
constexpr std::uint32_t kBufferMs = 50;
// Packets of about 10 ms, so that sound reaches the queue promptly.
constexpr std::uint32_t kFragmentMs = 10;

bool describe(const pa_sample_spec& samples, MixFormat& format) {
    switch (samples.format) {
    case PA_SAMPLE_U8:
        format.formatTag = 1;
        format.bitsPerSample = 8;
        break;
    case PA_SAMPLE_S16LE:
        format.formatTag = 1;
        format.bitsPerSample = 16;
        break;
    case PA_SAMPLE_S24LE:
        format.formatTag = 1;
        format.bitsPerSample = 24;
        break;
    case PA_SAMPLE_S24_32LE:
    case PA_SAMPLE_S32LE:
        format.formatTag = 1;
        format.bitsPerSample = 32;
        break;
    case PA_SAMPLE_FLOAT32LE:
        format.formatTag = 3;
        format.bitsPerSample = 32;
        break;
    default:
        // Big-endian and companded formats have no plain WAV description;
        // their frames still arrive as the sink holds them.
        format.formatTag = 0;
        format.bitsPerSample = static_cast<std::uint16_t>(pa_sample_size(&samples) * 8);
        break;
    }
    format.channels = samples.channels;
    format.samplesPerSec = samples.rate;
    format.blockAlign = static_cast<std::uint16_t>(pa_frame_size(&samples));
    return format.blockAlign != 0;
}

class PulseAudioDevice final : public AudioDevice {
public:
    ~PulseAudioDevice() override {
        if (stream_ != nullptr) {
            if (peeked_) pa_stream_drop(stream_);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
        }
        if (context_ != nullptr) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        if (loop_ != nullptr) pa_mainloop_free(loop_);
    }

    bool open(MixFormat& format) override {
        loop_ = pa_mainloop_new();
        if (loop_ == nullptr) return fail("no memory for the sound server's main loop");
        context_ = pa_context_new(pa_mainloop_get_api(loop_), "Dorvane system audio");
        if (context_ == nullptr) return fail("no memory for the sound server's context");
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
            !iterateUntil([this] { return contextSettled(); }) || pa_context_get_state(context_) != PA_CONTEXT_READY)
            return fail("cannot reach the sound server");

        if (!await(pa_context_get_server_info(context_, &PulseAudioDevice::onServerInfo, this)))
            return fail("the sound server did not describe itself");
        if (defaultSink_.empty()) return fail("the sound server has no default output device");
        if (!await(pa_context_get_sink_info_by_name(context_, defaultSink_.c_str(), &PulseAudioDevice::onSinkInfo,
                                                    this)) ||
            monitor_.empty() || !pa_sample_spec_valid(&sampleFormat_))
            return fail("the default output device " + defaultSink_ + " has no monitor to record from");
        if (!describe(sampleFormat_, format)) return fail("the default output device has no usable sample format");

        stream_ = pa_stream_new(context_, "system audio", &sampleFormat_, &channels_);
        if (stream_ == nullptr) return fail("the sound server refused a record stream");
        pa_buffer_attr attributes{};
        attributes.maxlength = static_cast<std::uint32_t>(-1);
        attributes.fragsize =
            static_cast<std::uint32_t>(pa_usec_to_bytes(kFragmentMs * PA_USEC_PER_MSEC, &sampleFormat_));
        const auto flags =
            static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_record(stream_, monitor_.c_str(), &attributes, flags) < 0 ||
            !iterateUntil([this] { return streamSettled(); }) || pa_stream_get_state(stream_) != PA_STREAM_READY)
            return fail("cannot record from " + monitor_);
        frameBytes_ = format.blockAlign;
        return true;
    }

    bool bufferFrames(std::uint32_t& frames) override {
        frames = sampleFormat_.rate * kBufferMs / 1000;
        return true;
    }

    bool start() override {
        return await(pa_stream_cork(stream_, 0, nullptr, nullptr)) || fail("the record stream did not start");
    }

    void stop() override { await(pa_stream_cork(stream_, 1, nullptr, nullptr)); }

    BufferWait waitForBuffer(std::uint32_t timeoutMs) override {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (!alive()) return BufferWait::Other;
            const std::size_t readable = pa_stream_readable_size(stream_);
            if (readable != static_cast<std::size_t>(-1) && readable > 0) return BufferWait::Signalled;
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
            if (left.count() <= 0) return BufferWait::TimedOut;
            if (!iterateOnce(static_cast<int>(left.count()))) return BufferWait::Other;
        }
    }

    bool nextPacketFrames(std::uint32_t& frames) override {
        if (!alive()) return fail("the connection to the sound server ended");
        if (!peeked_) {
            // Only what the last wait dispatched: the next wait brings more.
            const void* data = nullptr;
            std::size_t bytes = 0;
            if (pa_stream_peek(stream_, &data, &bytes) < 0) return fail("reading the record stream failed");
            if (bytes == 0) {
                frames = 0;
                return true;
            }
            if (bytes < frameBytes_) {
                // Less than a frame is no packet; kept, it would make every
                // later wait return at once with nothing to read.
                if (pa_stream_drop(stream_) != 0) return fail("releasing a packet failed");
                frames = 0;
                return true;
            }
            peeked_ = true;
            packet_ = static_cast<const unsigned char*>(data);  // null for a hole in the stream
            packetFrames_ = static_cast<std::uint32_t>(bytes / frameBytes_);
        }
        frames = packetFrames_;
        return true;
    }

    bool getPacket(const unsigned char*& data, std::uint32_t& frames) override {
        if (!peeked_ && (!nextPacketFrames(frames) || !peeked_)) return fail("no packet to get");
        data = packet_;
        frames = packetFrames_;
        return true;
    }

    bool releasePacket(std::uint32_t /*frames*/) override {
        if (!peeked_) return fail("no packet to release");
        peeked_ = false;
        packet_ = nullptr;
        return pa_stream_drop(stream_) == 0 || fail("releasing a packet failed");
    }

    std::string failure() const override { return failure_; }

private:
    bool fail(std::string what) {
        failure_ = std::move(what);
        return false;
    }

    static void onServerInfo(pa_context*, const pa_server_info* info, void* self) {
        auto* device = static_cast<PulseAudioDevice*>(self);
        if (info != nullptr && info->default_sink_name != nullptr) device->defaultSink_ = info->default_sink_name;
    }

    static void onSinkInfo(pa_context*, const pa_sink_info* info, int last, void* self) {
        auto* device = static_cast<PulseAudioDevice*>(self);
        if (last != 0 || info == nullptr) return;
        device->sampleFormat_ = info->sample_spec;
        device->channels_ = info->channel_map;
        if (info->monitor_source_name != nullptr) device->monitor_ = info->monitor_source_name;
    }

    bool contextSettled() const {
        const pa_context_state_t state = pa_context_get_state(context_);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    }

    bool streamSettled() const {
        const pa_stream_state_t state = pa_stream_get_state(stream_);
        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
    }

    bool alive() const {
        return pa_context_get_state(context_) == PA_CONTEXT_READY && pa_stream_get_state(stream_) == PA_STREAM_READY;
    }

    bool iterateOnce(int timeoutMicros) {
        if (pa_mainloop_prepare(loop_, timeoutMicros) < 0) return false;
        if (pa_mainloop_poll(loop_) < 0) return false;
        return pa_mainloop_dispatch(loop_) >= 0;
    }

    template <typename Done>
    bool iterateUntil(Done done) {
        const auto deadline = Clock::now() + kSetupTimeout;
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
            if (left.count() <= 0 || !iterateOnce(static_cast<int>(left.count()))) return false;
        }
        return true;
    }

    // Runs the loop until an operation has completed; false if it could not
    // be started, failed with the connection, or took too long.
    bool await(pa_operation* operation) {
        if (operation == nullptr) return false;
        const bool done =
            iterateUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
        const bool completed = done && pa_operation_get_state(operation) == PA_OPERATION_DONE;
        if (!done) pa_operation_cancel(operation);
        pa_operation_unref(operation);
        return completed;
    }

    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    std::string defaultSink_;
    std::string monitor_;
    pa_sample_spec sampleFormat_{};
    pa_channel_map channels_{};
    std::size_t frameBytes_ = 1;
    bool peeked_ = false;
    const unsigned char* packet_ = nullptr;
    std::uint32_t packetFrames_ = 0;
    std::string failure_;
};

}  // namespace

std::unique_ptr<AudioDevice> createSystemAudioDevice() {
    return std::make_unique<PulseAudioDevice>();
}

}  // namespace dorvane
