// The default output device's format, for callers that need to know what the
// capture thread's bytes mean.

#include "capture/audio_device.h"

namespace dorvane {

bool queryMixFormat(MixFormat& format, std::string* failure) {
    std::unique_ptr<AudioDevice> device = createSystemAudioDevice();
    if (device->open(format)) return true;
    if (failure != nullptr) *failure = device->failure();
    return false;
}

}  // namespace dorvane
