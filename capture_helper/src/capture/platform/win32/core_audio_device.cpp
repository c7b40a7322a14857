// The system's audio on Windows: shared-mode loopback capture of the default
// render endpoint through Core Audio, driven by the client's buffer event.

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <cstdio>
#include <string>

#include "capture/audio_device.h"

namespace dorvane {

namespace {

// Loopback capture of a render device, signalled through an event.
constexpr DWORD kStreamFlags = AUDCLNT_STREAMFLAGS_LOOPBACK | AUDCLNT_STREAMFLAGS_EVENTCALLBACK;
static_assert(kStreamFlags == 0x60000, "loopback + event callback");
constexpr REFERENCE_TIME kBufferDuration = 500000;  // 100-ns units: 50 ms

template <typename Interface>
void release(Interface*& object) {
    if (object != nullptr) object->Release();
    object = nullptr;
}

class CoreAudioDevice final : public AudioDevice {
public:
    // Capture runs in the multithreaded apartment; setup goes on even if
    // entering it fails (the apartment may already be set up otherwise).
    CoreAudioDevice() : comEntered_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}

    ~CoreAudioDevice() override {
        if (event_ != nullptr) CloseHandle(event_);
        if (mixFormat_ != nullptr) CoTaskMemFree(mixFormat_);
        release(enumerator_);
        release(device_);
        release(client_);
        release(captureClient_);
        if (comEntered_) CoUninitialize();
    }

    bool open(MixFormat& format) override {
        if (!check(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                    reinterpret_cast<void**>(&enumerator_)),
                   "creating the device enumerator"))
            return false;
        if (!check(enumerator_->GetDefaultAudioEndpoint(eRender, eConsole, &device_),
                   "IMMDeviceEnumerator::GetDefaultAudioEndpoint (no default output device)"))
            return false;
        if (!check(device_->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&client_)),
                   "IMMDevice::Activate"))
            return false;
        if (!check(client_->GetMixFormat(&mixFormat_), "IAudioClient::GetMixFormat")) return false;
        format = describe(*mixFormat_);
        event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (event_ == nullptr) {
            const DWORD error = GetLastError();
            check(error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL, "CreateEventW");
            return false;
        }
        if (!check(client_->Initialize(AUDCLNT_SHAREMODE_SHARED, kStreamFlags, kBufferDuration, 0, mixFormat_, nullptr),
                   "IAudioClient::Initialize for loopback capture"))
            return false;
        return check(client_->SetEventHandle(event_), "IAudioClient::SetEventHandle");
    }

    bool bufferFrames(std::uint32_t& frames) override {
        UINT32 size = 0;
        if (!check(client_->GetBufferSize(&size), "IAudioClient::GetBufferSize")) return false;
        frames = size;
        return true;
    }

    bool start() override {
        if (!check(client_->GetService(__uuidof(IAudioCaptureClient), reinterpret_cast<void**>(&captureClient_)),
                   "IAudioClient::GetService(IAudioCaptureClient)"))
            return false;
        return check(client_->Start(), "IAudioClient::Start");
    }

    void stop() override { client_->Stop(); }

    BufferWait waitForBuffer(std::uint32_t timeoutMs) override {
        switch (WaitForSingleObject(event_, timeoutMs)) {
        case WAIT_OBJECT_0:
            return BufferWait::Signalled;
        case WAIT_TIMEOUT:
            return BufferWait::TimedOut;
        default:
            return BufferWait::Other;
        }
    }

    bool nextPacketFrames(std::uint32_t& frames) override {
        UINT32 next = 0;
        if (!check(captureClient_->GetNextPacketSize(&next), "IAudioCaptureClient::GetNextPacketSize")) return false;
        frames = next;
        return true;
    }

    bool getPacket(const unsigned char*& data, std::uint32_t& frames) override {
        BYTE* bytes = nullptr;
        UINT32 count = 0;
        DWORD flags = 0;  // a packet marked silent is copied as it is
        if (!check(captureClient_->GetBuffer(&bytes, &count, &flags, nullptr, nullptr),
                   "IAudioCaptureClient::GetBuffer"))
            return false;
        data = bytes;
        frames = count;
        return true;
    }

    bool releasePacket(std::uint32_t frames) override {
        return check(captureClient_->ReleaseBuffer(frames), "IAudioCaptureClient::ReleaseBuffer");
    }

    std::string failure() const override { return failure_; }

private:
    bool check(HRESULT result, const char* call) {
        if (SUCCEEDED(result)) return true;
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
        failure_ = std::string(call) + " failed (" + code + ")";
        return false;
    }

    static MixFormat describe(const WAVEFORMATEX& wave) {
        MixFormat format;
        format.formatTag = wave.wFormatTag;
        if (wave.wFormatTag == WAVE_FORMAT_EXTENSIBLE && wave.cbSize >= 22) {
            const auto& extensible = reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(wave);
            // The sub-format GUID's first field is the plain format code.
            format.formatTag = static_cast<std::uint16_t>(extensible.SubFormat.Data1);
        }
        format.channels = wave.nChannels;
        format.samplesPerSec = wave.nSamplesPerSec;
        format.bitsPerSample = wave.wBitsPerSample;
        format.blockAlign = wave.nBlockAlign;
        return format;
    }

    const bool comEntered_;
    IMMDeviceEnumerator* enumerator_ = nullptr;
    IMMDevice* device_ = nullptr;
    IAudioClient* client_ = nullptr;
    IAudioCaptureClient* captureClient_ = nullptr;
    WAVEFORMATEX* mixFormat_ = nullptr;
    HANDLE event_ = nullptr;
    std::string failure_;
};

}  // namespace

std::unique_ptr<AudioDevice> createSystemAudioDevice() {
    return std::make_unique<CoreAudioDevice>();
}

}  // namespace dorvane
