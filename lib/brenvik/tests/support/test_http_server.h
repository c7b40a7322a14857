#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for the client tests: serves canned
// replies per path, one connection at a time, and records what it was sent.
// It can also misbehave on purpose (no length, dropped body, stalling).

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loopback_socket.h"

namespace brenvik::testing {

struct RecordedRequest {
    std::string method;
    std::string path;
    std::string contentType;
    std::string body;
    bool hasContentLength = false;
};

struct Reply {
    enum class Framing {
        Length,       // Content-Length, then the body
        NoLength,     // body ends when the connection closes
        DropMidBody,  // announces twice the body's length, sends the body, closes
    };
    int status = 200;
    std::string body;
    std::string contentType = "application/octet-stream";
    std::string location;  // Location header when not empty
    Framing framing = Framing::Length;
    int stallMs = 0;  // delay before anything is sent
};

class TestHttpServer {
public:
    using Route = std::function<Reply(const RecordedRequest&)>;

    TestHttpServer();
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    void route(const std::string& path, Route handler);
    void reply(const std::string& path, Reply fixed);
    std::string url(const std::string& path) const;
    std::vector<RecordedRequest> requests() const;

private:
    void serve();
    void handle(SocketHandle connection);

    std::uint16_t port_ = 0;
    SocketHandle listener_ = kNoSocket;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Route> routes_;
    std::vector<RecordedRequest> requests_;
    std::thread thread_;
};

}  // namespace brenvik::testing
