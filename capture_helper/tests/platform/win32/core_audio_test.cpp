// The Core Audio path against the system's audio. Under Wine that is Wine's
// audio driver on the tests' own sound server (PULSE_SERVER). Wine 8 opens a
// loopback stream on the render endpoint but has no capture client for it, so
// everything up to that runs for real, and a capture must then end in its
// setup, cleanly and with nothing appended. On a Windows with loopback
// capture the stream starts instead.

#include <gtest/gtest.h>

#include <string>

#include "capture/audio_device.h"
#include "capture_probe.h"
#include "pellix/MemMq.h"

namespace {

// Sets the system's device up step by step as the capture thread does.
struct DeviceSetup {
    dorvane::MixFormat format;
    std::uint32_t bufferFrames = 0;
    bool opened = false, sized = false, started = false;
    std::string failure;
};

DeviceSetup setUp() {
    DeviceSetup setup;
    std::unique_ptr<dorvane::AudioDevice> device = dorvane::createSystemAudioDevice();
    setup.opened = device->open(setup.format);
    setup.sized = setup.opened && device->bufferFrames(setup.bufferFrames);
    setup.started = setup.sized && device->start();
    if (setup.started) device->stop();
    setup.failure = device->failure();
    return setup;
}

TEST(CoreAudio, TheDefaultOutputDeviceIsSetUpUpToItsCaptureClient) {
    const DeviceSetup setup = setUp();
    // The endpoint, its audio client and its mix format are real: the test
    // server's sink, 48 kHz stereo; the loopback stream has a 50 ms buffer.
    EXPECT_TRUE(setup.opened) << setup.failure;
    EXPECT_EQ(setup.format.samplesPerSec, 48000u);
    EXPECT_EQ(setup.format.channels, 2u);
    EXPECT_EQ(setup.format.blockAlign, setup.format.channels * setup.format.bitsPerSample / 8);
    EXPECT_TRUE(setup.format.formatTag == 1 || setup.format.formatTag == 3) << setup.format.formatTag;
    ASSERT_TRUE(setup.sized) << setup.failure;
    EXPECT_GE(setup.bufferFrames, 48000u / 20);
    if (!setup.started) {
        EXPECT_EQ(setup.failure.rfind("IAudioClient::GetService(IAudioCaptureClient) failed", 0), 0u) << setup.failure;
    }
}

TEST(CoreAudio, ACaptureWithoutACaptureClientEndsInSetupWithNothingAppended) {
    if (setUp().started) GTEST_SKIP() << "this system has loopback capture";
    CMemMq queue(1 << 16);
    sysAudioCaptureThread capture;
    capture.init(&queue);
    capture.start();
    ASSERT_TRUE(capture.wait(10000)) << "the capture did not end by itself";
    EXPECT_EQ(sysAudioCaptureThreadProbe::finished(capture), 1);
    EXPECT_EQ(sysAudioCaptureThreadProbe::ready(capture), 0);
    unsigned char byte = 0;
    EXPECT_FALSE(queue.Dequeue(&byte, 1));
}

}  // namespace
