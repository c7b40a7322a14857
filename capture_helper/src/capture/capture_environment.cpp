// The capture thread's device and clock, replaceable for tests.

#include <utility>

#include "capture/audio_device.h"
#include "time/local_clock.h"

namespace dorvane {

namespace {

CaptureEnvironment systemEnvironment() {
    return CaptureEnvironment{&createSystemAudioDevice, &currentTimeMicros};
}

CaptureEnvironment& environment() {
    static CaptureEnvironment current = systemEnvironment();
    return current;
}

}  // namespace

const CaptureEnvironment& captureEnvironment() {
    return environment();
}

void setCaptureEnvironment(CaptureEnvironment replacement) {
    CaptureEnvironment system = systemEnvironment();
    if (!replacement.createDevice) replacement.createDevice = std::move(system.createDevice);
    if (!replacement.clockMicros) replacement.clockMicros = std::move(system.clockMicros);
    environment() = std::move(replacement);
}

}  // namespace dorvane
