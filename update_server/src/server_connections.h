#pragma once
// How the update server holds its connections: the library's server with a
// connection loop of its own, a worker from a bounded pool per connection,
// deadlines for idle connections, slow requests and stalled downloads, and
// the set of open sockets that a stop shuts down at once.

#include <mutex>
#include <set>

#include <httplib.h>

#include "update_server.h"

namespace brenvik::server {

// The sockets of the connections being served, so that stop() can end them
// all at once. A connection closes its socket only after leaving the set, so
// stop() never touches a descriptor that has been closed and reused.
class Connections {
public:
    // False once the server is stopping: the connection is not served.
    bool add(int fd);
    void remove(int fd);
    // Wakes every blocked read and write; their workers then end.
    void shutDownAll();
    bool stopping();

private:
    std::mutex mutex_;
    std::set<int> fds_;
    bool stopping_ = false;
};

// The library's server with connections served by its own loop instead of
// the library's, which has no deadline for a whole request, blocks in send()
// for as long as a slow client keeps taking bytes, and cannot be ended from
// outside. `options` and `connections` must outlive it.
class HttpServer : public httplib::Server {
public:
    HttpServer(const ServerOptions& options, Connections& connections);

    // The library listens with a backlog of 5, so a burst of clients waits
    // for the kernel's SYN retries (one second and more); listening again
    // on the bound socket only widens the queue.
    void widenBacklog();

private:
    bool process_and_close_socket(socket_t sock) override;

    const ServerOptions& options_;
    Connections& connections_;
};

}  // namespace brenvik::server
