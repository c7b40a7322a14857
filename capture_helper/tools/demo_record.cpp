// dorvane_demo record: records what the system plays into a WAV file,
// through the capture library as the capture application uses it: a
// sysAudioCaptureThread filling a CMemMq, and a reader taking the bytes out on
// a thread of its own (here the main thread).

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "demo_modes.h"

#include "capture/audio_device.h"
#include "dorvane/sysAudioCaptureThread.h"
#include "pellix/MemMq.h"

namespace {

using Clock = std::chrono::steady_clock;

void put16(std::vector<unsigned char>& out, std::uint32_t value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void put32(std::vector<unsigned char>& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

std::vector<unsigned char> wavHeader(const dorvane::MixFormat& format, std::uint32_t dataBytes) {
    std::vector<unsigned char> header;
    const auto text = [&header](const char* four) { header.insert(header.end(), four, four + 4); };
    text("RIFF");
    put32(header, 36 + dataBytes);
    text("WAVE");
    text("fmt ");
    put32(header, 16);
    put16(header, format.formatTag);
    put16(header, format.channels);
    put32(header, format.samplesPerSec);
    put32(header, format.samplesPerSec * format.blockAlign);
    put16(header, format.blockAlign);
    put16(header, format.bitsPerSample);
    text("data");
    put32(header, dataBytes);
    return header;
}

int usage() {
    std::fprintf(stderr, "usage: dorvane_demo record [--seconds N] OUTPUT.wav\n");
    return 1;
}

}  // namespace

int recordMode(int argc, char** argv) {
    double seconds = 5;
    const char* output = nullptr;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            char* end = nullptr;
            seconds = std::strtod(argv[++i], &end);
            if (*end != '\0' || !(seconds > 0) || seconds > 3600) {
                std::fprintf(stderr, "dorvane_demo record: --seconds takes a number from 0 to 3600\n");
                return 1;
            }
        } else if (output == nullptr && argv[i][0] != '-') {
            output = argv[i];
        } else {
            return usage();
        }
    }
    if (output == nullptr) return usage();

    dorvane::MixFormat format;
    std::string failure;
    if (!dorvane::queryMixFormat(format, &failure)) {
        std::fprintf(stderr, "dorvane_demo record: no output device to record from: %s\n", failure.c_str());
        return 2;
    }
    if (format.formatTag != 1 && format.formatTag != 3) {
        std::fprintf(stderr, "dorvane_demo record: the device's sample format has no WAV form\n");
        return 2;
    }
    std::FILE* file = std::fopen(output, "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "dorvane_demo record: cannot write %s\n", output);
        return 2;
    }
    std::vector<unsigned char> header = wavHeader(format, 0);
    // A short header would put the audio where the header rewritten at the
    // end overlaps it.
    bool writeFailed = std::fwrite(header.data(), 1, header.size(), file) != header.size();
    std::fprintf(stderr, "recording %g s of %u Hz, %u channels, %u bits%s into %s\n", seconds, format.samplesPerSec,
                 format.channels, format.bitsPerSample, format.formatTag == 3 ? " float" : "", output);

    // Two seconds of room: the reader below never falls that far behind.
    const std::uint32_t bytesPerSecond = format.samplesPerSec * format.blockAlign;
    CMemMq queue(static_cast<int>(2 * bytesPerSecond + 9));
    sysAudioCaptureThread capture;
    capture.init(&queue);
    capture.start();

    std::uint64_t written = 0;
    std::vector<unsigned char> chunk(format.blockAlign * std::max<std::size_t>(1, format.samplesPerSec / 50));  // 20 ms
    const auto drain = [&]() {
        // Whole chunks while there are, then whole frames.
        while (queue.Dequeue(chunk.data(), static_cast<int>(chunk.size()))) {
            writeFailed |= std::fwrite(chunk.data(), 1, chunk.size(), file) != chunk.size();
            written += chunk.size();
        }
        while (queue.Dequeue(chunk.data(), format.blockAlign)) {
            writeFailed |= std::fwrite(chunk.data(), 1, format.blockAlign, file) != format.blockAlign;
            written += format.blockAlign;
        }
    };
    const auto started = Clock::now();
    for (;;) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
        if (elapsed >= seconds || capture.isFinished()) break;
        drain();
        std::fprintf(stderr, "\r%6.1f s of %g s, %llu KiB", elapsed, seconds,
                     static_cast<unsigned long long>(written / 1024));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const bool endedEarly = capture.isFinished();
    capture.stop();
    capture.wait();
    drain();
    std::fprintf(stderr, "\n");

    header = wavHeader(format, static_cast<std::uint32_t>(written));
    writeFailed |= std::fseek(file, 0, SEEK_SET) != 0;
    writeFailed |= std::fwrite(header.data(), 1, header.size(), file) != header.size();
    writeFailed |= std::fclose(file) != 0;
    if (writeFailed) {
        std::fprintf(stderr, "dorvane_demo record: writing %s failed\n", output);
        return 2;
    }
    if (endedEarly) {
        std::fprintf(stderr, "dorvane_demo record: the capture ended early (the device went away or refused)\n");
        return 2;
    }
    std::fprintf(stderr, "wrote %llu bytes of audio to %s\n", static_cast<unsigned long long>(written), output);
    return 0;
}
