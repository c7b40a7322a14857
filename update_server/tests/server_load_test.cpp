#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "release_fixture.h"
#include "running_server.h"
#include "slow_clients.h"

namespace brenvik::server {
namespace {

using namespace std::chrono_literals;

// Larger than every socket buffer between the two ends, so a slow download
// stays in progress for the whole test.
constexpr std::size_t kBigFileSize = 16 << 20;

class SlowClientTest : public ::testing::Test {
protected:
    SlowClientTest() {
        release.write("big.bin", std::string(kBigFileSize, 'b'));
        release.manifest(R"({"latest_version": "1.10.0", "files": ["Halvora.exe", "big.bin"]})");
    }
    testing::ReleaseFixture release;
};

// Sixty-four downloads that take a kilobyte at a time would each hold one of
// the library's eight workers; a check must still be answered before its
// client gives up, and stop() must not wait for the downloads to end.
TEST_F(SlowClientTest, ChecksAreAnsweredAndStopIsPromptWhileSlowDownloadsRun) {
    testing::RunningServer running{release.dir()};
    testing::SlowDownloads slow(running.port, "/files/big.bin", 64);
    ASSERT_TRUE(slow.waitUntilAllStarted());

    httplib::Client client("127.0.0.1", running.port);
    client.set_connection_timeout(2s);
    client.set_read_timeout(2s);
    const auto res = client.Post("/api/upgrade", R"({"client_version": "1.0"})", "application/json");
    ASSERT_TRUE(res) << httplib::to_string(res.error());
    EXPECT_EQ(res->status, 200);

    auto stopped = std::async(std::launch::async, [&running] { running.stop(); });
    EXPECT_EQ(stopped.wait_for(5s), std::future_status::ready) << "stop() waited for the slow downloads";
}

// Connections that hold a worker without moving a request along are closed:
// idle ones, ones whose request trickles in, and downloads whose client
// takes nothing.
TEST_F(SlowClientTest, IdleTricklingAndStalledConnectionsAreClosed) {
    ServerOptions options;
    options.idleTimeout = 300ms;
    options.requestTimeout = 600ms;
    options.stallTimeout = 300ms;
    testing::RunningServer running{release.dir(), options};

    const struct {
        const char* what;
        std::string firstBytes;  // sent at once
        bool trickle;            // then one byte of a header every 100 ms
        bool readAnswer;
    } cases[] = {
        {"idle", "", false, false},
        {"request trickling in", "GET /files/Halvora.exe HTTP/1.1\r\nX-Slow: ", true, false},
        {"stalled download", "GET /files/big.bin HTTP/1.1\r\nHost: h\r\n\r\n", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int fd = testing::connectLoopback(running.port, 4096);
        ASSERT_GE(fd, 0);
        ::send(fd, c.firstBytes.data(), c.firstBytes.size(), MSG_NOSIGNAL);
        bool closed = false;
        std::size_t received = 0;
        const auto start = std::chrono::steady_clock::now();
        // The library's own limits were 5 s between requests, 5 s for each
        // read with no limit for a whole request, and 5 s for each write.
        while (!closed && std::chrono::steady_clock::now() - start < 3s) {
            if (c.trickle) {
                ::send(fd, "a", 1, MSG_NOSIGNAL);
            }
            if (c.readAnswer) {
                std::this_thread::sleep_for(100ms);
                continue;  // take nothing until the time is up
            }
            pollfd entry{fd, POLLIN, 0};
            if (::poll(&entry, 1, 100) == 1) {
                char buffer[4096];
                const ssize_t got = ::recv(fd, buffer, sizeof(buffer), 0);
                closed = got <= 0;
            }
        }
        if (c.readAnswer) {
            // Now take everything: a dropped download ends short of the file.
            char buffer[65536];
            ssize_t got = 0;
            while ((got = ::recv(fd, buffer, sizeof(buffer), 0)) > 0) {
                received += static_cast<std::size_t>(got);
            }
            closed = got == 0 && received < kBigFileSize;
        }
        ::close(fd);
        EXPECT_TRUE(closed) << received;
    }
}

}  // namespace
}  // namespace brenvik::server
