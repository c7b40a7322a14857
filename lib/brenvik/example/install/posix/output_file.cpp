#include "install/output_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "core/paths.h"

namespace example {

namespace {

// Names above this length leave the temporary file's name without the
// target's, so that it stays within the file system's limit.
constexpr std::size_t kLongestNamedTemporary = 200;

}  // namespace

std::FILE* openTemporaryBeside(const std::string& target, std::string& temporaryPath) {
    const std::string native = systemPath(target);
    const auto slash = native.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : native.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
    const std::string stem = name.size() > kLongestNamedTemporary ? std::string() : "." + name;
    std::string temporary = directory + (directory.back() == '/' ? "" : "/") + stem + ".part-XXXXXX";
    const int fd = mkostemp(&temporary[0], O_CLOEXEC);
    if (fd < 0) return nullptr;
    std::FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
        close(fd);
        unlink(temporary.c_str());
        return nullptr;
    }
    temporaryPath = temporary;
    return stream;
}

void removeFile(const std::string& path) {
    unlink(systemPath(path).c_str());
}

int existingPermissions(const std::string& path) {
    struct stat info {};
    if (::stat(systemPath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return static_cast<int>(info.st_mode & 07777);
}

bool restorePermissions(const std::string& path, int permissions) {
    return permissions < 0 || ::chmod(systemPath(path).c_str(), static_cast<mode_t>(permissions)) == 0;
}

int newFilePermissions() {
    // The mask is read where the kernel shows it: setting it to read it back
    // would race with files other threads create.
    mode_t mask = 022;
    if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            unsigned int value = 0;
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value);
                break;
            }
        }
        std::fclose(status);  // read only
    }
    return static_cast<int>(0666 & ~mask);
}

void makeExecutable(const std::string& path) {
    const int permissions = existingPermissions(path);
    if (permissions < 0) return;
    const int readable = permissions & 0444;
    // Best effort: a program left without the bit fails to start, and its
    // launch reports that.
    (void)restorePermissions(path, permissions | (readable >> 2));
}

}  // namespace example
