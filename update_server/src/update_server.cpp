#include "update_server.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "release.h"
#include "server_connections.h"
#include "server_handlers.h"

namespace brenvik::server {

std::string checkPublicUrl(const std::string& url) {
    const auto scheme = url.find("://");
    if (scheme == std::string::npos || (url.compare(0, scheme, "http") != 0 && url.compare(0, scheme, "https") != 0)) {
        return "must start with http:// or https://";
    }
    const std::string rest = url.substr(scheme + 3);
    if (rest.empty() || rest[0] == '/') {
        return "has no host";
    }
    for (unsigned char c : rest) {
        if (c <= 0x20 || c >= 0x7f || c == '"' || c == '\\' || c == '?' || c == '#' || c == '<' || c == '>') {
            return "may not hold spaces, control bytes, quotes, '?' or '#'";
        }
    }
    return std::string();
}

struct UpdateServer::State {
    ServerOptions options;
    Connections connections;
    // Before the server whose callbacks use it, so it is gone only after.
    RequestHandlers handlers;
    HttpServer http;
    int boundPort = -1;
    std::string bindError;
    // stop() may come before run() has started listening; the listener would
    // then never see it. These two let each side see the other.
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> runEntered{false};

    State(std::string directory, std::ostream& log, ServerOptions serverOptions)
        : options(std::move(serverOptions)), handlers(std::move(directory), log, options.publicUrl),
          http(options, connections) {}
};

UpdateServer::UpdateServer(std::string releaseDirectory, std::ostream& accessLog, ServerOptions options)
    : state_(std::make_unique<State>(std::move(releaseDirectory), accessLog, std::move(options))) {
    state_->handlers.attachTo(state_->http);
}

UpdateServer::~UpdateServer() {
    stop();
}

int UpdateServer::bind(const std::string& host, int port) {
    State& s = *state_;
    errno = 0;
    if (port == 0) {
        s.boundPort = s.http.bind_to_any_port(host);
    } else {
        s.boundPort = s.http.bind_to_port(host, port) ? port : -1;
    }
    s.handlers.setBoundAddress(host, s.boundPort);
    s.http.widenBacklog();
    if (s.boundPort < 0) {
        const int reason = errno;
        s.bindError = "cannot listen on " + host + ":" + std::to_string(port);
        if (reason == EADDRINUSE) {
            s.bindError += ": the port is in use (is another server running on it?)";
        } else if (reason != 0) {
            s.bindError += std::string(": ") + std::strerror(reason);
        }
    }
    return s.boundPort;
}

const std::string& UpdateServer::bindError() const {
    return state_->bindError;
}

void UpdateServer::computeDigests(std::ostream& progress) {
    std::string error;
    if (const auto release = loadRelease(state_->handlers.releaseDirectory(), error)) {
        state_->handlers.digests().prepare(*release, progress);
    }
}

bool UpdateServer::run() {
    State& s = *state_;
    s.runEntered = true;
    bool served = true;
    if (!s.stopRequested) served = s.http.listen_after_bind();
    s.runEntered = false;
    return served;
}

void UpdateServer::stop() {
    State& s = *state_;
    s.stopRequested = true;
    s.handlers.digests().cancel();
    if (s.runEntered) {
        // run() is on its way into the listen loop: wait until the loop is up
        // (or has already ended), so the stop reaches it.
        for (int i = 0; i < 2000 && !s.http.is_running(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    s.http.stop();
    s.connections.shutDownAll();
}

}  // namespace brenvik::server
