#include "client_paths.h"

#include "brenvik/rules/path_rules.h"

namespace brenvik::detail {

namespace {

// "C:", "C:\", "\" and the like: there is nothing to make.
bool isBareRoot(const std::string& path) {
    std::string::size_type pos = path.size() >= 2 && path[1] == ':' ? 2 : 0;
    if (pos < path.size() && rules::isSeparator(path[pos])) {
        ++pos;
    }
    return pos == path.size();
}

}  // namespace

std::string getParentDirectory(const std::string& path) {
    return rules::parentPathOf(path);
}

bool createDirectories(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    return isBareRoot(path) || rules::createDirectoryTree(path);
}

std::string downloadTarget(const std::string& downloadDir, const std::string& fileName) {
    std::string target = downloadDir;
    if (!rules::endsWithSeparator(target)) {
        target += '/';
    }
    return target + fileName;
}

bool namesDirectory(const std::string& name) {
    return rules::endsWithSeparator(name);
}

}  // namespace brenvik::detail

namespace brenvik {

bool isUnsafeFileName(const std::string& name) {
    return rules::isUnsafeRelativePath(name);
}

}  // namespace brenvik
