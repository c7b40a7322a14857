// The update server's request handling, through its public interface: one
// server runs in this process on a loopback port over a small release, and
// every input is sent as the raw bytes of one connection (then the sending
// side is shut). Whatever arrives:
//  - the server stays up and sound (a sanitizer report on any of its
//    threads ends the run), and a normal check after the input is answered;
//  - it closes the connection within a few seconds of the input ending;
//  - every answer starts with a well-formed status line and never says 5xx
//    (a client's bytes are never the server's fault);
//  - no answer announces more body than the release could ever fill (a
//    range request must stay bounded by the file);
//  - nothing but the listed files is ever served: not the manifest, not an
//    unlisted file in the release directory, not a file beside it, not
//    what an unlisted link in the release directory points to.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <thread>

#include "update_server.h"

namespace {

#define CHECK(condition, ...)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #condition);                               \
            std::fprintf(stderr, __VA_ARGS__);                                                                         \
            std::fputc('\n', stderr);                                                                                  \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

using Clock = std::chrono::steady_clock;

// The access log goes nowhere; the server still formats every line.
class DiscardBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Texts that must never appear in an answer.
const char* const kSecrets[] = {"MANIFEST-ONLY-5c1e", "UNLISTED-5c1e", "BESIDE-RELEASE-5c1e"};

constexpr std::size_t kProgramSize = 3000;
constexpr std::size_t kLibrarySize = 100;
// Far more than any honest answer here: all files several times over, plus
// headers and a check reply.
constexpr std::uint64_t kLargestSensibleLength = 4 * (kProgramSize + kLibrarySize) + 64 * 1024;
// How long the server may take to close a connection whose client has sent
// everything (its idle and request timeouts are set far shorter).
constexpr auto kCloseDeadline = std::chrono::seconds(5);

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
    CHECK(out.good(), "cannot write %s", path.c_str());
}

std::string pattern(std::size_t size) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('A' + (i * 7) % 26);
    return text;
}

struct Fixture {
    std::string directory;
    DiscardBuffer discard;
    std::ostream log{&discard};
    std::unique_ptr<brenvik::server::UpdateServer> server;
    std::thread thread;
    int port = -1;

    Fixture() {
        // One release per process; a run that ended on a finding leaves its
        // directory behind, removed by the next run.
        std::system("for d in /tmp/brenvik-server-fuzz-*; do [ -d \"$d\" ] || continue;"
                    " kill -0 \"${d##*-}\" 2>/dev/null || rm -rf \"$d\"; done");
        directory = "/tmp/brenvik-server-fuzz-" + std::to_string(getpid());
        std::system(("rm -rf '" + directory + "'").c_str());
        CHECK(mkdir(directory.c_str(), 0700) == 0, "no scratch directory");
        writeFile(directory + "/beside.txt", kSecrets[2]);
        const std::string release = directory + "/release";
        CHECK(mkdir(release.c_str(), 0700) == 0, "no release directory");
        CHECK(mkdir((release + "/bin").c_str(), 0700) == 0, "no bin directory");
        CHECK(mkdir((release + "/plugins").c_str(), 0700) == 0, "no plugins directory");
        writeFile(release + "/manifest.json",
                  std::string(R"({"latest_version": "1.2.0", "release_notes": "Fixes", "marker": ")") + kSecrets[0] +
                      R"(", "files": ["Halvora.exe", "plugins/", "bin/x.dll"]})");
        writeFile(release + "/unlisted.txt", kSecrets[1]);
        CHECK(symlink("../beside.txt", (release + "/link.txt").c_str()) == 0, "no link");
        writeFile(release + "/Halvora.exe", pattern(kProgramSize));
        writeFile(release + "/bin/x.dll", pattern(kLibrarySize));

        brenvik::server::ServerOptions options;
        options.workers = 8;
        options.idleTimeout = std::chrono::milliseconds(500);
        options.requestTimeout = std::chrono::milliseconds(1000);
        options.stallTimeout = std::chrono::milliseconds(1000);
        server = std::make_unique<brenvik::server::UpdateServer>(release, log, options);
        port = server->bind("127.0.0.1", 0);
        CHECK(port > 0, "the server did not bind");
        thread = std::thread([this] { server->run(); });
    }

    ~Fixture() {
        server->stop();
        thread.join();
        server.reset();
        std::system(("rm -rf '" + directory + "'").c_str());
    }
};

Fixture& fixture() {
    static Fixture instance;
    return instance;
}

int connectToServer(int port) {
    const auto start = Clock::now();
    for (;;) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        CHECK(fd >= 0, "no socket");
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
        close(fd);
        CHECK(Clock::now() - start < kCloseDeadline, "the server accepts no connection");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Sends `request`, shuts the sending side and reads until the server closes.
// `closed` tells whether it did so before the deadline.
std::string exchange(const std::string& request, bool& closed) {
    const int fd = connectToServer(fixture().port);
    std::string answer;
    std::size_t sent = 0;
    bool sending = true;
    closed = false;
    const auto deadline = Clock::now() + kCloseDeadline;
    while (Clock::now() < deadline) {
        if (sending && sent == request.size()) {
            shutdown(fd, SHUT_WR);
            sending = false;
        }
        pollfd poller{fd, static_cast<short>(POLLIN | (sending ? POLLOUT : 0)), 0};
        if (poll(&poller, 1, 100) <= 0) continue;
        if (poller.revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[16384];
            const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                closed = true;  // an orderly close, or a reset after unread input
                break;
            }
            answer.append(buffer, static_cast<std::size_t>(got));
        }
        if (sending && (poller.revents & POLLOUT)) {
            const ssize_t put = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (put < 0) {
                // The server closed early (it may refuse a request before
                // reading it all); what it answered is still read.
                sending = false;
                shutdown(fd, SHUT_WR);
            } else {
                sent += static_cast<std::size_t>(put);
            }
        }
    }
    close(fd);
    return answer;
}

// Checks each "HTTP/1.1 NNN" block head found at the start of the answer and
// after each head's end; bodies are skipped when their length is known.
void checkAnswer(const std::string& answer) {
    for (const char* secret : kSecrets) {
        CHECK(answer.find(secret) == std::string::npos, "an answer holds %s:\n%s", secret, answer.c_str());
    }
    std::size_t at = 0;
    while (at < answer.size()) {
        const std::size_t headEnd = answer.find("\r\n\r\n", at);
        if (headEnd == std::string::npos) break;  // cut off by a close
        const std::string head = answer.substr(at, headEnd - at);
        CHECK(head.rfind("HTTP/1.1 ", 0) == 0 && head.size() >= 12 && std::isdigit(head[9]) && std::isdigit(head[10]) &&
                  std::isdigit(head[11]),
              "malformed status line in:\n%s", head.c_str());
        CHECK(head[9] != '5', "a 5xx answer:\n%s", head.c_str());
        std::uint64_t length = 0;
        const std::size_t field = head.find("\r\nContent-Length: ");
        if (field != std::string::npos) {
            length = std::strtoull(head.c_str() + field + 18, nullptr, 10);
            CHECK(length <= kLargestSensibleLength, "an answer announces %llu bytes:\n%s",
                  static_cast<unsigned long long>(length), head.c_str());
        }
        // A HEAD answer announces a length without a body; a following head
        // is then found by its status line.
        at = headEnd + 4;
        if (answer.compare(at, 9, "HTTP/1.1 ") != 0) at += static_cast<std::size_t>(length);
    }
}

const std::string kCheckBody = R"({"client_version": "1.0.0"})";
const std::string kCheck = "POST /api/upgrade HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                           "Content-Length: " +
                           std::to_string(kCheckBody.size()) + "\r\nConnection: close\r\n\r\n" + kCheckBody;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    bool closed = false;
    const std::string answer = exchange(std::string(reinterpret_cast<const char*>(data), size), closed);
    CHECK(closed, "the connection stayed open after the input ended; answer so far:\n%s", answer.c_str());
    checkAnswer(answer);

    // Still serving, and serving correctly.
    const std::string check = exchange(kCheck, closed);
    CHECK(check.rfind("HTTP/1.1 200", 0) == 0 && check.find("\"latest_version\"") != std::string::npos,
          "a normal check after the input failed:\n%s", check.c_str());
    return 0;
}
