// Error output on POSIX: the standard error this process was started with,
// when it is open.
#include "core/platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace example {
namespace platform {

void writeToParentConsole(const std::string& text) {
    if (fcntl(STDERR_FILENO, F_GETFD) == -1) {
        return;
    }
    const std::string line = text + kLineEnd;
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t written = write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        done += static_cast<std::size_t>(written);
    }
}

}  // namespace platform
}  // namespace example
