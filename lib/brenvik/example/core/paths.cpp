#include "core/paths.h"

#include "core/platform.h"

namespace example {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

bool isAbsolutePath(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    if (path.size() >= 2 && path[1] == ':') {
        return true;
    }
    return isSeparator(path[0]);
}

bool endsWithSeparator(const std::string& text) {
    return !text.empty() && isSeparator(text.back());
}

namespace {

std::string::size_type lastSeparator(const std::string& path) {
    return path.find_last_of("/\\");
}

}  // namespace

std::string parentPathOf(const std::string& path) {
    const auto pos = lastSeparator(path);
    if (pos == std::string::npos || pos == 0) {
        return std::string();
    }
    return path.substr(0, pos);
}

std::string fileNameOf(const std::string& path) {
    const auto pos = lastSeparator(path);
    if (pos == std::string::npos) {
        return path;
    }
    return path.substr(pos + 1);
}

std::string joinPath(const std::string& first, const std::string& second) {
    if (first.empty()) {
        return second;
    }
    if (endsWithSeparator(first)) {
        return first + second;
    }
    return first + '\\' + second;
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

std::string toLowerCopy(const std::string& text) {
    std::string result = text;
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

bool hasZipSuffix(const std::string& name) {
    if (name.size() < 4) {
        return false;
    }
    return toLowerCopy(name.substr(name.size() - 4)) == ".zip";
}

std::string quoteArgument(const std::string& argument) {
    // The runtime's splitter reads 2n backslashes before a quote as n
    // backslashes, and 2n+1 as n backslashes plus a literal quote. Doubling
    // each run of backslashes that ends at a quote (an embedded one or the
    // closing one) carries every value through unchanged, a trailing
    // separator such as "C:\Halvora\" or "D:\" included.
    std::string result = "\"";
    std::string::size_type pendingBackslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++pendingBackslashes;
            continue;
        }
        if (c == '"') {
            result.append(pendingBackslashes * 2 + 1, '\\');
        } else {
            result.append(pendingBackslashes, '\\');
        }
        pendingBackslashes = 0;
        result += c;
    }
    result.append(pendingBackslashes * 2, '\\');
    result += '"';
    return result;
}

std::string windowsErrorText(std::uint32_t code) {
    return "Windows error " + std::to_string(code);
}

std::string executablePath() {
    std::string path;
    return platform::queryExecutablePath(path) ? path : std::string();
}

std::string executableDirectory() {
    return parentPathOf(executablePath());
}

std::string currentDirectory() {
    std::string path;
    return platform::queryCurrentDirectory(path) ? path : std::string();
}

std::string fullPath(const std::string& path) {
    std::string result;
    return platform::queryFullPath(path, result) ? result : path;
}

std::string makeAbsolute(const std::string& path, const std::string& base) {
    if (isAbsolutePath(path) || base.empty()) {
        return fullPath(path);
    }
    return fullPath(joinPath(base, path));
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
    const std::uint32_t code = platform::createDirectory(path);
    if (code == 0) {
        return true;
    }
    if (code == kErrorAlreadyExists) {
        // Someone else made it meanwhile, or the path ends with a separator;
        // a plain file of that name is still a failure.
        return directoryExists(path);
    }
    return false;
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

}  // namespace example
