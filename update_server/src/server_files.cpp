#include "server_files.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "release.h"
#include "server_request.h"

namespace brenvik::server {
namespace {

// Small enough that a download yields its worker's time often, large enough
// that a fast client is not slowed down by system calls.
constexpr std::size_t kChunkSize = 64 * 1024;

// The file a download reads from, open until its answer has been sent.
struct OpenFile {
    int fd = -1;
    std::vector<char> buffer;
    ~OpenFile() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

}  // namespace

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
        std::string part = header.substr(pos, comma - pos);
        pos = comma + 1;
        part.erase(0, part.find_first_not_of(" \t"));
        part.erase(part.find_last_not_of(" \t") + 1);
        if (part.empty()) {
            continue;
        }
        const auto dash = part.find('-');
        if (dash == std::string::npos) {
            return RangeChoice{};
        }
        std::uint64_t a = 0;
        std::uint64_t b = 0;
        const std::string left = part.substr(0, dash);
        const std::string right = part.substr(dash + 1);
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

void serveFile(const std::string& releaseDirectory, const httplib::Request& req, const std::string& name,
               httplib::Response& res) {
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
        res.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" + std::to_string(range.last) +
                                            "/" + std::to_string(size));
    }
    open->buffer.resize(kChunkSize);
    res.set_content_provider(static_cast<std::size_t>(length), "application/octet-stream",
                             [open, start](std::size_t offset, std::size_t want, httplib::DataSink& sink) {
                                 const std::size_t piece = std::min(want, open->buffer.size());
                                 ssize_t got = -1;
                                 do {
                                     got = ::pread(open->fd, open->buffer.data(), piece,
                                                   static_cast<off_t>(start + offset));
                                 } while (got < 0 && errno == EINTR);
                                 if (got <= 0) {
                                     return false;  // file shrank under us: drop the connection
                                 }
                                 return sink.write(open->buffer.data(), static_cast<std::size_t>(got));
                             });
}

}  // namespace brenvik::server
