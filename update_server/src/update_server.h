#pragma once
// The update server: answers POST /api/upgrade from the release directory's
// manifest and serves the listed files under /files/<name>, with a length,
// streamed from disk, and with range support. One access-log line per
// request goes to the given stream.
//
// Each connection has a worker thread of its own, from a pool that grows up
// to `workers` threads, so slow downloads do not hold up checks. Idle
// connections, requests that arrive too slowly and downloads whose client
// stops taking bytes are closed after the timeouts below, and stop() closes
// every connection at once instead of waiting for transfers to end.

#include <chrono>
#include <cstddef>
#include <memory>
#include <ostream>
#include <string>

namespace brenvik::server {

struct ServerOptions {
    // Start of the download URLs in check replies, such as
    // "https://cdn.example.com/halvora"; "/files/<name>" follows it. Empty:
    // http:// and the request's Host header (or the bound address).
    std::string publicUrl;
    // Connections served at the same time; later ones wait for a worker.
    std::size_t workers = 256;
    // A kept-alive connection with no new request is closed after this.
    std::chrono::milliseconds idleTimeout{5000};
    // A request's line, headers and body must all arrive within this.
    std::chrono::milliseconds requestTimeout{10000};
    // A download whose client takes no byte for this long is dropped.
    std::chrono::milliseconds stallTimeout{20000};
};

// Empty when `url` can start download URLs: http:// or https://, a host, an
// optional path, nothing a client would read otherwise; else the reason.
std::string checkPublicUrl(const std::string& url);

class UpdateServer {
public:
    UpdateServer(std::string releaseDirectory, std::ostream& accessLog, ServerOptions options = {});
    ~UpdateServer();
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    // Binds `host`:`port` (0 picks a free port); the bound port, or -1 with
    // the reason in bindError(). A port that another server holds is refused.
    int bind(const std::string& host, int port);
    const std::string& bindError() const;
    // Computes the MD5 of every listed file now, so that the first check does
    // not; progress lines go to `progress`. Checks recompute a digest only
    // when the file's size or modification time has changed.
    void computeDigests(std::ostream& progress);
    // Serves until stop() is called; false when serving could not start.
    bool run();
    // Ends run() from any thread, closing open connections.
    void stop();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace brenvik::server
