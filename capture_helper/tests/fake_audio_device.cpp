#include "fake_audio_device.h"

#include <chrono>
#include <thread>

namespace dorvane::testing {

class FakeAudio::Device final : public AudioDevice {
public:
    explicit Device(FakeAudio& owner) : owner_(owner) {
        update([](Counts& c) { ++c.created; });
    }
    ~Device() override {
        update([](Counts& c) { ++c.destroyed; });
    }

    bool open(MixFormat& format) override {
        update([](Counts& c) { ++c.opened; });
        if (fails(FakeFailure::Open)) return false;
        format = owner_.script_.format;
        return true;
    }
    bool bufferFrames(std::uint32_t& frames) override {
        frames = owner_.script_.bufferFrames;
        return !fails(FakeFailure::BufferFrames);
    }
    bool start() override {
        if (fails(FakeFailure::Start)) return false;
        update([](Counts& c) { ++c.started; });
        return true;
    }
    void stop() override {
        update([](Counts& c) { ++c.stopped; });
    }

    BufferWait waitForBuffer(std::uint32_t /*timeoutMs*/) override {
        std::unique_lock<std::mutex> lock(owner_.mutex_);
        ++owner_.counts_.waits;
        if (owner_.nextStep_ >= owner_.script_.steps.size()) {
            owner_.exhausted_ = true;
            owner_.changed_.notify_all();
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return BufferWait::Other;
        }
        const FakeStep& step = owner_.script_.steps[owner_.nextStep_++];
        if (step.gate) {
            owner_.changed_.wait(lock, [this] { return owner_.gateOpen_; });
            owner_.gateOpen_ = false;
        }
        owner_.clock_ += step.advanceMicros;
        pending_ = step.wait == BufferWait::Signalled ? &step.packets : nullptr;
        nextPacket_ = 0;
        return step.wait;
    }

    bool nextPacketFrames(std::uint32_t& frames) override {
        if (fails(FakeFailure::NextPacket)) return false;
        frames = pending_ != nullptr && nextPacket_ < pending_->size() ? framesOf((*pending_)[nextPacket_]) : 0;
        return true;
    }
    bool getPacket(const unsigned char*& data, std::uint32_t& frames) override {
        if (fails(FakeFailure::GetPacket) || pending_ == nullptr || nextPacket_ >= pending_->size()) return false;
        const FakePacket& packet = (*pending_)[nextPacket_];
        data = packet.nullData ? nullptr : packet.bytes.data();
        frames = framesOf(packet);
        update([](Counts& c) { ++c.packetsGot; });
        return true;
    }
    bool releasePacket(std::uint32_t frames) override {
        if (fails(FakeFailure::ReleasePacket)) return false;
        ++nextPacket_;
        update([frames](Counts& c) {
            ++c.packetsReleased;
            c.framesReleased += frames;
        });
        return true;
    }

    std::string failure() const override { return ""; }

private:
    std::uint32_t framesOf(const FakePacket& packet) const {
        return static_cast<std::uint32_t>(packet.bytes.size() / owner_.script_.format.blockAlign);
    }
    bool fails(FakeFailure call) const { return owner_.script_.failure == call; }
    template <typename Change>
    void update(Change change) {
        std::lock_guard<std::mutex> lock(owner_.mutex_);
        change(owner_.counts_);
        owner_.changed_.notify_all();
    }

    FakeAudio& owner_;
    const std::vector<FakePacket>* pending_ = nullptr;
    std::size_t nextPacket_ = 0;
};

FakeAudio::FakeAudio(FakeScript script, std::int64_t startMicros) : script_(std::move(script)), clock_(startMicros) {}

void FakeAudio::install() {
    setCaptureEnvironment(CaptureEnvironment{[this]() -> std::unique_ptr<AudioDevice> {
                                                 if (script_.noDevice) return nullptr;
                                                 return std::make_unique<Device>(*this);
                                             },
                                             [this] { return now(); }});
}

FakeAudio::~FakeAudio() {
    // The capture thread's last notification happened under the lock; taking
    // it orders that before the condition's destruction (QThread::wait does
    // too, in a way that ThreadSanitizer cannot see).
    { std::lock_guard<std::mutex> lock(mutex_); }
    setCaptureEnvironment(CaptureEnvironment{});
}

std::int64_t FakeAudio::now() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return clock_;
}

void FakeAudio::setClock(std::int64_t micros) {
    std::lock_guard<std::mutex> lock(mutex_);
    clock_ = micros;
}

template <typename Condition>
bool FakeAudio::waitFor(int milliseconds, Condition condition) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), condition);
}

bool FakeAudio::waitUntilExhausted(int milliseconds) {
    return waitFor(milliseconds, [this] { return exhausted_ || counts_.destroyed > 0; });
}

bool FakeAudio::waitUntilStarted(int milliseconds) {
    return waitFor(milliseconds, [this] { return counts_.started > 0; });
}

bool FakeAudio::waitUntilDestroyed(int milliseconds) {
    return waitFor(milliseconds, [this] { return counts_.destroyed > 0; });
}

void FakeAudio::openGate() {
    std::lock_guard<std::mutex> lock(mutex_);
    gateOpen_ = true;
    changed_.notify_all();
}

FakeAudio::Counts FakeAudio::counts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counts_;
}

}  // namespace dorvane::testing
