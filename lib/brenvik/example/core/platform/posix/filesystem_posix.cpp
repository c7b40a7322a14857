// File-system queries on POSIX, with the answers the Win32 calls give:
// answers of kPathBufferSize (PATH_MAX) bytes or more count as failures,
// drive-letter and rooted paths count as absolute, "." and ".." are resolved
// without touching the disk.
#include "core/paths.h"
#include "core/platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <vector>

namespace example {
namespace platform {

namespace {

bool acceptResult(const std::string& result, std::string& out) {
    if (result.empty() || result.size() >= kPathBufferSize) {
        return false;
    }
    out = result;
    return true;
}

std::string systemCurrentDirectory() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string();
}

}  // namespace

bool queryExecutablePath(std::string& out) {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0) {
        return false;
    }
    return acceptResult(std::string(buffer, static_cast<std::size_t>(length)), out);
}

bool queryCurrentDirectory(std::string& out) {
    return acceptResult(systemCurrentDirectory(), out);
}

bool queryFullPath(const std::string& path, std::string& out) {
    if (path.empty()) {
        return false;
    }
    // Split off the root: "X:" (with or without a separator after it), a
    // leading separator, or, for a relative path, the current directory.
    std::string root;
    std::string rest;
    if (path.size() >= 2 && path[1] == ':') {
        root = path.substr(0, 2) + "/";
        rest = path.substr(2);
    } else if (isSeparator(path[0])) {
        root = "/";
        rest = path;
    } else {
        const std::string cwd = systemCurrentDirectory();
        if (cwd.empty()) {
            return false;
        }
        root = "/";
        rest = cwd + "/" + path;
    }

    std::vector<std::string> components;
    std::string::size_type start = 0;
    while (start <= rest.size()) {
        auto end = rest.find_first_of("/\\", start);
        if (end == std::string::npos) {
            end = rest.size();
        }
        const std::string component = rest.substr(start, end - start);
        if (component == "..") {
            if (!components.empty()) {
                components.pop_back();
            }
        } else if (!component.empty() && component != ".") {
            components.push_back(component);
        }
        start = end + 1;
    }

    std::string result = root;
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (i > 0) {
            result += '/';
        }
        result += components[i];
    }
    if (endsWithSeparator(path) && !components.empty()) {
        result += '/';
    }
    return acceptResult(result, out);
}

bool isLink(const std::string& path) {
    std::string native = brenvik::rules::systemPath(path);
    // "dir/" would name what the link points to.
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    struct stat info;
    return !native.empty() && lstat(native.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

}  // namespace platform
}  // namespace example
