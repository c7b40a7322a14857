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

#include "release.h"
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

// Usage errors end with status 2, one line naming the problem and a pointer
// to --help; a release that cannot be used or written ends with status 1.
TEST(ServerProcess, RefusesBadOptionsAndReleases) {
    testing::ReleaseFixture release;
    testing::ReleaseFixture dotted;
    dotted.manifest(R"({"latest_version": "1.0", "files": ["./Halvora.exe"]})");
    const std::string dir = release.dir();
    const std::string errors = dir + "-stderr";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string message;
    } cases[] = {
        {{"--port"}, 2, "--port needs a value"},
        {{"--port=", dir}, 2, "--port: \"\" is not a whole number from 0 to 65535"},
        {{"--port", "8x", dir}, 2, "--port: \"8x\" is not a whole number from 0 to 65535"},
        {{"--port", "70000", dir}, 2, "--port: \"70000\" is not a whole number from 0 to 65535"},
        {{"--port", "-1", dir},
         2,
         "--port needs a value, not the option -1 (write --port=-1 for a value that starts with '-')"},
        {{"--host", "--port", "1", dir},
         2,
         "--host needs a value, not the option --port (write --host=--port for a value that starts with '-')"},
        {{"--workers", "0", dir}, 2, "--workers: \"0\" is not a whole number from 1 to 4096"},
        {{"--workers", "99999999999999999999", dir},
         2,
         "--workers: \"99999999999999999999\" is not a whole number from 1 to 4096"},
        {{"--public-url", "ftp://cdn.example.com", dir}, 2, "--public-url: must start with http:// or https://"},
        {{"--bogus", dir}, 2, "unknown or ambiguous option --bogus"},
        {{"-x", dir}, 2, "unknown option -x"},
        {{"--force=yes", dir}, 2, "--force takes no value"},
        {{}, 2, "missing RELEASE_DIR"},
        {{dir, "other"}, 2, "unexpected argument other"},
        {{"--version", "1.0", dir}, 2, "--version goes only with --write-manifest"},
        {{"--write-manifest", dir}, 2, "--write-manifest needs --version"},
        {{"--write-manifest", dir, "--version", "1.0", "--port", "1"}, 2, "--port does not go with --write-manifest"},
        {{"--write-manifest", dir, "--version", "1.0", "extra"}, 2, "unexpected argument extra"},
        {{"--write-manifest", dir, "--version", "1.0"}, 1, "manifest.json exists already; add --force to replace it"},
        {{"--port", "0", dotted.dir()}, 1, "list it as \"Halvora.exe\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        ServerProcess server(c.args, errors);
        EXPECT_EQ(server.waitExit(), c.status);
        const std::string printed = readFile(errors);
        if (c.status == 2) {
            EXPECT_EQ(printed, "brenvik_update_server: " + c.message +
                                   "\nRun 'brenvik_update_server --help' for the options.\n");
        } else {
            EXPECT_NE(printed.find(c.message), std::string::npos) << printed;
        }
    }
    std::remove(errors.c_str());
}

TEST(ServerProcess, HelpAndWritingAManifest) {
    testing::ReleaseFixture release;
    const std::string errors = release.dir() + "-stderr";
    {
        ServerProcess help({"--port", "1", "--help"}, errors);
        EXPECT_EQ(help.line(), "usage: brenvik_update_server [OPTION]... RELEASE_DIR\n");
        EXPECT_EQ(help.waitExit(), 0);
    }
    ServerProcess writer({"--write-manifest", release.dir(), "--version=1.2.0", "--force"}, errors);
    std::vector<std::string> lines;
    for (std::string line = writer.line(); !line.empty(); line = writer.line()) lines.push_back(line);
    EXPECT_EQ(writer.waitExit(), 0);
    const std::vector<std::string> expected = {"  copy    Halvora.exe\n", "  copy    bin/x.dll\n",
                                               "  copy    data file.txt\n",
                                               "wrote " + release.dir() + "/manifest.json: version 1.2.0, 3 items\n"};
    EXPECT_EQ(lines, expected);
    std::string error;
    const auto loaded = loadRelease(release.dir(), error);
    ASSERT_TRUE(loaded) << error;
    EXPECT_EQ(loaded->latestVersion, "1.2.0");
    std::remove(errors.c_str());
}

}  // namespace
}  // namespace brenvik::server
