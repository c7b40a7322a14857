#pragma once
// The answers to GET /files/<name>: the file streamed from disk, whole or as
// the one part that a Range header asks for.

#include <cstdint>
#include <string>

#include <httplib.h>

namespace brenvik::server {

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
RangeChoice chooseRange(const std::string& header, std::uint64_t size);

// Answers with the release file listed as `name` in `releaseDirectory`'s
// manifest: 404 unless it is a regular file inside the release, 416 with the
// size for a range past its end, else 200 or 206 with the bytes.
void serveFile(const std::string& releaseDirectory, const httplib::Request& req, const std::string& name,
               httplib::Response& res);

}  // namespace brenvik::server
