// bench_capture: what system-audio capture costs and how late sound arrives.
//
//   bench_capture [--seconds 10] [--runs 5] [--clicks 20] [--help]
//
// Runs on a private sound server (the tests' sound_server.sh: a null sink of
// 48 kHz s16le stereo) unless PULSE_SERVER names one. Prints medians:
//  - CPU time per second of capture, with nothing playing and while a tone
//    plays: the capture thread alone and the whole recording process (capture
//    thread plus a reader emptying the queue), against parec recording the
//    same monitor at the same latency into /dev/null;
//  - latency from writing a click into the sink to its arrival in the queue.

#include <pulse/pulseaudio.h>
#include <pulse/simple.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>

#include "command_line.h"
#include "dorvane/sysAudioCaptureThread.h"
#include "pellix/MemMq.h"
#include "statistics.h"

namespace {

using bench::median;

using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;
constexpr int kFrameBytes = 4;

// CPU seconds of this process's thread named `name`, from its scheduler
// statistics (nanoseconds).
double threadCpuSeconds(const char* name) {
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return -1;
    double seconds = -1;
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.') continue;
        const std::string base = std::string("/proc/self/task/") + entry->d_name;
        std::string comm;
        std::getline(std::ifstream(base + "/comm"), comm);
        if (comm != name) continue;
        unsigned long long ns = 0;
        std::ifstream(base + "/schedstat") >> ns;
        seconds = ns / 1e9;
    }
    closedir(tasks);
    return seconds;
}

// The child side of a CPU measurement: capture for `seconds` with a reader
// that empties the queue, then print the capture thread's CPU seconds.
int captureChild(double seconds) {
    CMemMq queue(2 * kRate * kFrameBytes + 9);
    std::atomic<bool> done{false};
    std::thread reader([&] {
        std::vector<unsigned char> chunk(kFrameBytes * kRate / 100);
        while (!done) {
            while (queue.Dequeue(chunk.data(), static_cast<int>(chunk.size()))) {
            }
            while (queue.Dequeue(chunk.data(), kFrameBytes)) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    sysAudioCaptureThread capture;
    capture.init(&queue);
    capture.start();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    // Qt names the thread after the class (15 characters at most).
    const double cpu = threadCpuSeconds("sysAudioCapture");
    capture.stop();
    capture.wait();
    done = true;
    reader.join();
    std::printf("%.6f\n", cpu);
    return 0;
}

struct Usage {
    double wall = 0, cpu = 0, threadCpu = -1;
};

// Runs `argv` for `seconds` (ended with SIGINT if still running) and returns
// its wall and CPU time; with `readThread`, also the number it prints.
Usage runMeasured(std::vector<std::string> args, double seconds, bool readThread) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {};
    const auto started = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        dup2(readThread ? pipeFds[1] : open("/dev/null", O_WRONLY), 1);
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    Usage usage;
    if (!readThread) {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        kill(child, SIGINT);
    }
    char text[64] = {};
    if (readThread) {
        const ssize_t n = read(pipeFds[0], text, sizeof text - 1);
        if (n > 0) usage.threadCpu = std::atof(text);
    }
    close(pipeFds[0]);
    int status = 0;
    rusage resources{};
    wait4(child, &status, 0, &resources);
    usage.wall = std::chrono::duration<double>(Clock::now() - started).count();
    usage.cpu = resources.ru_utime.tv_sec + resources.ru_utime.tv_usec / 1e6 + resources.ru_stime.tv_sec +
                resources.ru_stime.tv_usec / 1e6;
    return usage;
}

// Plays into the default sink from a thread of its own, in real time: a tone
// or silence, with a click on request. The playback buffer is 10 ms.
class Player {
public:
    explicit Player(bool tone) : tone_(tone) {
        pa_sample_spec samples{PA_SAMPLE_S16LE, kRate, 2};
        pa_buffer_attr buffer{};
        buffer.maxlength = static_cast<std::uint32_t>(-1);
        buffer.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(10 * PA_USEC_PER_MSEC, &samples));
        buffer.prebuf = static_cast<std::uint32_t>(-1);
        buffer.minreq = static_cast<std::uint32_t>(-1);
        stream_ = pa_simple_new(nullptr, "bench_capture", PA_STREAM_PLAYBACK, nullptr, "bench", &samples, nullptr,
                                &buffer, nullptr);
        if (stream_ != nullptr) thread_ = std::thread([this] { play(); });
    }
    ~Player() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (stream_ != nullptr) pa_simple_free(stream_);
    }
    bool ok() const { return stream_ != nullptr; }
    // Asks for a click; returns the time its first sample was handed over.
    Clock::time_point click() {
        clickWritten_ = false;
        clickWanted_ = true;
        while (!clickWritten_) std::this_thread::sleep_for(std::chrono::microseconds(100));
        return clickTime_;
    }

private:
    void play() {
        std::vector<std::int16_t> chunk(2 * kRate / 200);  // 5 ms
        std::uint64_t frame = 0;
        while (!stop_) {
            const bool click = clickWanted_.exchange(false);
            for (std::size_t i = 0; i < chunk.size(); i += 2, ++frame) {
                double value = tone_ ? 0.3 * 32767 * std::sin(2 * M_PI * 440.0 * frame / kRate) : 0;
                if (click) value = 30000;
                chunk[i] = chunk[i + 1] = static_cast<std::int16_t>(value);
            }
            if (click) clickTime_ = Clock::now();
            // Blocks while the server's buffer is full: real-time pace.
            if (pa_simple_write(stream_, chunk.data(), chunk.size() * 2, nullptr) < 0) return;
            if (click) clickWritten_ = true;
        }
    }

    bool tone_;
    pa_simple* stream_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stop_{false}, clickWanted_{false}, clickWritten_{false};
    Clock::time_point clickTime_;
};

// Milliseconds from handing each click to the sink to its first sample in
// the queue.
std::vector<double> clickLatencies(int clicks) {
    Player player(false);
    if (!player.ok()) return {};
    CMemMq queue(2 * kRate * kFrameBytes + 9);
    std::atomic<bool> done{false};
    std::atomic<long long> arrivedNs{0};
    std::thread reader([&] {
        unsigned char frame[kFrameBytes];
        while (!done) {
            bool any = false;
            while (queue.Dequeue(frame, kFrameBytes)) {
                any = true;
                std::int16_t left;
                std::memcpy(&left, frame, 2);
                if (left > 20000 && arrivedNs == 0)
                    arrivedNs =
                        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
            }
            if (!any) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    sysAudioCaptureThread capture;
    capture.init(&queue);
    capture.start();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    std::vector<double> latencies;
    for (int i = 0; i < clicks; ++i) {
        arrivedNs = 0;
        const Clock::time_point written = player.click();
        const auto deadline = Clock::now() + std::chrono::seconds(2);
        while (arrivedNs == 0 && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (arrivedNs != 0) {
            const auto arrived = Clock::time_point(std::chrono::nanoseconds(arrivedNs.load()));
            latencies.push_back(std::chrono::duration<double, std::milli>(arrived - written).count());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    capture.stop();
    capture.wait();
    done = true;
    reader.join();
    return latencies;
}

struct Server {
    std::string dir;
    bool ours = false;
    Server() {
        if (std::getenv("PULSE_SERVER") != nullptr) return;
        char pattern[] = "/tmp/bench_capture.XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        dir = std::string(pattern) + "/server";
        const std::string start = std::string(BENCH_SOUND_SERVER_SCRIPT) + " start " + dir;
        if (std::system(start.c_str()) != 0) return;
        setenv("PULSE_SERVER", ("unix:" + dir + "/native").c_str(), 1);
        ours = true;
    }
    ~Server() {
        if (ours) std::system((std::string(BENCH_SOUND_SERVER_SCRIPT) + " stop " + dir).c_str());
    }
};

}  // namespace

int main(int argc, char** argv) {
    double seconds = 10;
    int runs = 5, clicks = 20;
    double childSeconds = 0;
    brenvik::cli::OptionParser parser("bench_capture", "[OPTION]...",
                                      "CPU time of the system-audio capture against parec, and its click latency.");
    parser.decimal("seconds", "S", "length of each capture (default 10)", 0.1, 3600, seconds)
        .number("runs", "N", "captures of each kind (default 5)", 1, 1000, runs)
        .number("clicks", "N", "clicks for the latency (default 20)", 1, 10000, clicks)
        // This program runs itself with this option for the measured capture.
        .decimal("child-capture", "S", nullptr, 0.1, 3600, childSeconds);
    std::vector<std::string> operands;
    if (const auto status = parser.parse(argc, argv, operands, 0, 0)) return *status;
    if (parser.given("child-capture")) return captureChild(childSeconds);
    const Server server;
    if (std::getenv("PULSE_SERVER") == nullptr) {
        std::fprintf(stderr, "bench_capture: no sound server\n");
        return 1;
    }
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;
    char secondsText[32];
    std::snprintf(secondsText, sizeof secondsText, "%g", seconds);

    std::printf("capture of %g s, median of %d runs; CPU as %% of one core\n\n", seconds, runs);
    std::printf("| playing | capture thread | recording process | parec | process / parec |\n");
    std::printf("|---|---|---|---|---|\n");
    for (const bool tone : {false, true}) {
        std::vector<double> thread, process, parec;
        for (int run = 0; run < runs; ++run) {
            const Player player(tone);
            if (tone && !player.ok()) return 1;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            const Usage ours = runMeasured({self, "--child-capture", secondsText}, seconds, true);
            const Usage theirs = runMeasured({"parec", "-d", "@DEFAULT_MONITOR@", "--raw", "--format=s16le",
                                              "--rate=48000", "--channels=2", "--latency-msec=10"},
                                             seconds, false);
            thread.push_back(100 * ours.threadCpu / seconds);
            process.push_back(100 * ours.cpu / ours.wall);
            parec.push_back(100 * theirs.cpu / theirs.wall);
        }
        const double p = median(process), q = median(parec);
        std::printf("| %s | %.2f %% | %.2f %% | %.2f %% | %.2f |\n", tone ? "tone" : "nothing", median(thread), p, q,
                    q > 0 ? p / q : 0);
    }

    const std::vector<double> latencies = clickLatencies(clicks);
    if (latencies.empty()) {
        std::printf("\nno click arrived\n");
        return 1;
    }
    std::printf(
        "\nclick written into the sink to its arrival in the queue, %zu clicks: median %.1f ms, min %.1f, max %.1f\n",
        latencies.size(), median(latencies), *std::min_element(latencies.begin(), latencies.end()),
        *std::max_element(latencies.begin(), latencies.end()));
    return 0;
}
