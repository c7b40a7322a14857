// Copying a file over another on POSIX with the outcomes of CopyFileA, in
// errno values: the target ends as a complete copy or stays as it was, a
// read-only target is refused even for root (EACCES), and a running
// executable counts as in use (ETXTBSY).
#include "core/paths.h"
#include "core/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace example {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // For descriptors only read from, and for a written one whose file is
    // being thrown away; a written file that is kept goes through
    // closeChecked.
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = fd;
    }
    // Closes and reports the close's error, which is where a full disk on
    // some file systems first shows.
    int closeChecked() {
        const int result = close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int fd_;
};

// Copies all bytes; 0 or the errno of the failure.
int copyContents(int from, int to) {
    for (;;) {
        const ssize_t copied = copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
        if (copied == 0) {
            return 0;
        }
        if (copied > 0) {
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) {
            break;  // not offered here; fall back to plain reads and writes
        }
        return errno;
    }
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = read(from, buffer.data(), buffer.size());
        if (got == 0) {
            return 0;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        ssize_t done = 0;
        while (done < got) {
            const ssize_t put = write(to, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return errno;
            }
            done += put;
        }
    }
}

// Checks that an existing target may be replaced: 0 when the target is
// missing or replaceable, otherwise the errno value.
std::uint32_t checkReplaceable(const std::string& target) {
    struct stat info;
    if (lstat(target.c_str(), &info) != 0) {
        return errno == ENOENT ? 0 : static_cast<std::uint32_t>(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return EACCES;
    }
    // A file without any write permission is read-only for everyone, root
    // included, as the read-only attribute is on Windows.
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return EACCES;
    }
    // Opening for writing reports a running executable (ETXTBSY) and missing
    // rights; nothing is written through this descriptor.
    FileDescriptor probe(open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    if (probe.get() < 0 && errno != ELOOP) {
        return static_cast<std::uint32_t>(errno);
    }
    return 0;
}

}  // namespace

std::uint32_t copyFileReplacing(const std::string& from, const std::string& to) {
    const std::string source = brenvik::rules::systemPath(from);
    const std::string target = brenvik::rules::systemPath(to);

    FileDescriptor input(open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (input.get() < 0) {
        return static_cast<std::uint32_t>(errno);
    }
    struct stat sourceInfo;
    if (fstat(input.get(), &sourceInfo) != 0) {
        return static_cast<std::uint32_t>(errno);
    }
    if (S_ISDIR(sourceInfo.st_mode)) {
        return EACCES;
    }

    if (const std::uint32_t code = checkReplaceable(target)) {
        return code;
    }

    // Write a temporary file beside the target and rename it over the target,
    // so that a failure part-way leaves the old file intact.
    const auto slash = target.rfind('/');
    const std::string directory =
        slash == std::string::npos ? std::string(".") : target.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary = directory + (endsWithSeparator(directory) ? "." : "/.") + name + ".copy-XXXXXX";
    FileDescriptor output(mkostemp(&temporary[0], O_CLOEXEC));
    if (output.get() < 0) {
        return static_cast<std::uint32_t>(errno);
    }

    int error = copyContents(input.get(), output.get());
    if (error == 0 && fchmod(output.get(), sourceInfo.st_mode & 07777) != 0) {
        error = errno;
    }
    if (error == 0) {
        // Like CopyFileA, the copy keeps the source's modification time. Only
        // the time is lost if the system refuses it; the contents are whole.
        const struct timespec times[2] = {sourceInfo.st_atim, sourceInfo.st_mtim};
        (void)futimens(output.get(), times);
        error = output.closeChecked();
    }
    if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        output.reset();
        unlink(temporary.c_str());  // the failure is already the answer
        return static_cast<std::uint32_t>(error);
    }
    return 0;
}

std::uint32_t moveFileReplacing(const std::string& from, const std::string& to) {
    const std::string source = brenvik::rules::systemPath(from);
    const std::string target = brenvik::rules::systemPath(to);
    if (const std::uint32_t code = checkReplaceable(target)) {
        return code;
    }
    if (rename(source.c_str(), target.c_str()) != 0) {
        return static_cast<std::uint32_t>(errno);
    }
    return 0;
}

}  // namespace example
