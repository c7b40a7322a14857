#include "server_connections.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <thread>
#include <vector>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "server_request.h"

namespace brenvik::server {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Worker threads started as connections arrive, up to `limit`; a thread
// stays for later connections once started. Beyond the limit, connections
// wait in order for a worker.
class WorkerPool : public httplib::TaskQueue {
public:
    explicit WorkerPool(std::size_t limit) : limit_(std::max<std::size_t>(1, limit)) {}
    ~WorkerPool() override { shutdown(); }

    void enqueue(std::function<void()> job) override {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
        if (jobs_.size() > idle_ && threads_.size() < limit_) {
            threads_.emplace_back([this] { work(); });
        } else {
            wake_.notify_one();
        }
    }

    void shutdown() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            shuttingDown_ = true;
        }
        wake_.notify_all();
        for (auto& thread : threads_) {
            if (thread.joinable()) thread.join();
        }
    }

private:
    void work() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            ++idle_;
            wake_.wait(lock, [this] { return !jobs_.empty() || shuttingDown_; });
            --idle_;
            if (jobs_.empty()) {
                return;  // shutting down with nothing left
            }
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    const std::size_t limit_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::vector<std::thread> threads_;
    std::size_t idle_ = 0;
    bool shuttingDown_ = false;
};

// One connection's socket with the server's timeouts: reads must finish by
// the request's deadline, writes fail once the client has taken nothing for
// the stall timeout. Sends never block, so a shutdown() of the socket from
// stop() is seen at once.
class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(int fd, const ServerOptions& options) : fd_(fd), options_(options) {}

    bool waitForRequest() const { return waitFor(POLLIN, options_.idleTimeout); }
    void startRequest() { deadline_ = Clock::now() + options_.requestTimeout; }

    bool is_readable() const override { return waitFor(POLLIN, untilDeadline()); }
    bool is_writable() const override { return waitFor(POLLOUT, options_.stallTimeout); }

    ssize_t read(char* ptr, size_t size) override {
        while (true) {
            const ssize_t got = ::recv(fd_, ptr, size, MSG_DONTWAIT);
            if (got >= 0) return got;
            if (errno == EINTR) continue;
            if ((errno != EAGAIN && errno != EWOULDBLOCK) || !waitFor(POLLIN, untilDeadline())) return -1;
        }
    }

    ssize_t write(const char* ptr, size_t size) override {
        while (true) {
            const ssize_t sent = ::send(fd_, ptr, size, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent >= 0) return sent;
            if (errno == EINTR) continue;
            if ((errno != EAGAIN && errno != EWOULDBLOCK) || !waitFor(POLLOUT, options_.stallTimeout)) return -1;
        }
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override { address(::getpeername, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { address(::getsockname, ip, port); }
    socket_t socket() const override { return fd_; }

private:
    milliseconds untilDeadline() const {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline_ - Clock::now());
        return std::max(left, milliseconds(0));
    }

    bool waitFor(short events, milliseconds timeout) const {
        const auto end = Clock::now() + timeout;
        while (true) {
            pollfd entry{fd_, events, 0};
            const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now());
            const int ready = ::poll(&entry, 1, static_cast<int>(std::max(left, milliseconds(0)).count()));
            if (ready > 0) return true;  // ready, or an error the next call reports
            if (ready == 0 || errno != EINTR) return false;
        }
    }

    template <typename Query>
    void address(Query query, std::string& ip, int& port) const {
        sockaddr_storage storage{};
        socklen_t length = sizeof(storage);
        char host[NI_MAXHOST] = {};
        char service[NI_MAXSERV] = {};
        if (query(fd_, reinterpret_cast<sockaddr*>(&storage), &length) == 0 &&
            ::getnameinfo(reinterpret_cast<sockaddr*>(&storage), length, host, sizeof(host), service, sizeof(service),
                          NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
            ip = host;
            port = std::atoi(service);
        }
    }

    const int fd_;
    const ServerOptions& options_;
    Clock::time_point deadline_ = Clock::now();
};

// After an answer given without reading the body: closing a socket with
// unread bytes resets the connection, and the client, still sending, would
// lose the answer. So the sending side is closed first and the rest read
// and dropped for a short while.
void drainUnreadBody(int sock) {
    ::shutdown(sock, SHUT_WR);
    const auto end = Clock::now() + std::chrono::seconds(2);
    char buffer[16384];
    while (Clock::now() < end) {
        pollfd entry{sock, POLLIN, 0};
        if (::poll(&entry, 1, 100) < 0 && errno != EINTR) return;
        if ((entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0 && ::recv(sock, buffer, sizeof(buffer), 0) <= 0) {
            return;
        }
    }
}

}  // namespace

bool Connections::add(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
        return false;
    }
    fds_.insert(fd);
    return true;
}

void Connections::remove(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    fds_.erase(fd);
}

void Connections::shutDownAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    for (int fd : fds_) {
        ::shutdown(fd, SHUT_RDWR);
    }
}

bool Connections::stopping() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
}

HttpServer::HttpServer(const ServerOptions& options, Connections& connections)
    : options_(options), connections_(connections) {
    new_task_queue = [this] { return new WorkerPool(options_.workers); };
    const auto seconds = [](milliseconds duration) {
        return std::max<time_t>(1, static_cast<time_t>((duration.count() + 999) / 1000));
    };
    // Only Keep-Alive's header text comes from these; the connection loop
    // keeps the limits itself.
    set_keep_alive_timeout(seconds(options_.idleTimeout));
    set_keep_alive_max_count(kMaxRequestsPerConnection);
    // The library's default also sets SO_REUSEPORT, with which a second
    // server on the same port starts as well and the kernel splits the
    // clients between them. SO_REUSEADDR alone still allows a restart while
    // old connections linger.
    set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
}

void HttpServer::widenBacklog() {
    const socket_t sock = svr_sock_;
    if (sock != INVALID_SOCKET) {
        ::listen(sock, SOMAXCONN);
    }
}

bool HttpServer::process_and_close_socket(socket_t sock) {
    bool served = false;
    if (connections_.add(sock)) {
        // A head and a body are written separately; without this the body
        // waits for the client's delayed acknowledgement.
        int yes = 1;
        ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
        ConnectionStream stream(sock, options_);
        for (std::size_t left = kMaxRequestsPerConnection; left > 0; --left) {
            if (!stream.waitForRequest() || connections_.stopping()) {
                break;
            }
            stream.startRequest();
            requestNotes = RequestNotes{};
            bool closed = false;
            served = process_request(stream, left == 1, closed, [](httplib::Request& req) {
                requestNotes.headersParsed = true;
                req.ranges.clear();  // the download handler reads Range itself
            });
            if (requestNotes.closeAfter) {
                drainUnreadBody(sock);
                break;
            }
            if (!served || closed) {
                break;
            }
        }
        connections_.remove(sock);
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return served;
}

}  // namespace brenvik::server
