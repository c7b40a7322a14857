#pragma once
// Paths reach the system with '\' read as a separator, so names written the
// Windows way land in the same place as on Windows.

#include <string>

namespace example {
namespace platform {

inline std::string nativePath(const std::string& path) {
    std::string result = path;
    for (char& c : result) {
        if (c == '\\') {
            c = '/';
        }
    }
    return result;
}

}  // namespace platform
}  // namespace example
