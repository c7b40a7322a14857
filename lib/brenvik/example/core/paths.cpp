#include "core/paths.h"

#include "core/platform.h"

namespace example {

bool isAbsolutePath(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    if (path.size() >= 2 && path[1] == ':') {
        return true;
    }
    return isSeparator(path[0]);
}

std::string fileNameOf(const std::string& path) {
    const auto pos = path.find_last_of("/\\");
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
    return first + kPathSeparator + second;
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

std::string quotedCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) {
            line += ' ';
        }
        line += quoteArgument(argument);
    }
    return line;
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

}  // namespace example
