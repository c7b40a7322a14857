#pragma once
// MD5 digests of release files, for the "file_md5" value of the reply.

#include <cstddef>
#include <cstdint>
#include <string>

namespace brenvik::server {

class Md5 {
public:
    Md5();
    void update(const void* data, std::size_t size);
    // Lower-case hexadecimal digest; the object is spent afterwards.
    std::string hexDigest();

private:
    void transform(const unsigned char block[64]);

    std::uint32_t state_[4];
    std::uint64_t length_ = 0;
    unsigned char buffer_[64];
};

// Digest of a whole file; empty text when it cannot be read.
std::string md5OfFile(const std::string& path);

}  // namespace brenvik::server
