#include "install/output_file.h"

#include <sys/stat.h>

#include <algorithm>

namespace example {

std::string systemPath(const std::string& path) {
    std::string result = path;
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

std::FILE* openOutputFile(const std::string& path) {
    const std::string native = systemPath(path);
    struct stat info {};
    if (::stat(native.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return nullptr;
    }
    return std::fopen(native.c_str(), "wb");
}

int existingPermissions(const std::string& path) {
    struct stat info {};
    if (::stat(systemPath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return static_cast<int>(info.st_mode & 07777);
}

void restorePermissions(const std::string& path, int permissions) {
    if (permissions >= 0) ::chmod(systemPath(path).c_str(), static_cast<mode_t>(permissions));
}

}  // namespace example
