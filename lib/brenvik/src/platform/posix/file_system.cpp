#include "../file_system.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "brenvik/rules/path_rules.h"

namespace brenvik::platform {

std::FILE* openForWriting(const std::string& path) {
    const std::string native = rules::systemPath(path);
    // A link where the file goes, or a second name of a file elsewhere, is
    // replaced by a file of its own, not written through.
    struct stat status {};
    if (::lstat(native.c_str(), &status) == 0 &&
        (S_ISLNK(status.st_mode) || (S_ISREG(status.st_mode) && status.st_nlink > 1))) {
        // Left in place, a second name would be opened and emptied below and
        // the other file written through; a link the open refuses anyway.
        if (::unlink(native.c_str()) != 0 && errno != ENOENT) {
            return nullptr;
        }
    }
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* stream = ::fdopen(fd, "wb");
    if (stream == nullptr) {
        ::close(fd);  // nothing was written through it
    }
    return stream;
}

}  // namespace brenvik::platform
