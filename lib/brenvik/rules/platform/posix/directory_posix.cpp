// Directories on POSIX, where only '/' separates: names written the Windows
// way land where they would on Windows.
#include "platform/directory.h"

#include "brenvik/rules/path_rules.h"

#include <sys/stat.h>

#include <cerrno>

namespace brenvik::rules::platform {

std::string systemPath(const std::string& path) {
    return normalizeSeparators(path);
}

bool isDirectory(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(systemPath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

MakeDirectoryResult makeDirectory(const std::string& path) {
    if (::mkdir(systemPath(path).c_str(), 0777) == 0) {
        return MakeDirectoryResult::Created;
    }
    return errno == EEXIST ? MakeDirectoryResult::AlreadyExists : MakeDirectoryResult::Failed;
}

}  // namespace brenvik::rules::platform
