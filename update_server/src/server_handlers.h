#pragma once
// The update server's answers: POST /api/upgrade from the release manifest,
// GET /files/<name> from the release directory, 413 for large bodies, 500
// with the reason kept for the log, and one access-log line per request.

#include <mutex>
#include <ostream>
#include <string>

#include <httplib.h>

#include "release.h"

namespace brenvik::server {

class RequestHandlers {
public:
    // Download URLs start with `publicUrl` when it is not empty.
    RequestHandlers(std::string releaseDirectory, std::ostream& accessLog, std::string publicUrl);
    RequestHandlers(const RequestHandlers&) = delete;
    RequestHandlers& operator=(const RequestHandlers&) = delete;

    // Routes `http`'s requests, errors, exceptions and log lines here; this
    // object must outlive `http`'s serving.
    void attachTo(httplib::Server& http);
    // Where download URLs point when there is no public URL and the request
    // has no usable Host header; set before serving starts.
    void setBoundAddress(const std::string& host, int port);

    const std::string& releaseDirectory() const { return releaseDirectory_; }
    DigestCache& digests() { return digests_; }

private:
    std::string baseUrl(const httplib::Request& req) const;
    void upgrade(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader);
    void check(const httplib::Request& req, const std::string& text, httplib::Response& res);
    void logRequest(const httplib::Request& req, const httplib::Response& res);

    const std::string releaseDirectory_;
    std::ostream& accessLog_;
    std::mutex logMutex_;
    std::string publicUrl_;
    std::string boundHost_;
    int boundPort_ = -1;
    DigestCache digests_;
};

}  // namespace brenvik::server
