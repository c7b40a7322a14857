#include "../file_system.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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
    const std::string native = nativePath(path);
    // A link where the file goes, or a second name of a file elsewhere, is
    // replaced by a file of its own, not written through.
    struct stat status {};
    if (::lstat(native.c_str(), &status) == 0 &&
        (S_ISLNK(status.st_mode) || (S_ISREG(status.st_mode) && status.st_nlink > 1))) {
        ::unlink(native.c_str());
    }
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* stream = ::fdopen(fd, "wb");
    if (stream == nullptr) {
        ::close(fd);
    }
    return stream;
}

}  // namespace brenvik::platform
