// bench_client [--size BYTES[K|M|G]] [--runs N] [--help]
//
// Serves one file of the given size (default 1 GiB) from the project's update
// server on loopback, in a child process, and downloads it alternately with
// Updater::downloadUpdates and with the curl command-line tool. Prints the
// median time and throughput of each, their ratio, and this process's peak
// resident memory above its idle size. Everything is written below /tmp and
// removed at the end; the server and curl end with it on every path, a stop
// signal and an error included (see child_processes.h).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <brenvik/updater.h>

#include "child_processes.h"
#include "command_line.h"
#include "update_server.h"
#include "statistics.h"

namespace {

using bench::median;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Kibibytes of a "VmRSS:" / "VmHWM:" line of /proc/self/status.
long statusKiB(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::atol(line.c_str() + key.size());
        }
    }
    return -1;
}

void resetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void writeReleaseFile(const fs::path& path, unsigned long long size) {
    std::vector<char> block(1 << 20);
    unsigned long long state = 88172645463325252ULL;
    for (auto& byte : block) {  // not compressible, not all zeros
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        byte = static_cast<char>(state);
    }
    std::ofstream out(path, std::ios::binary);
    for (unsigned long long done = 0; done < size; done += block.size()) {
        out.write(block.data(), static_cast<std::streamsize>(std::min<unsigned long long>(block.size(), size - done)));
    }
}

// Runs the server in a child process; returns its pid and port.
pid_t startServer(const std::string& release, int& port) {
    int channel[2];
    if (pipe(channel) != 0) {
        return -1;
    }
    const pid_t child = bench::ChildProcesses::fork();
    if (child == 0) {
        close(channel[0]);
        std::ofstream discard("/dev/null");
        brenvik::server::UpdateServer server(release, discard);
        const int bound = server.bind("127.0.0.1", 0);
        if (write(channel[1], &bound, sizeof(bound)) != sizeof(bound) || bound < 0) {
            _exit(1);
        }
        close(channel[1]);
        server.run();
        _exit(0);
    }
    close(channel[1]);
    if (read(channel[0], &port, sizeof(port)) != sizeof(port) || port < 0) {
        port = -1;
    }
    close(channel[0]);
    return child;
}

// Seconds that the curl tool took to fetch `url`, or a negative number when
// it failed.
double runCurl(const std::string& url, const std::string& target) {
    const auto start = Clock::now();
    const pid_t child = bench::ChildProcesses::fork();
    if (child == 0) {
        execlp("curl", "curl", "-s", "-S", "-f", "-o", target.c_str(), url.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (child < 0) return -1;
    const int status = bench::ChildProcesses::wait(child);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::cerr << "bench_client: curl failed with status " << status << "\n";
        return -1;
    }
    return seconds;
}

// The work folder and the server in it, both gone when this ends.
struct Work {
    fs::path root;
    pid_t server = -1;
    ~Work() {
        bench::ChildProcesses::stop(server);
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t size = 1ULL << 30;
    int runs = 3;
    brenvik::cli::OptionParser parser(
        "bench_client", "[OPTION]...",
        "Download throughput and peak memory of the update client against the curl tool.");
    parser.size("size", "BYTES", "size of the file served, e.g. 512M (default 1G)", 1, 1ULL << 40, size)
        .number("runs", "N", "downloads of each kind (default 3)", 1, 1000, runs);
    std::vector<std::string> operands;
    if (const auto status = parser.parse(argc, argv, operands, 0, 0)) return *status;

    Work work;
    work.root = fs::temp_directory_path() / ("brenvik-bench-client-" + std::to_string(getpid()));
    const fs::path root = work.root;
    bench::ChildProcesses::install([root] {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    });
    const fs::path release = work.root / "release";
    fs::create_directories(release);
    writeReleaseFile(release / "big.bin", size);
    std::ofstream(release / "manifest.json") << R"({"latest_version": "2.0.0", "files": ["big.bin"]})";

    int port = -1;
    work.server = startServer(release.string(), port);
    if (work.server < 0 || port < 0) {
        std::cerr << "bench_client: cannot start the update server\n";
        return 1;
    }
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/files/big.bin";

    brenvik::Updater updater;
    updater.setDownloadDir((work.root / "updater").string());
    unsigned long long progressCalls = 0;
    updater.setProgressCallback([&](const std::string&, std::uint32_t, std::uint32_t, double) { ++progressCalls; });
    brenvik::VersionInfo info;
    info.updateFiles.push_back({"big.bin", url, "2.0.0", static_cast<std::uint32_t>(size), ""});

    // A first unmeasured fetch warms the page cache on the server's side.
    if (runCurl(url, (work.root / "curl.bin").string()) < 0) return 1;
    const long idleKiB = statusKiB("VmRSS:");
    resetPeakRss();

    std::vector<double> updaterTimes;
    std::vector<double> curlTimes;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        const auto result = updater.downloadUpdates(info);
        updaterTimes.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        std::error_code ec;
        const auto downloaded = fs::file_size(work.root / "updater" / "big.bin", ec);
        if (result.first != brenvik::UpdateResult::Success || ec || downloaded != size) {
            std::cerr << "bench_client: download failed: " << updater.getLastError() << "\n";
            return 1;
        }
        curlTimes.push_back(runCurl(url, (work.root / "curl.bin").string()));
        if (curlTimes.back() < 0) return 1;
    }
    const long peakKiB = statusKiB("VmHWM:");

    const double mib = static_cast<double>(size) / (1 << 20);
    const double updaterMedian = median(updaterTimes);
    const double curlMedian = median(curlTimes);
    std::printf("file size            %.0f MiB, %d runs each, medians\n", mib, runs);
    std::printf("Updater::downloadUpdates  %8.3f s  %9.1f MiB/s\n", updaterMedian, mib / updaterMedian);
    std::printf("curl command line         %8.3f s  %9.1f MiB/s\n", curlMedian, mib / curlMedian);
    std::printf("throughput ratio (updater / curl)  %.3f\n", curlMedian / updaterMedian);
    std::printf("peak RSS above idle       %.1f MiB (idle %.1f MiB, peak %.1f MiB)\n",
                static_cast<double>(peakKiB - idleKiB) / 1024, static_cast<double>(idleKiB) / 1024,
                static_cast<double>(peakKiB) / 1024);
    std::printf("progress calls per download  %llu\n", progressCalls / static_cast<unsigned long long>(runs));
    return 0;
}
