#include "server_handlers.h"

#include <cctype>
#include <exception>
#include <sstream>
#include <utility>

#include <json/json.h>

#include "server_files.h"
#include "server_request.h"
#include "version.h"

namespace brenvik::server {
namespace {

// A check body is one flat object; deeper nesting is refused as malformed
// long before the parser's own limit would throw.
constexpr int kMaxJsonDepth = 32;

// Answers 413 without reading the body, which is why the connection ends.
void refuseLargeBody(httplib::Response& res) {
    sendError(res, 413, "request body larger than " + std::to_string(kMaxRequestBody) + " bytes");
    res.set_header("Connection", "close");
    requestNotes.closeAfter = true;
}

bool declaresLargeBody(const httplib::Request& req) {
    if (!req.has_header("Content-Length")) {
        return false;
    }
    const std::string length = req.get_header_value("Content-Length");
    return length.empty() || length.size() > 18 || length.find_first_not_of("0123456789") != std::string::npos ||
           std::stoull(length) > kMaxRequestBody;
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

}  // namespace

RequestHandlers::RequestHandlers(std::string releaseDirectory, std::ostream& accessLog, std::string publicUrl)
    : releaseDirectory_(std::move(releaseDirectory)), accessLog_(accessLog), publicUrl_(std::move(publicUrl)) {
    while (!publicUrl_.empty() && publicUrl_.back() == '/') {
        publicUrl_.pop_back();
    }
}

void RequestHandlers::setBoundAddress(const std::string& host, int port) {
    boundHost_ = host;
    boundPort_ = port;
}

void RequestHandlers::attachTo(httplib::Server& http) {
    http.set_payload_max_length(kMaxRequestBody);
    // A body too large is refused from its declared length, before a byte of
    // it is waited for.
    http.set_expect_100_continue_handler([](const httplib::Request& req, httplib::Response& res) {
        if (declaresLargeBody(req)) {
            refuseLargeBody(res);
            return 413;
        }
        return 100;
    });
    http.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        if (declaresLargeBody(req)) {
            refuseLargeBody(res);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    http.Post("/api/upgrade", [this](const httplib::Request& req, httplib::Response& res,
                                     const httplib::ContentReader& reader) { upgrade(req, res, reader); });
    http.Post("/api/upgrade",
              [this](const httplib::Request& req, httplib::Response& res) { check(req, req.body, res); });
    http.Get("/files/(.+)", [this](const httplib::Request& req, httplib::Response& res) {
        serveFile(releaseDirectory_, req, req.matches[1].str(), res);
    });
    http.set_error_handler(
        httplib::Server::HandlerWithResponse([this](const httplib::Request& req, httplib::Response& res) {
            // The library answers 416 itself to a Range header it cannot parse,
            // before any handler runs; such a header is ignored instead.
            const std::string prefix = "/files/";
            if (res.status == 416 && !requestNotes.headersParsed && (req.method == "GET" || req.method == "HEAD") &&
                req.path.compare(0, prefix.size(), prefix) == 0) {
                // The request is the library's own, not const; its ranges would
                // otherwise cut the whole file that is sent instead.
                const_cast<httplib::Request&>(req).ranges.clear();
                res = httplib::Response();
                serveFile(releaseDirectory_, req, req.path.substr(prefix.size()), res);
                return httplib::Server::HandlerResponse::Handled;
            }
            return httplib::Server::HandlerResponse::Unhandled;
        }));
    http.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
        std::string reason = "unknown exception";
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            reason = e.what();
        } catch (...) {
        }
        sendError(res, 500, "internal error");
        requestNotes.errorReason = "internal error: " + reason;
    });
    http.set_logger([this](const httplib::Request& req, const httplib::Response& res) { logRequest(req, res); });
}

std::string RequestHandlers::baseUrl(const httplib::Request& req) const {
    if (!publicUrl_.empty()) {
        return publicUrl_;
    }
    const std::string host = req.get_header_value("Host");
    return "http://" + (isUsableHost(host) ? host : boundHost_ + ":" + std::to_string(boundPort_));
}

void RequestHandlers::upgrade(const httplib::Request& req, httplib::Response& res,
                              const httplib::ContentReader& reader) {
    std::string text;
    bool tooLarge = false;
    const bool complete = reader([&](const char* data, std::size_t length) {
        if (text.size() + length > kMaxRequestBody) {
            tooLarge = true;
            return false;
        }
        text.append(data, length);
        return true;
    });
    if (tooLarge) {
        refuseLargeBody(res);
        return;
    }
    if (!complete) {
        sendError(res, 400, "request body could not be read");
        res.set_header("Connection", "close");
        requestNotes.closeAfter = true;
        return;
    }
    check(req, text, res);
}

void RequestHandlers::check(const httplib::Request& req, const std::string& text, httplib::Response& res) {
    Json::CharReaderBuilder builder;
    builder["allowComments"] = false;
    builder["stackLimit"] = kMaxJsonDepth;
    Json::Value body;
    std::string errors;
    bool parsed = false;
    try {
        std::istringstream in(text);
        parsed = Json::parseFromStream(builder, in, &body, &errors);
    } catch (const std::exception&) {
        parsed = false;  // nested too deeply
    }
    if (!parsed || !body.isObject()) {
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
    const auto release = loadRelease(releaseDirectory_, error);
    if (!release) {
        sendError(res, 500, "release unavailable: " + error);
        return;
    }
    sendJson(res, 200, buildUpgradeReply(*release, *version, baseUrl(req), digests_));
}

void RequestHandlers::logRequest(const httplib::Request& req, const httplib::Response& res) {
    const std::string length = res.get_header_value("Content-Length");
    std::lock_guard<std::mutex> lock(logMutex_);
    accessLog_ << req.remote_addr << " \"" << req.method << ' ' << loggable(req.path) << ' ' << req.version << "\" "
               << res.status << ' ' << (length.empty() ? "-" : length);
    if (res.status >= 500 && !requestNotes.errorReason.empty()) {
        accessLog_ << " \"" << loggable(requestNotes.errorReason) << '"';
    }
    accessLog_ << '\n' << std::flush;
}

}  // namespace brenvik::server
