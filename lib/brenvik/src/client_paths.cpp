#include "client_paths.h"

#include "platform/file_system.h"

namespace brenvik::detail {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

std::string getParentDirectory(const std::string& path) {
    const auto pos = path.find_last_of("/\\");
    if (pos == std::string::npos) {
        return std::string();
    }
    return path.substr(0, pos);
}

bool ensureDirectory(const std::string& path) {
    switch (platform::pathKind(path)) {
    case platform::PathKind::Directory:
        return true;
    case platform::PathKind::Other:
        return false;
    case platform::PathKind::Missing:
        break;
    }
    return platform::makeDirectory(path);
}

bool createDirectories(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    std::string current;
    std::size_t pos = 0;
    if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        // A network path: \\server\share is where the levels start; the
        // server and the share are never made (nor, as a rooted path would
        // be, on the current drive).
        const auto serverEnd = path.find_first_of("/\\", 2);
        const auto shareEnd = serverEnd == std::string::npos ? serverEnd : path.find_first_of("/\\", serverEnd + 1);
        if (shareEnd == std::string::npos) {
            return platform::pathKind(path) == platform::PathKind::Directory;
        }
        current = path.substr(0, shareEnd);
        pos = shareEnd + 1;
    } else if (path.size() >= 2 && path[1] == ':') {
        current = path.substr(0, 2);
        pos = 2;
    }
    if (pos < path.size() && isSeparator(path[pos])) {
        current += path[pos];
        ++pos;
    }
    while (pos < path.size()) {
        const auto next = path.find_first_of("/\\", pos);
        const auto end = next == std::string::npos ? path.size() : next;
        const std::string part = path.substr(pos, end - pos);
        if (!part.empty()) {
            if (!current.empty() && !isSeparator(current.back())) {
                current += '/';
            }
            current += part;
            if (!ensureDirectory(current)) {
                return false;
            }
        }
        if (next == std::string::npos) {
            break;
        }
        pos = next + 1;
    }
    return true;
}

std::string downloadTarget(const std::string& downloadDir, const std::string& fileName) {
    std::string target = downloadDir;
    if (target.empty() || !isSeparator(target.back())) {
        target += '/';
    }
    return target + fileName;
}


bool namesDirectory(const std::string& name) {
    return !name.empty() && isSeparator(name.back());
}

}  // namespace brenvik::detail

namespace brenvik {

bool isUnsafeFileName(const std::string& name) {
    if (name.empty() || detail::isSeparator(name[0]) || (name.size() >= 2 && name[1] == ':')) {
        return true;
    }
    std::size_t start = 0;
    while (true) {
        const auto next = name.find_first_of("/\\", start);
        const auto end = next == std::string::npos ? name.size() : next;
        if (name.compare(start, end - start, "..") == 0) {
            return true;
        }
        if (next == std::string::npos) {
            return false;
        }
        start = next + 1;
    }
}

}  // namespace brenvik
