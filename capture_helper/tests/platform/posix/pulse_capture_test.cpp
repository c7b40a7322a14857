// Capture from a real sound server: the tests' own daemon (sound_server.sh,
// started by CTest; PULSE_SERVER names it, for the player too) with a null
// sink of 48 kHz s16le stereo as the default output. A tone played into the sink must reach the
// queue as the sink's own samples, at the pace of the clock.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "capture/audio_device.h"
#include "dorvane/sysAudioCaptureThread.h"
#include "pellix/MemMq.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;
constexpr int kFrameBytes = 4;  // s16le stereo
constexpr double kToneHz = 440.0;
constexpr double kAmplitude = 0.5;

bool haveServer() {
    return std::getenv("PULSE_SERVER") != nullptr;
}

// Plays a tone into the default sink through the sound server's own player
// (pacat, in a process of its own) until destroyed; the server takes the
// samples at its own pace.
class TonePlayer {
public:
    TonePlayer() {
        // A short playback buffer: by default the server keeps seconds of
        // sound ahead, and the tone would start that late.
        pipe_ = popen("exec pacat --playback --raw --format=s16le --rate=48000 --channels=2 --latency-msec=50", "w");
        if (pipe_ != nullptr) thread_ = std::thread([this] { play(); });
    }
    ~TonePlayer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (pipe_ != nullptr) pclose(pipe_);
    }
    bool ok() const { return pipe_ != nullptr; }

private:
    void play() {
        std::vector<std::int16_t> chunk(2 * kRate / 100);  // 10 ms
        std::uint64_t frame = 0;
        while (!stop_) {
            for (std::size_t i = 0; i < chunk.size(); i += 2, ++frame) {
                const double value = kAmplitude * 32767.0 * std::sin(2.0 * M_PI * kToneHz * frame / kRate);
                chunk[i] = chunk[i + 1] = static_cast<std::int16_t>(std::lround(value));
            }
            if (std::fwrite(chunk.data(), sizeof(chunk[0]), chunk.size(), pipe_) != chunk.size()) return;
        }
    }

    FILE* pipe_ = nullptr;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Recording {
    std::vector<unsigned char> bytes;
    double seconds = 0;
};

// Captures for about `seconds` with a consumer thread emptying the queue, as
// the capture application does.
Recording record(double seconds) {
    CMemMq queue(1 << 22);
    std::atomic<bool> done{false};
    Recording recording;
    std::thread consumer([&] {
        std::vector<unsigned char> chunk(kFrameBytes * kRate / 50);
        for (;;) {
            const bool last = done.load();
            if (queue.Dequeue(chunk.data(), static_cast<int>(chunk.size()))) {
                recording.bytes.insert(recording.bytes.end(), chunk.begin(), chunk.end());
                continue;
            }
            unsigned char frame[kFrameBytes];
            bool any = false;
            while (queue.Dequeue(frame, kFrameBytes)) {
                recording.bytes.insert(recording.bytes.end(), frame, frame + kFrameBytes);
                any = true;
            }
            if (last && !any) return;
            if (!any) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    sysAudioCaptureThread capture;
    capture.init(&queue);
    const auto started = Clock::now();
    capture.start();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    capture.stop();
    const bool ended = capture.wait(2000);
    recording.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    done = true;
    consumer.join();
    EXPECT_TRUE(ended);
    return recording;
}

std::vector<std::int16_t> samplesOf(const std::vector<unsigned char>& bytes) {
    std::vector<std::int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

void expectPace(const Recording& recording) {
    const double expected = recording.seconds * kRate * kFrameBytes;
    EXPECT_NEAR(static_cast<double>(recording.bytes.size()) / expected, 1.0, 0.1)
        << recording.bytes.size() << " bytes in " << recording.seconds << " s";
    EXPECT_EQ(recording.bytes.size() % kFrameBytes, 0u);
}

TEST(SoundServerCapture, TheDeviceLayerReportsTheSinkFormat) {
    if (!haveServer()) GTEST_SKIP() << "PULSE_SERVER is not set (the test's sound server runs under CTest)";
    dorvane::MixFormat format;
    ASSERT_TRUE(dorvane::queryMixFormat(format));
    EXPECT_EQ(format.formatTag, 1);
    EXPECT_EQ(format.channels, 2);
    EXPECT_EQ(format.samplesPerSec, 48000u);
    EXPECT_EQ(format.bitsPerSample, 16);
    EXPECT_EQ(format.blockAlign, kFrameBytes);
}

TEST(SoundServerCapture, APlayedToneArrivesAsTheSinksSamplesAtThePaceOfTheClock) {
    if (!haveServer()) GTEST_SKIP() << "PULSE_SERVER is not set (the test's sound server runs under CTest)";
    TonePlayer player;
    ASSERT_TRUE(player.ok());
    const Recording recording = record(4.0);
    expectPace(recording);
    const std::vector<std::int16_t> samples = samplesOf(recording.bytes);
    // The tone begins once the player's first samples have passed the
    // server; it is looked for, not assumed.
    std::size_t onset = 0;
    while (onset < samples.size() && std::abs(static_cast<int>(samples[onset])) < 1000) ++onset;
    onset = onset / 2 * 2;
    ASSERT_LT(onset, samples.size() / 5 * 3) << "the tone did not arrive";
    // A second from just after its start: the tone at its amplitude, in both
    // channels alike, crossing zero twice per period.
    const std::size_t begin = onset + 2 * kRate / 10, count = 2 * kRate;
    ASSERT_GE(samples.size(), begin + count);
    int peak = 0, crossings = 0, differing = 0;
    for (std::size_t i = begin; i < begin + count; i += 2) {
        peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
        if (samples[i] != samples[i + 1]) ++differing;
        if (i >= begin + 2 && (samples[i - 2] < 0) != (samples[i] < 0)) ++crossings;
    }
    EXPECT_NEAR(peak, kAmplitude * 32767, 0.05 * 32767);
    EXPECT_NEAR(crossings, 2 * kToneHz, 0.05 * 2 * kToneHz);
    EXPECT_EQ(differing, 0);
}

// Until no stream plays into the server any more (a player of an earlier
// test may still be draining), and then a little longer: the sink renders a
// short stretch ahead, and that stretch reaches its monitor late on a busy
// machine.
void waitForQuietSink() {
    for (int i = 0; i < 100; ++i) {
        FILE* list = popen("pactl list short sink-inputs 2>/dev/null", "r");
        if (list == nullptr) break;
        char line[256];
        const bool playing = std::fgets(line, sizeof line, list) != nullptr;
        pclose(list);
        if (!playing) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

TEST(SoundServerCapture, NothingPlayingGivesSilenceAtThePaceOfTheClock) {
    if (!haveServer()) GTEST_SKIP() << "PULSE_SERVER is not set (the test's sound server runs under CTest)";
    waitForQuietSink();
    const Recording recording = record(2.0);
    expectPace(recording);
    const auto loud =
        std::find_if(recording.bytes.begin(), recording.bytes.end(), [](unsigned char b) { return b != 0; });
    EXPECT_TRUE(loud == recording.bytes.end())
        << "sound " << (loud - recording.bytes.begin()) << " bytes in, "
        << std::count_if(loud, recording.bytes.end(), [](unsigned char b) { return b != 0; }) << " bytes not zero";
}

std::uint32_t le32(const std::vector<unsigned char>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

TEST(SoundServerCapture, TheRecorderWritesAWavFileOfWhatPlays) {
    if (!haveServer()) GTEST_SKIP() << "PULSE_SERVER is not set (the test's sound server runs under CTest)";
    const std::string wav = std::string(DORVANE_TEST_OUTPUT_DIR) + "/recorder_test.wav";
    std::remove(wav.c_str());
    {
        TonePlayer player;
        ASSERT_TRUE(player.ok());
        const std::string command = std::string("\"") + DORVANE_DEMO_PROGRAM + "\" record --seconds 3 \"" + wav + "\"";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    std::FILE* file = std::fopen(wav.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<unsigned char> bytes;
    unsigned char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    ASSERT_GE(bytes.size(), 44u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(le32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(bytes, 20) & 0xFFFF, 1u);           // integer PCM
    EXPECT_EQ(le32(bytes, 20) >> 16, 2u);              // channels
    EXPECT_EQ(le32(bytes, 24), 48000u);                // rate
    EXPECT_EQ(le32(bytes, 28), 48000u * kFrameBytes);  // bytes per second
    EXPECT_EQ(le32(bytes, 32), kFrameBytes | (16u << 16));
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    const std::uint32_t data = le32(bytes, 40);
    EXPECT_EQ(data, bytes.size() - 44);
    EXPECT_NEAR(data / (3.0 * 48000 * kFrameBytes), 1.0, 0.1);
    const std::vector<std::int16_t> samples = samplesOf(std::vector<unsigned char>(bytes.begin() + 44, bytes.end()));
    int peak = 0;
    for (std::int16_t s : samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_NEAR(peak, kAmplitude * 32767, 0.05 * 32767) << "the tone is missing from the file";
}

}  // namespace
