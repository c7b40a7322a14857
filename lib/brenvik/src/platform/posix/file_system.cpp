#include "../file_system.h"

#include <algorithm>
#include <sys/stat.h>
#include <sys/types.h>

namespace brenvik::platform {
namespace {

// Names from the update server may use '\' between levels; on this platform
// only '/' separates, so a release lays out the same way as on Windows.
std::string nativePath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

}  // namespace

PathKind pathKind(const std::string& path) {
    struct stat status {};
    if (::stat(nativePath(path).c_str(), &status) != 0) {
        return PathKind::Missing;
    }
    return S_ISDIR(status.st_mode) ? PathKind::Directory : PathKind::Other;
}

bool makeDirectory(const std::string& path) {
    return ::mkdir(nativePath(path).c_str(), 0777) == 0;
}

std::FILE* openForWriting(const std::string& path) {
    return std::fopen(nativePath(path).c_str(), "wb");
}

}  // namespace brenvik::platform
