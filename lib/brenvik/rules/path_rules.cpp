#include "brenvik/rules/path_rules.h"

#include "platform/directory.h"

namespace brenvik::rules {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

bool endsWithSeparator(const std::string& text) {
    return !text.empty() && isSeparator(text.back());
}

std::string normalizeSeparators(const std::string& path) {
    std::string result = path;
    for (char& c : result) {
        if (c == '\\') {
            c = '/';
        }
    }
    return result;
}

std::string systemPath(const std::string& path) {
    return platform::systemPath(path);
}

std::string parentPathOf(const std::string& path) {
    const auto pos = path.find_last_of("/\\");
    if (pos == std::string::npos || pos == 0) {
        return std::string();
    }
    return path.substr(0, pos);
}

bool isUnsafeRelativePath(const std::string& name) {
    if (name.empty() || isSeparator(name[0]) || (name.size() >= 2 && name[1] == ':')) {
        return true;
    }
    const std::string normalized = normalizeSeparators(name);
    std::string::size_type start = 0;
    for (;;) {
        const auto slash = normalized.find('/', start);
        const auto length = (slash == std::string::npos ? normalized.size() : slash) - start;
        if (normalized.compare(start, length, "..") == 0) {
            return true;
        }
        if (slash == std::string::npos) {
            return false;
        }
        start = slash + 1;
    }
}

bool directoryExists(const std::string& path) {
    return platform::isDirectory(path);
}

namespace {

// Whether the path names no more than a network server or share
// (\\server\share): those are found, never made, and nothing is made above
// them (a rooted path would be, on the current drive).
bool isNetworkRootOrAbove(const std::string& path) {
    if (path.size() < 2 || !isSeparator(path[0]) || !isSeparator(path[1])) {
        return false;
    }
    const auto serverEnd = path.find_first_of("/\\", 2);
    if (serverEnd == std::string::npos) {
        return true;
    }
    const auto shareEnd = path.find_first_of("/\\", serverEnd + 1);
    return shareEnd == std::string::npos || shareEnd + 1 == path.size();
}

}  // namespace

bool createDirectoryTree(const std::string& path) {
    if (path.empty() || directoryExists(path)) {
        return true;
    }
    if (isNetworkRootOrAbove(path)) {
        return false;
    }
    const std::string parent = parentPathOf(path);
    if (!parent.empty() && parent != path && !directoryExists(parent)) {
        if (!createDirectoryTree(parent)) {
            return false;
        }
    }
    switch (platform::makeDirectory(path)) {
    case platform::MakeDirectoryResult::Created:
        return true;
    case platform::MakeDirectoryResult::AlreadyExists:
        // Someone else made it meanwhile, or the path ends with a separator;
        // a plain file of that name is still a failure.
        return directoryExists(path);
    case platform::MakeDirectoryResult::Failed:
        break;
    }
    return false;
}

}  // namespace brenvik::rules
