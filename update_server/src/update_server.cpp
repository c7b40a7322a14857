#include "update_server.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <httplib.h>
#include <json/json.h>

#include "release.h"

namespace brenvik::server {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Small enough that a download yields its worker's time often, large enough
// that a fast client is not slowed down by system calls.
constexpr std::size_t kChunkSize = 64 * 1024;
// A check request is a few dozen bytes; anything far larger is refused
// before it is read, so one client cannot make the server hold gigabytes.
constexpr std::size_t kMaxRequestBody = 64 * 1024;
constexpr std::size_t kMaxRequestsPerConnection = 100;
// A check body is one flat object; deeper nesting is refused as malformed
// long before the parser's own limit would throw.
constexpr int kMaxJsonDepth = 32;

// What one request's callbacks tell the connection loop and the access log.
// The library runs every step of a request on the connection's worker
// thread, so a thread-local object carries it.
struct RequestNotes {
    bool headersParsed = false;  // the library accepted the head, Range included
    bool closeAfter = false;     // the body was left unread: end the connection
    std::string errorReason;     // why a 5xx answer was given, for the log
};
thread_local RequestNotes requestNotes;

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
    if (status >= 500) {
        requestNotes.errorReason = message;
    }
}

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

// The part of a file a GET answers with.
struct RangeChoice {
    enum Kind { Whole, Part, Unsatisfiable } kind = Whole;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};

// Reads a Range header for a file of `size` bytes. A header that cannot be
// read, or names another unit, is ignored (the whole file). Several ranges
// are answered as the one range that spans all satisfiable ones, which
// bounds the answer by the file's size and leaves one Content-Range to check.
RangeChoice chooseRange(const std::string& header, std::uint64_t size) {
    RangeChoice choice;
    if (header.size() < 6 || strncasecmp(header.c_str(), "bytes=", 6) != 0) {
        return choice;
    }
    const auto number = [](const std::string& digits, std::uint64_t& value) {
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        value = 0;
        for (char c : digits) {  // saturates: a position past any file
            const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
            value = value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10
                        ? std::numeric_limits<std::uint64_t>::max()
                        : value * 10 + digit;
        }
        return true;
    };
    bool any = false;
    bool satisfiable = false;
    std::uint64_t first = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t last = 0;
    std::size_t pos = 6;
    while (pos <= header.size()) {
        auto comma = header.find(',', pos);
        if (comma == std::string::npos) comma = header.size();
        std::string spec = header.substr(pos, comma - pos);
        pos = comma + 1;
        spec.erase(0, spec.find_first_not_of(" \t"));
        spec.erase(spec.find_last_not_of(" \t") + 1);
        if (spec.empty()) {
            continue;
        }
        const auto dash = spec.find('-');
        if (dash == std::string::npos) {
            return RangeChoice{};
        }
        std::uint64_t a = 0;
        std::uint64_t b = 0;
        const std::string left = spec.substr(0, dash);
        const std::string right = spec.substr(dash + 1);
        any = true;
        if (left.empty()) {  // the last b bytes
            if (!number(right, b)) return RangeChoice{};
            if (b == 0 || size == 0) continue;
            a = size - std::min(b, size);
            b = size - 1;
        } else {
            if (!number(left, a) || (!right.empty() && !number(right, b))) return RangeChoice{};
            if (right.empty()) b = std::numeric_limits<std::uint64_t>::max();
            if (a > b) return RangeChoice{};
            if (a >= size) continue;
            b = std::min(b, size - 1);
        }
        satisfiable = true;
        first = std::min(first, a);
        last = std::max(last, b);
    }
    if (!any) {
        return choice;
    }
    if (!satisfiable) {
        choice.kind = RangeChoice::Unsatisfiable;
        return choice;
    }
    choice.kind = RangeChoice::Part;
    choice.first = first;
    choice.last = last;
    return choice;
}

struct OpenFile {
    int fd = -1;
    std::vector<char> buffer;
    ~OpenFile() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

// The sockets of the connections being served, so that stop() can end them
// all at once. A connection closes its socket only after leaving the set, so
// stop() never touches a descriptor that has been closed and reused.
class Connections {
public:
    bool add(int fd) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            return false;
        }
        fds_.insert(fd);
        return true;
    }
    void remove(int fd) {
        std::lock_guard<std::mutex> lock(mutex_);
        fds_.erase(fd);
    }
    // Wakes every blocked read and write; their workers then end.
    void shutDownAll() {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        for (int fd : fds_) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    bool stopping() {
        std::lock_guard<std::mutex> lock(mutex_);
        return stopping_;
    }

private:
    std::mutex mutex_;
    std::set<int> fds_;
    bool stopping_ = false;
};

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
            ::getnameinfo(reinterpret_cast<sockaddr*>(&storage), length, host, sizeof(host), service,
                          sizeof(service), NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
            ip = host;
            port = std::atoi(service);
        }
    }

    const int fd_;
    const ServerOptions& options_;
    Clock::time_point deadline_ = Clock::now();
};

// The library's server with connections served by the loop below instead of
// the library's own, which has no deadline for a whole request, blocks in
// send() for as long as a slow client keeps taking bytes, and cannot be
// ended from outside.
class HttpServer : public httplib::Server {
public:
    HttpServer(const ServerOptions& options, Connections& connections)
        : options_(options), connections_(connections) {
        new_task_queue = [this] { return new WorkerPool(options_.workers); };
    }

    // The library listens with a backlog of 5, so a burst of clients waits
    // for the kernel's SYN retries (one second and more); listening again
    // on the bound socket only widens the queue.
    void widenBacklog() {
        const socket_t sock = svr_sock_;
        if (sock != INVALID_SOCKET) {
            ::listen(sock, SOMAXCONN);
        }
    }

private:
    bool process_and_close_socket(socket_t sock) override {
        bool served = false;
        if (connections_.add(sock)) {
            // A head and a body are written separately; without this the
            // body waits for the client's delayed acknowledgement.
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

    // After an answer given without reading the body: closing a socket
    // with unread bytes resets the connection, and the client, still
    // sending, would lose the answer. So the sending side is closed first
    // and the rest read and dropped for a short while.
    static void drainUnreadBody(int sock) {
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

    const ServerOptions& options_;
    Connections& connections_;
};

}  // namespace

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
    std::string releaseDirectory;
    std::ostream& accessLog;
    ServerOptions options;
    std::mutex logMutex;
    Connections connections;
    HttpServer http;
    DigestCache digests;
    std::string boundHost;
    int boundPort = -1;
    std::string bindError;
    // stop() may come before run() has started listening; the listener would
    // then never see it. These two let each side see the other.
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> runEntered{false};

    State(std::string directory, std::ostream& log, ServerOptions serverOptions)
        : releaseDirectory(std::move(directory)),
          accessLog(log),
          options(std::move(serverOptions)),
          http(options, connections) {
        while (!options.publicUrl.empty() && options.publicUrl.back() == '/') {
            options.publicUrl.pop_back();
        }
    }

    std::string baseUrl(const httplib::Request& req) const {
        if (!options.publicUrl.empty()) {
            return options.publicUrl;
        }
        const std::string host = req.get_header_value("Host");
        return "http://" + (isUsableHost(host) ? host : boundHost + ":" + std::to_string(boundPort));
    }

    void upgrade(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
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

    void check(const httplib::Request& req, const std::string& text, httplib::Response& res) {
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
        const auto release = loadRelease(releaseDirectory, error);
        if (!release) {
            sendError(res, 500, "release unavailable: " + error);
            return;
        }
        sendJson(res, 200, buildUpgradeReply(*release, *version, baseUrl(req), digests));
    }

    void download(const httplib::Request& req, const std::string& name, httplib::Response& res) {
        std::string error;
        const auto release = loadRelease(releaseDirectory, error);
        const ReleaseFile* file = release ? release->find(name) : nullptr;
        if (file == nullptr || file->isDirectory) {
            sendError(res, 404, "no such file in the release");
            return;
        }
        // The checks are made on the opened file, so that a file replaced by
        // a symlink or a FIFO after the manifest was read is not served.
        auto open = std::make_shared<OpenFile>();
        open->fd = ::open(file->diskPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        struct stat info {};
        char resolved[4096];
        ssize_t resolvedLength = -1;
        if (open->fd >= 0 && ::fstat(open->fd, &info) == 0 && S_ISREG(info.st_mode)) {
            const std::string link = "/proc/self/fd/" + std::to_string(open->fd);
            resolvedLength = ::readlink(link.c_str(), resolved, sizeof(resolved) - 1);
        }
        if (resolvedLength <= 0 ||
            !isInsideDirectory(std::string(resolved, static_cast<std::size_t>(resolvedLength)), release->directory)) {
            sendError(res, 404, "no such file in the release");
            return;
        }
        const auto size = static_cast<std::uint64_t>(info.st_size);
        const RangeChoice range = chooseRange(req.get_header_value("Range"), size);
        res.set_header("Accept-Ranges", "bytes");
        if (range.kind == RangeChoice::Unsatisfiable) {
            sendError(res, 416, "range not satisfiable");
            res.set_header("Content-Range", "bytes */" + std::to_string(size));
            return;
        }
        std::uint64_t start = 0;
        std::uint64_t length = size;
        res.status = 200;
        if (range.kind == RangeChoice::Part) {
            start = range.first;
            length = range.last - range.first + 1;
            res.status = 206;
            res.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                                std::to_string(range.last) + "/" + std::to_string(size));
        }
        open->buffer.resize(kChunkSize);
        res.set_content_provider(
            static_cast<std::size_t>(length), "application/octet-stream",
            [open, start](std::size_t offset, std::size_t want, httplib::DataSink& sink) {
                const std::size_t piece = std::min(want, open->buffer.size());
                ssize_t got = -1;
                do {
                    got = ::pread(open->fd, open->buffer.data(), piece, static_cast<off_t>(start + offset));
                } while (got < 0 && errno == EINTR);
                if (got <= 0) {
                    return false;  // file shrank under us: drop the connection
                }
                return sink.write(open->buffer.data(), static_cast<std::size_t>(got));
            });
    }

    void logRequest(const httplib::Request& req, const httplib::Response& res) {
        const std::string length = res.get_header_value("Content-Length");
        std::lock_guard<std::mutex> lock(logMutex);
        accessLog << req.remote_addr << " \"" << req.method << ' ' << loggable(req.path) << ' ' << req.version << "\" "
                  << res.status << ' ' << (length.empty() ? "-" : length);
        if (res.status >= 500 && !requestNotes.errorReason.empty()) {
            accessLog << " \"" << loggable(requestNotes.errorReason) << '"';
        }
        accessLog << '\n' << std::flush;
    }
};

UpdateServer::UpdateServer(std::string releaseDirectory, std::ostream& accessLog, ServerOptions options)
    : state_(std::make_unique<State>(std::move(releaseDirectory), accessLog, std::move(options))) {
    State& s = *state_;
    const auto seconds = [](milliseconds duration) {
        return std::max<time_t>(1, static_cast<time_t>((duration.count() + 999) / 1000));
    };
    // Only Keep-Alive's header text comes from these; the connection loop
    // keeps the limits itself.
    s.http.set_keep_alive_timeout(seconds(s.options.idleTimeout));
    s.http.set_keep_alive_max_count(kMaxRequestsPerConnection);
    s.http.set_payload_max_length(kMaxRequestBody);
    // The library's default also sets SO_REUSEPORT, with which a second
    // server on the same port starts as well and the kernel splits the
    // clients between them. SO_REUSEADDR alone still allows a restart while
    // old connections linger.
    s.http.set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    // A body too large is refused from its declared length, before a byte of
    // it is waited for.
    s.http.set_expect_100_continue_handler([](const httplib::Request& req, httplib::Response& res) {
        if (declaresLargeBody(req)) {
            refuseLargeBody(res);
            return 413;
        }
        return 100;
    });
    s.http.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        if (declaresLargeBody(req)) {
            refuseLargeBody(res);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    s.http.Post("/api/upgrade",
                [&s](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
                    s.upgrade(req, res, reader);
                });
    s.http.Post("/api/upgrade",
                [&s](const httplib::Request& req, httplib::Response& res) { s.check(req, req.body, res); });
    s.http.Get("/files/(.+)", [&s](const httplib::Request& req, httplib::Response& res) {
        s.download(req, req.matches[1].str(), res);
    });
    s.http.set_error_handler(httplib::Server::HandlerWithResponse([&s](const httplib::Request& req,
                                                                       httplib::Response& res) {
        // The library answers 416 itself to a Range header it cannot parse,
        // before any handler runs; such a header is ignored instead.
        const std::string prefix = "/files/";
        if (res.status == 416 && !requestNotes.headersParsed && (req.method == "GET" || req.method == "HEAD") &&
            req.path.compare(0, prefix.size(), prefix) == 0) {
            // The request is the library's own, not const; its ranges would
            // otherwise cut the whole file that is sent instead.
            const_cast<httplib::Request&>(req).ranges.clear();
            res = httplib::Response();
            s.download(req, req.path.substr(prefix.size()), res);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    }));
    s.http.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
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
    s.http.set_logger([&s](const httplib::Request& req, const httplib::Response& res) { s.logRequest(req, res); });
}

UpdateServer::~UpdateServer() {
    stop();
}

int UpdateServer::bind(const std::string& host, int port) {
    State& s = *state_;
    s.boundHost = host;
    errno = 0;
    if (port == 0) {
        s.boundPort = s.http.bind_to_any_port(host);
    } else {
        s.boundPort = s.http.bind_to_port(host, port) ? port : -1;
    }
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
    if (const auto release = loadRelease(state_->releaseDirectory, error)) {
        state_->digests.prepare(*release, progress);
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
    s.digests.cancel();
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
