#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <httplib.h>

#include "release_fixture.h"
#include "slow_clients.h"

namespace brenvik::server {
namespace {

using namespace std::chrono_literals;

// The server program, started with `args`; its standard output is read
// line by line, its standard error goes to a file.
class ServerProcess {
public:
    ServerProcess(const std::vector<std::string>& args, const std::string& errorFile) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            std::FILE* err = std::fopen(errorFile.c_str(), "w");
            if (err != nullptr) dup2(fileno(err), STDERR_FILENO);
            close(out[0]);
            close(out[1]);
            std::vector<char*> argv{const_cast<char*>(BRENVIK_UPDATE_SERVER_PATH)};
            for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(BRENVIK_UPDATE_SERVER_PATH, argv.data());
            _exit(127);
        }
        close(out[1]);
        output_ = fdopen(out[0], "r");
    }
    ~ServerProcess() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (output_ != nullptr) fclose(output_);
    }
    std::string line() {
        char text[512] = {};
        return fgets(text, sizeof(text), output_) != nullptr ? text : "";
    }
    // The port of the "listening on" line, or 0.
    int port() {
        int port = 0;
        return std::sscanf(line().c_str(), "listening on 127.0.0.1:%d", &port) == 1 ? port : 0;
    }
    // The exit status once the process has ended within `limit`, or -1.
    int waitExit(std::chrono::milliseconds limit = 10s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (std::chrono::steady_clock::now() < end) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(5ms);
        }
        return -1;
    }
    void signal(int number) const { kill(pid_, number); }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    std::FILE* output_ = nullptr;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Starts the server program on port 0, reads back the port it printed, asks
// it once, and ends it with each stop signal.
TEST(ServerProcess, ReportsItsPortLogsRequestsAndStopsOnSignals) {
    testing::ReleaseFixture release;
    const std::string errors = release.dir() + "-stderr";
    for (int stopSignal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(stopSignal);
        ServerProcess server({"--port", "0", release.dir()}, errors);
        const int port = server.port();
        ASSERT_GT(port, 0);
        // The digests are ready before the server listens.
        const std::string progress = readFile(errors);
        EXPECT_NE(progress.find("computing the MD5 of 3 files"), std::string::npos) << progress;
        EXPECT_NE(progress.find("ready in"), std::string::npos) << progress;

        httplib::Client client("127.0.0.1", port);
        const auto res = client.Post("/api/upgrade", R"({"client_version": "1.0"})", "application/json");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_NE(server.line().find("\"POST /api/upgrade HTTP/1.1\" 200"), std::string::npos);

        server.signal(stopSignal);
        EXPECT_EQ(server.waitExit(), 0);
    }
    std::remove(errors.c_str());
}

// The stop does not wait for downloads that a slow client takes a kilobyte
// at a time; before, it waited for each of them to end.
TEST(ServerProcess, StopSignalEndsItPromptlyWhileSlowDownloadsRun) {
    testing::ReleaseFixture release;
    release.write("big.bin", std::string(16 << 20, 'b'));
    release.manifest(R"({"latest_version": "1.0", "files": ["big.bin"]})");
    const std::string errors = release.dir() + "-stderr";
    ServerProcess server({"--port", "0", "--workers", "100", release.dir()}, errors);
    const int port = server.port();
    ASSERT_GT(port, 0);
    testing::SlowDownloads slow(port, "/files/big.bin", 64);
    ASSERT_TRUE(slow.waitUntilAllStarted());
    server.signal(SIGTERM);
    EXPECT_EQ(server.waitExit(2s), 0);
    std::remove(errors.c_str());
}

TEST(ServerProcess, SecondServerOnTheSamePortFailsToStart) {
    testing::ReleaseFixture release;
    const std::string errors = release.dir() + "-stderr";
    ServerProcess first({"--port", "0", release.dir()}, errors + "-first");
    const int port = first.port();
    ASSERT_GT(port, 0);
    ServerProcess second({"--port", std::to_string(port), release.dir()}, errors);
    EXPECT_EQ(second.waitExit(), 1);
    const std::string message = readFile(errors);
    EXPECT_NE(message.find("cannot listen on 127.0.0.1:" + std::to_string(port) + ": the port is in use"),
              std::string::npos)
        << message;
    first.signal(SIGTERM);
    EXPECT_EQ(first.waitExit(), 0);
    std::remove(errors.c_str());
    std::remove((errors + "-first").c_str());
}

TEST(ServerProcess, RefusesBadOptionsAndReleases) {
    testing::ReleaseFixture release;
    testing::ReleaseFixture dotted;
    dotted.manifest(R"({"latest_version": "1.0", "files": ["./Halvora.exe"]})");
    const std::string errors = release.dir() + "-stderr";
    const struct {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"--workers", "0", release.dir()}, 2, "bad worker count"},
        {{"--workers", "many", release.dir()}, 2, "bad worker count"},
        {{"--workers", "5000", release.dir()}, 2, "bad worker count"},
        {{"--public-url", "ftp://cdn.example.com", release.dir()}, 2, "--public-url must start with http://"},
        {{"--public-url", "https://", release.dir()}, 2, "--public-url has no host"},
        {{"--port", "0", dotted.dir()}, 1, "list it as \"Halvora.exe\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        ServerProcess server(c.args, errors);
        EXPECT_EQ(server.waitExit(), c.status);
        EXPECT_NE(readFile(errors).find(c.message), std::string::npos) << readFile(errors);
    }
    std::remove(errors.c_str());
}

}  // namespace
}  // namespace brenvik::server
