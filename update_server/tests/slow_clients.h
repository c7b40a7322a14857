#pragma once
// Clients that download slowly: each connection asks for one file with a
// small receive buffer and then takes `bytesPerTick` bytes every `tick` (or
// nothing at all), all on one thread. Used by the server tests and the
// server benchmark.

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace brenvik::server::testing {

// A loopback TCP connection to `port` with a small receive buffer, or -1.
inline int connectLoopback(int port, int receiveBuffer = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (receiveBuffer > 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class SlowDownloads {
public:
    SlowDownloads(int port, const std::string& path, int count, std::size_t bytesPerTick = 1024,
                  std::chrono::milliseconds tick = std::chrono::milliseconds(50))
        : received_(static_cast<std::size_t>(count)) {
        const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        for (int i = 0; i < count; ++i) {
            const int fd = connectLoopback(port, 4096);
            if (fd >= 0) {
                ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
            }
            fds_.push_back(fd);
        }
        reader_ = std::thread([this, bytesPerTick, tick] {
            std::vector<char> buffer(bytesPerTick);
            while (!done_) {
                for (std::size_t i = 0; i < fds_.size() && bytesPerTick > 0; ++i) {
                    if (fds_[i] < 0) continue;
                    const ssize_t got = ::recv(fds_[i], buffer.data(), buffer.size(), MSG_DONTWAIT);
                    if (got > 0) received_[i] += static_cast<std::size_t>(got);
                    if (got == 0) closed_++;
                    if (got == 0) {
                        ::close(fds_[i]);
                        fds_[i] = -1;
                    }
                }
                std::this_thread::sleep_for(tick);
            }
        });
    }
    ~SlowDownloads() {
        done_ = true;
        reader_.join();
        for (int fd : fds_) {
            if (fd >= 0) ::close(fd);
        }
    }
    SlowDownloads(const SlowDownloads&) = delete;
    SlowDownloads& operator=(const SlowDownloads&) = delete;

    // Waits until every connection has had its first bytes, that is, until
    // the server is sending each of them; false if that takes too long.
    bool waitUntilAllStarted(std::chrono::seconds limit = std::chrono::seconds(20)) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            bool all = true;
            for (const auto& count : received_) {
                all = all && count > 0;
            }
            if (all) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    int closedByServer() const { return closed_; }

private:
    std::vector<int> fds_;
    std::vector<std::atomic<std::size_t>> received_;
    std::atomic<int> closed_{0};
    std::atomic<bool> done_{false};
    std::thread reader_;
};

}  // namespace brenvik::server::testing
