#include "update_server.h"

#include <atomic>
#include <chrono>
#include <thread>

#include <cstdio>
#include <mutex>
#include <vector>

#include <httplib.h>
#include <json/json.h>

#include "release.h"

namespace brenvik::server {
namespace {

constexpr std::size_t kChunkSize = 256 * 1024;
// A check request is a few dozen bytes; anything far larger is refused
// before it is read, so one client cannot make the server hold gigabytes.
constexpr std::size_t kMaxRequestBody = 64 * 1024;

void sendJson(httplib::Response& res, int status, const Json::Value& body) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    res.status = status;
    res.set_content(Json::writeString(builder, body), "application/json");
}

void sendError(httplib::Response& res, int status, const std::string& message) {
    Json::Value body(Json::objectValue);
    body["error"] = message;
    sendJson(res, status, body);
}

// Only a plain host[:port] from the request goes into download URLs.
bool isUsableHost(const std::string& host) {
    if (host.empty() || host.size() > 255) {
        return false;
    }
    for (unsigned char c : host) {
        if (!std::isalnum(c) && c != '.' && c != '-' && c != ':' && c != '[' && c != ']' && c != '_') {
            return false;
        }
    }
    return true;
}

// The request path arrives percent-decoded; control bytes and quotes are
// written as \xNN so a request cannot forge or split access-log lines.
std::string loggable(const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f || c == '"') {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

struct OpenFile {
    std::FILE* stream = nullptr;
    std::size_t position = 0;
    std::vector<char> buffer;
    ~OpenFile() {
        if (stream != nullptr) {
            std::fclose(stream);
        }
    }
};

}  // namespace

struct UpdateServer::State {
    std::string releaseDirectory;
    std::ostream& accessLog;
    std::mutex logMutex;
    httplib::Server http;
    DigestCache digests;
    std::string boundHost;
    int boundPort = -1;
    // stop() may come before run() has started listening; the listener would
    // then never see it. These two let each side see the other.
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> runEntered{false};

    State(std::string directory, std::ostream& log) : releaseDirectory(std::move(directory)), accessLog(log) {}

    std::string baseUrl(const httplib::Request& req) const {
        const std::string host = req.get_header_value("Host");
        return "http://" + (isUsableHost(host) ? host : boundHost + ":" + std::to_string(boundPort));
    }

    void upgrade(const httplib::Request& req, httplib::Response& res) {
        Json::CharReaderBuilder builder;
        builder["allowComments"] = false;
        Json::Value body;
        std::string errors;
        std::istringstream in(req.body);
        if (!Json::parseFromStream(builder, in, &body, &errors) || !body.isObject()) {
            sendError(res, 400, "request body must be a JSON object");
            return;
        }
        const Json::Value& clientVersion = body["client_version"];
        const auto version = clientVersion.isString() ? parseVersion(clientVersion.asString()) : std::nullopt;
        if (!version) {
            sendError(res, 400, "\"client_version\" must be a dotted version such as 1.2.0");
            return;
        }
        std::string error;
        const auto release = loadRelease(releaseDirectory, error);
        if (!release) {
            sendError(res, 500, "release unavailable: " + error);
            return;
        }
        sendJson(res, 200, buildUpgradeReply(*release, *version, baseUrl(req), digests));
    }

    void download(const httplib::Request& req, httplib::Response& res) {
        std::string error;
        const auto release = loadRelease(releaseDirectory, error);
        const ReleaseFile* file = release ? release->find(req.matches[1].str()) : nullptr;
        if (file == nullptr || file->isDirectory) {
            sendError(res, 404, "no such file in the release");
            return;
        }
        auto open = std::make_shared<OpenFile>();
        open->stream = std::fopen(file->diskPath.c_str(), "rb");
        if (open->stream == nullptr || std::fseek(open->stream, 0, SEEK_END) != 0) {
            sendError(res, 500, "cannot read " + file->name);
            return;
        }
        const long size = std::ftell(open->stream);
        std::rewind(open->stream);
        open->buffer.resize(kChunkSize);
        res.set_content_provider(
            static_cast<std::size_t>(size), "application/octet-stream",
            [open](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                if (offset != open->position) {
                    if (std::fseek(open->stream, static_cast<long>(offset), SEEK_SET) != 0) {
                        return false;
                    }
                    open->position = offset;
                }
                const std::size_t want = std::min(length, open->buffer.size());
                const std::size_t got = std::fread(open->buffer.data(), 1, want, open->stream);
                if (got == 0) {
                    return false;  // file shrank under us: drop the connection
                }
                open->position += got;
                return sink.write(open->buffer.data(), got);
            });
    }

    void logRequest(const httplib::Request& req, const httplib::Response& res) {
        const std::string length = res.get_header_value("Content-Length");
        std::lock_guard<std::mutex> lock(logMutex);
        accessLog << req.remote_addr << " \"" << req.method << ' ' << loggable(req.path) << ' ' << req.version << "\" "
                  << res.status << ' ' << (length.empty() ? "-" : length) << '\n'
                  << std::flush;
    }
};

UpdateServer::UpdateServer(std::string releaseDirectory, std::ostream& accessLog)
    : state_(std::make_unique<State>(std::move(releaseDirectory), accessLog)) {
    State& s = *state_;
    s.http.set_payload_max_length(kMaxRequestBody);
    s.http.Post("/api/upgrade", [&s](const httplib::Request& req, httplib::Response& res) { s.upgrade(req, res); });
    s.http.Get("/files/(.+)", [&s](const httplib::Request& req, httplib::Response& res) { s.download(req, res); });
    s.http.set_logger([&s](const httplib::Request& req, const httplib::Response& res) { s.logRequest(req, res); });
}

UpdateServer::~UpdateServer() {
    stop();
}

int UpdateServer::bind(const std::string& host, int port) {
    state_->boundHost = host;
    if (port == 0) {
        state_->boundPort = state_->http.bind_to_any_port(host);
    } else {
        state_->boundPort = state_->http.bind_to_port(host, port) ? port : -1;
    }
    return state_->boundPort;
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
    if (s.runEntered) {
        // run() is on its way into the listen loop: wait until the loop is up
        // (or has already ended), so the stop reaches it.
        for (int i = 0; i < 2000 && !s.http.is_running(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    s.http.stop();
}

}  // namespace brenvik::server
