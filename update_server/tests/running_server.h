#pragma once
// The real server, in this process, on a free loopback port, for the tests.

#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include "slow_clients.h"
#include "update_server.h"

namespace brenvik::server::testing {

// The real server, in this process, on a free loopback port.
class RunningServer {
public:
    explicit RunningServer(const std::string& releaseDirectory, ServerOptions options = {})
        : server(releaseDirectory, log, std::move(options)) {
        port = server.bind("127.0.0.1", 0);
        if (port <= 0) return;
        thread = std::thread([this] { server.run(); });
        httplib::Client probe("127.0.0.1", port);
        for (int i = 0; i < 100 && !probe.Get("/"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~RunningServer() { stop(); }
    void stop() {
        server.stop();
        if (thread.joinable()) thread.join();
    }
    // The access log is written on the server's threads after each response
    // has gone out, so it is read only once the server has stopped.
    std::string finalAccessLog() {
        stop();
        return log.str();
    }
    httplib::Result check(const std::string& version = "1.0") {
        httplib::Client client("127.0.0.1", port);
        return client.Post("/api/upgrade", R"({"client_version": ")" + version + "\"}", "application/json");
    }

    std::ostringstream log;
    UpdateServer server;
    int port = 0;
    std::thread thread;
};

// The first bytes of the server's answer to `request` sent on a fresh
// connection, read until the head is complete or `limit` passes.
inline std::string rawExchange(int port, const std::string& request, std::chrono::milliseconds limit) {
    const int fd = connectLoopback(port);
    if (fd < 0) return "no connection";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string answer;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (answer.find("\r\n\r\n") == std::string::npos && std::chrono::steady_clock::now() < end) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 20) == 1) {
            char buffer[4096];
            const ssize_t got = ::recv(fd, buffer, sizeof(buffer), 0);
            if (got <= 0) break;
            answer.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    return answer;
}

}  // namespace brenvik::server::testing
