#include "version.h"

#include <algorithm>

namespace brenvik::server {

std::optional<Version> parseVersion(const std::string& text) {
    Version version;
    std::size_t pos = 0;
    while (true) {
        const auto dot = text.find('.', pos);
        const std::string part = text.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
        // 18 digits always fit into 64 bits.
        if (part.empty() || part.size() > 18 ||
            !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return std::nullopt;
        }
        version.push_back(std::stoull(part));
        if (dot == std::string::npos) {
            return version;
        }
        pos = dot + 1;
    }
}

int compareVersions(const Version& a, const Version& b) {
    const std::size_t count = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t left = i < a.size() ? a[i] : 0;
        const std::uint64_t right = i < b.size() ? b[i] : 0;
        if (left != right) {
            return left < right ? -1 : 1;
        }
    }
    return 0;
}

}  // namespace brenvik::server
