// bench_server [--runs N] [--slow N] [--help]
//
// Starts the update server program on loopback over a release with one
// 64 MiB file and measures, in the same run:
//   - checks per second (one client asking again and again on one kept-alive
//     connection for one second), median over the runs, with no downloads
//     running and with N slow downloads (default 64) that take a kilobyte
//     every 50 ms each;
//   - the time from SIGTERM to the server's exit with those downloads running,
//     median over the runs (a new server each time).
// Everything is written below /tmp and removed at the end; the server ends
// with this program on every path (see child_processes.h).

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <httplib.h>

#include "child_processes.h"
#include "command_line.h"
#include "slow_clients.h"
#include "statistics.h"

namespace {

using bench::median;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The server program in a child process; its access log is read and dropped
// on a thread so that the log pipe never fills.
class Server {
public:
    explicit Server(const std::string& release) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = bench::ChildProcesses::fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            std::freopen("/dev/null", "w", stderr);
            close(out[0]);
            close(out[1]);
            execl(BRENVIK_UPDATE_SERVER_PATH, BRENVIK_UPDATE_SERVER_PATH, "--port", "0", release.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        if (pid_ < 0) {
            close(out[0]);
            return;
        }
        output_ = fdopen(out[0], "r");
        char line[256] = {};
        if (fgets(line, sizeof(line), output_) == nullptr ||
            std::sscanf(line, "listening on 127.0.0.1:%d", &port_) != 1) {
            port_ = 0;
        }
        drain_ = std::thread([this] {
            char text[4096];
            while (fgets(text, sizeof(text), output_) != nullptr) {
            }
        });
    }
    ~Server() {
        if (!ended_) bench::ChildProcesses::stop(pid_);
        if (drain_.joinable()) drain_.join();
        if (output_ != nullptr) fclose(output_);
    }
    int port() const { return port_; }
    // Seconds from SIGTERM to the exit.
    double terminate() {
        const auto start = Clock::now();
        bench::ChildProcesses::stop(pid_, SIGTERM);
        ended_ = true;
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    bool ended_ = false;
    std::FILE* output_ = nullptr;
    std::thread drain_;
};

double checksPerSecond(int port) {
    httplib::Client client("127.0.0.1", port);
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);  // as the updater's transfer library does
    client.set_read_timeout(std::chrono::seconds(10));
    const auto end = Clock::now() + std::chrono::seconds(1);
    const auto start = Clock::now();
    int answered = 0;
    while (Clock::now() < end) {
        const auto res = client.Post("/api/upgrade", R"({"client_version": "1.0"})", "application/json");
        if (!res || res->status != 200) {
            std::cerr << "bench_server: a check failed\n";
            break;
        }
        ++answered;
    }
    return answered / std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    int slowCount = 64;
    brenvik::cli::OptionParser parser("bench_server", "[OPTION]...",
                                      "Checks per second of the update server with and without slow downloads,\n"
                                      "and the time a stop signal takes with them running.");
    parser.number("runs", "N", "runs of each measure (default 5)", 1, 1000, runs)
        .number("slow", "N", "slow downloads running meanwhile (default 64)", 1, 4096, slowCount);
    std::vector<std::string> operands;
    if (const auto status = parser.parse(argc, argv, operands, 0, 0)) return *status;
    const fs::path release = fs::temp_directory_path() / ("brenvik-bench-server-" + std::to_string(getpid()));
    bench::ChildProcesses::install([release] {
        std::error_code ignored;
        fs::remove_all(release, ignored);
    });
    fs::create_directories(release);
    std::ofstream(release / "big.bin", std::ios::binary) << std::string(64 << 20, 'b');
    std::ofstream(release / "Halvora.exe", std::ios::binary) << "new program";
    std::ofstream(release / "manifest.json") << R"({"latest_version": "1.10.0", "files": ["Halvora.exe", "big.bin"]})";

    std::vector<double> idle;
    std::vector<double> loaded;
    std::vector<double> stopTimes;
    bool ok = true;
    {
        Server server(release.string());
        ok = server.port() > 0;
        for (int run = 0; ok && run < runs; ++run) {
            idle.push_back(checksPerSecond(server.port()));
            brenvik::server::testing::SlowDownloads slow(server.port(), "/files/big.bin", slowCount);
            ok = slow.waitUntilAllStarted();
            loaded.push_back(checksPerSecond(server.port()));
        }
    }
    for (int run = 0; ok && run < runs; ++run) {
        Server server(release.string());
        brenvik::server::testing::SlowDownloads slow(server.port(), "/files/big.bin", slowCount);
        ok = server.port() > 0 && slow.waitUntilAllStarted();
        if (ok) stopTimes.push_back(server.terminate());
    }
    fs::remove_all(release);
    if (!ok) {
        std::cerr << "bench_server: the server did not start or did not serve every download\n";
        return 1;
    }

    const double idleRate = median(idle);
    const double loadedRate = median(loaded);
    std::printf("update server, %d runs, loopback, one client checking on one kept-alive connection\n", runs);
    std::printf("%-44s %12s\n", "measure", "median");
    std::printf("%-44s %12.0f\n", "checks/s, no downloads", idleRate);
    std::printf("%-44s %12.0f\n", ("checks/s, " + std::to_string(slowCount) + " slow downloads").c_str(), loadedRate);
    std::printf("%-44s %12.2f\n", "ratio with / without downloads", idleRate > 0 ? loadedRate / idleRate : 0.0);
    std::printf("%-44s %12.1f\n", ("SIGTERM to exit, " + std::to_string(slowCount) + " slow downloads, ms").c_str(),
                1000 * median(stopTimes));
    return 0;
}
