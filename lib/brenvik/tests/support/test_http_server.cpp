#include "test_http_server.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <stdexcept>

namespace brenvik::testing {
namespace {

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}

// Reads the request head and its Content-Length body; false on a broken one.
bool readRequest(SocketHandle connection, RecordedRequest& request) {
    std::string data;
    char buffer[4096];
    std::size_t headEnd;
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
        const long got = receiveSome(connection, buffer, sizeof(buffer));
        if (got <= 0) {
            return false;
        }
        data.append(buffer, static_cast<std::size_t>(got));
    }
    const std::string head = data.substr(0, headEnd);
    std::string body = data.substr(headEnd + 4);

    const auto lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const auto firstBlank = requestLine.find(' ');
    const auto secondBlank = requestLine.find(' ', firstBlank + 1);
    request.method = requestLine.substr(0, firstBlank);
    request.path = requestLine.substr(firstBlank + 1, secondBlank - firstBlank - 1);

    std::size_t contentLength = 0;
    std::size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        auto end = head.find("\r\n", pos);
        if (end == std::string::npos) {
            end = head.size();
        }
        const std::string line = head.substr(pos, end - pos);
        const auto colon = line.find(':');
        if (colon != std::string::npos) {
            const std::string name = lowerCase(line.substr(0, colon));
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            if (name == "content-type") {
                request.contentType = value;
            } else if (name == "content-length") {
                request.hasContentLength = true;
                contentLength = static_cast<std::size_t>(std::stoul(value));
            }
        }
        pos = end + 2;
    }
    while (body.size() < contentLength) {
        const long got = receiveSome(connection, buffer, sizeof(buffer));
        if (got <= 0) {
            return false;
        }
        body.append(buffer, static_cast<std::size_t>(got));
    }
    request.body = body;
    return true;
}

}  // namespace

TestHttpServer::TestHttpServer() {
    listener_ = listenOnLoopback(port_);
    if (listener_ == kNoSocket) {
        throw std::runtime_error("test server cannot listen on 127.0.0.1");
    }
    thread_ = std::thread([this] { serve(); });
}

TestHttpServer::~TestHttpServer() {
    stopping_ = true;
    thread_.join();
    closeSocket(listener_);
}

void TestHttpServer::route(const std::string& path, Route handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_[path] = std::move(handler);
}

void TestHttpServer::reply(const std::string& path, Reply fixed) {
    route(path, [fixed](const RecordedRequest&) { return fixed; });
}

std::string TestHttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<RecordedRequest> TestHttpServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void TestHttpServer::serve() {
    while (!stopping_) {
        const SocketHandle connection = acceptWithTimeout(listener_, 50);
        if (connection != kNoSocket) {
            handle(connection);
            closeSocket(connection);
        }
    }
}

void TestHttpServer::handle(SocketHandle connection) {
    RecordedRequest request;
    if (!readRequest(connection, request)) {
        return;
    }
    Route handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
        const auto found = routes_.find(request.path);
        if (found != routes_.end()) {
            handler = found->second;
        }
    }
    Reply answer;
    if (handler) {
        answer = handler(request);
    } else {
        answer.status = 404;
        answer.body = "no route";
    }
    if (answer.stallMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(answer.stallMs));
    }

    std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " " + reasonPhrase(answer.status) + "\r\n";
    head += "Content-Type: " + answer.contentType + "\r\nConnection: close\r\n";
    if (!answer.location.empty()) {
        head += "Location: " + answer.location + "\r\n";
    }
    switch (answer.framing) {
    case Reply::Framing::Length:
        head += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
        break;
    case Reply::Framing::DropMidBody:
        head += "Content-Length: " + std::to_string(answer.body.size() * 2) + "\r\n";
        break;
    case Reply::Framing::NoLength:
        break;
    }
    head += "\r\n";
    if (sendAll(connection, head.data(), head.size())) {
        sendAll(connection, answer.body.data(), answer.body.size());
    }
}

}  // namespace brenvik::testing
