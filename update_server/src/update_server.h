#pragma once
// The update server: answers POST /api/upgrade from the release directory's
// manifest and serves the listed files under /files/<name>, with a length,
// streamed from disk, and with range support. One access-log line per
// request goes to the given stream.

#include <memory>
#include <ostream>
#include <string>

namespace brenvik::server {

class UpdateServer {
public:
    UpdateServer(std::string releaseDirectory, std::ostream& accessLog);
    ~UpdateServer();
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    // Binds `host`:`port` (0 picks a free port); the bound port, or -1.
    int bind(const std::string& host, int port);
    // Serves until stop() is called; false when serving could not start.
    bool run();
    // Ends run() from any thread.
    void stop();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace brenvik::server
