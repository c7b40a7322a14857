#pragma once
// What the connection loop and the handlers share about the request being
// served: its limits, the notes its callbacks leave for the loop and the
// access log, and the JSON answers every handler gives.

#include <cstddef>
#include <string>

#include <httplib.h>
#include <json/json.h>

namespace brenvik::server {

// A check request is a few dozen bytes; anything far larger is refused
// before it is read, so one client cannot make the server hold gigabytes.
constexpr std::size_t kMaxRequestBody = 64 * 1024;
constexpr std::size_t kMaxRequestsPerConnection = 100;

// What one request's callbacks tell the connection loop and the access log.
// The library runs every step of a request on the connection's worker
// thread, so a thread-local object carries it; the loop resets it before
// each request.
struct RequestNotes {
    bool headersParsed = false;  // the library accepted the head, Range included
    bool closeAfter = false;     // the body was left unread: end the connection
    std::string errorReason;     // why a 5xx answer was given, for the log
};
inline thread_local RequestNotes requestNotes;

inline void sendJson(httplib::Response& res, int status, const Json::Value& body) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    res.status = status;
    res.set_content(Json::writeString(builder, body), "application/json");
}

// {"error": message}; a 5xx message is also kept for the access log.
inline void sendError(httplib::Response& res, int status, const std::string& message) {
    Json::Value body(Json::objectValue);
    body["error"] = message;
    sendJson(res, status, body);
    if (status >= 500) {
        requestNotes.errorReason = message;
    }
}

}  // namespace brenvik::server
