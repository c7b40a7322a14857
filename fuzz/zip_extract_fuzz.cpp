// Zip extraction of arbitrary bytes into a scratch directory. Whatever the
// archive holds, nothing may be created, changed or removed outside the
// destination directory, nothing there may be a link, a device or a pipe,
// no extracted file may carry setuid, setgid or sticky bits, no temporary
// file may be left behind, and a failure must come with its message.
//
// The fuzzer runs with the rights of whoever starts it (often root in a
// container), so a write outside the destination must not merely be noticed
// afterwards: while the extraction runs, the calls that create, change or
// remove files are wrapped (this program's definitions take precedence over
// the C library's for every caller, shared libraries included). A wrapped
// call aimed outside the destination is refused and remembered, and the
// input then counts as a finding.
#include <dirent.h>
#include <signal.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "install/zip_extract.h"

namespace {

// --- The guard --------------------------------------------------------------

bool g_guarding = false;
std::string g_root;                      // the destination, with links resolved
std::string g_violation;                 // the first call aimed outside it
std::vector<std::string> g_temporaries;  // files made by mkstemp and its kin

template <typename Function>
Function realFunction(const char* name) {
    void* symbol = dlsym(RTLD_NEXT, name);
    if (symbol == nullptr) {
        fprintf(stderr, "zip fuzzer: no %s in the C library\n", name);
        abort();
    }
    return reinterpret_cast<Function>(symbol);
}
#define REAL(name)                                                                                                     \
    (*[] {                                                                                                             \
        static const auto function = realFunction<decltype(&::name)>(#name);                                           \
        return function;                                                                                               \
    }())

std::string directoryOfDescriptor(int fd) {
    if (fd == AT_FDCWD) {
        char buffer[4096];
        return getcwd(buffer, sizeof buffer) != nullptr ? buffer : "";
    }
    char buffer[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(link.c_str(), buffer, sizeof buffer - 1);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : "";
}

std::string canonical(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return "";
    std::string result = resolved;
    free(resolved);
    return result;
}

// Where `path` (relative to the directory `fd`) ends up once links are
// followed: the deepest existing ancestor resolved, the rest appended.
// `followLast` says whether the call follows a link in the last component.
std::string whereItLands(int fd, const char* path, bool followLast) {
    std::string full = path;
    if (full.empty() || full[0] != '/') full = directoryOfDescriptor(fd) + "/" + full;
    while (full.size() > 1 && full.back() == '/') full.pop_back();

    if (followLast) {
        const std::string resolved = canonical(full);
        if (!resolved.empty()) return resolved;
    }
    // Resolve the parent as far as it exists and add the missing components
    // one by one ("." and ".." taken as written).
    std::vector<std::string> missing;
    std::string existing = full;
    std::string base;
    for (;;) {
        const auto slash = existing.rfind('/');
        missing.push_back(existing.substr(slash + 1));
        existing = slash == 0 ? "/" : existing.substr(0, slash);
        base = canonical(existing);
        if (!base.empty() || existing == "/") break;
    }
    if (base.empty()) base = "/";
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (it->empty() || *it == ".") continue;
        if (*it == "..") {
            const auto slash = base.rfind('/');
            base = slash == 0 ? "/" : base.substr(0, slash);
            continue;
        }
        base += (base == "/" ? "" : "/") + *it;
    }
    return base;
}

// False (with errno set) when a guarded call must not go ahead.
bool allowed(int fd, const char* path, bool followLast) {
    if (!g_guarding) return true;
    if (path == nullptr) return true;
    const std::string lands = whereItLands(fd, path, followLast);
    if (lands == g_root || lands.rfind(g_root + "/", 0) == 0) return true;
    if (g_violation.empty()) g_violation = std::string(path) + " (lands at " + lands + ")";
    errno = EACCES;
    return false;
}

bool writes(int flags) {
    return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND)) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

bool writesStream(const char* mode) {
    return mode != nullptr && std::strpbrk(mode, "wa+") != nullptr;
}

mode_t modeArgument(int flags, va_list arguments) {
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        return static_cast<mode_t>(va_arg(arguments, int));
    }
    return 0;
}

// Remembers a temporary file that the extraction made, which must be gone
// (moved into place or removed) when it returns.
int remembered(int fd, const char* path) {
    if (g_guarding && fd >= 0) g_temporaries.push_back(path);
    return fd;
}

bool existsAlready(int fd, const char* path) {
    struct stat info;
    return fstatat(fd, path, &info, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace

// --- The wrapped calls ------------------------------------------------------

#define GUARD(fd, path, followLast)                                                                                    \
    if (!allowed(fd, path, followLast)) return -1
#define GUARD_STREAM(path)                                                                                             \
    if (!allowed(AT_FDCWD, path, true)) return nullptr

extern "C" {

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    if (writes(flags)) GUARD(AT_FDCWD, path, (flags & O_NOFOLLOW) == 0);
    return REAL(open)(path, flags, mode);
}
int open64(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    if (writes(flags)) GUARD(AT_FDCWD, path, (flags & O_NOFOLLOW) == 0);
    return REAL(open64)(path, flags, mode);
}
int openat(int fd, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    if (writes(flags)) GUARD(fd, path, (flags & O_NOFOLLOW) == 0);
    return REAL(openat)(fd, path, flags, mode);
}
int openat64(int fd, const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    if (writes(flags)) GUARD(fd, path, (flags & O_NOFOLLOW) == 0);
    return REAL(openat64)(fd, path, flags, mode);
}
int creat(const char* path, mode_t mode) {
    GUARD(AT_FDCWD, path, true);
    return REAL(creat)(path, mode);
}
int creat64(const char* path, mode_t mode) {
    GUARD(AT_FDCWD, path, true);
    return REAL(creat64)(path, mode);
}
FILE* fopen(const char* path, const char* mode) {
    if (writesStream(mode)) GUARD_STREAM(path);
    return REAL(fopen)(path, mode);
}
FILE* fopen64(const char* path, const char* mode) {
    if (writesStream(mode)) GUARD_STREAM(path);
    return REAL(fopen64)(path, mode);
}
FILE* freopen(const char* path, const char* mode, FILE* stream) {
    if (writesStream(mode)) GUARD_STREAM(path);
    return REAL(freopen)(path, mode, stream);
}
FILE* freopen64(const char* path, const char* mode, FILE* stream) {
    if (writesStream(mode)) GUARD_STREAM(path);
    return REAL(freopen64)(path, mode, stream);
}
int mkstemp(char* pattern) {
    GUARD(AT_FDCWD, pattern, false);
    return remembered(REAL(mkstemp)(pattern), pattern);
}
int mkstemp64(char* pattern) {
    GUARD(AT_FDCWD, pattern, false);
    return remembered(REAL(mkstemp64)(pattern), pattern);
}
int mkostemp(char* pattern, int flags) {
    GUARD(AT_FDCWD, pattern, false);
    return remembered(REAL(mkostemp)(pattern, flags), pattern);
}
int mkostemp64(char* pattern, int flags) {
    GUARD(AT_FDCWD, pattern, false);
    return remembered(REAL(mkostemp64)(pattern, flags), pattern);
}
int mkstemps(char* pattern, int suffixLength) {
    GUARD(AT_FDCWD, pattern, false);
    return remembered(REAL(mkstemps)(pattern, suffixLength), pattern);
}
int mkostemps(char* pattern, int suffixLength, int flags) {
    GUARD(AT_FDCWD, pattern, false);
    return remembered(REAL(mkostemps)(pattern, suffixLength, flags), pattern);
}
// Creating a directory that is already there changes nothing, wherever it is
// (a directory tree is made by trying each level).
int mkdir(const char* path, mode_t mode) __THROW {
    if (!existsAlready(AT_FDCWD, path)) GUARD(AT_FDCWD, path, false);
    return REAL(mkdir)(path, mode);
}
int mkdirat(int fd, const char* path, mode_t mode) __THROW {
    if (!existsAlready(fd, path)) GUARD(fd, path, false);
    return REAL(mkdirat)(fd, path, mode);
}
int mknod(const char* path, mode_t mode, dev_t device) __THROW {
    GUARD(AT_FDCWD, path, false);
    return REAL(mknod)(path, mode, device);
}
int mkfifo(const char* path, mode_t mode) __THROW {
    GUARD(AT_FDCWD, path, false);
    return REAL(mkfifo)(path, mode);
}
int rename(const char* from, const char* to) __THROW {
    GUARD(AT_FDCWD, from, false);
    GUARD(AT_FDCWD, to, false);
    return REAL(rename)(from, to);
}
int renameat(int fromFd, const char* from, int toFd, const char* to) __THROW {
    GUARD(fromFd, from, false);
    GUARD(toFd, to, false);
    return REAL(renameat)(fromFd, from, toFd, to);
}
int renameat2(int fromFd, const char* from, int toFd, const char* to, unsigned flags) __THROW {
    GUARD(fromFd, from, false);
    GUARD(toFd, to, false);
    return REAL(renameat2)(fromFd, from, toFd, to, flags);
}
// A hard link to a file outside would let later writes reach that file.
int link(const char* from, const char* to) __THROW {
    GUARD(AT_FDCWD, from, false);
    GUARD(AT_FDCWD, to, false);
    return REAL(link)(from, to);
}
int linkat(int fromFd, const char* from, int toFd, const char* to, int flags) __THROW {
    GUARD(fromFd, from, (flags & AT_SYMLINK_FOLLOW) != 0);
    GUARD(toFd, to, false);
    return REAL(linkat)(fromFd, from, toFd, to, flags);
}
int symlink(const char* target, const char* path) __THROW {
    GUARD(AT_FDCWD, path, false);
    return REAL(symlink)(target, path);
}
int symlinkat(const char* target, int fd, const char* path) __THROW {
    GUARD(fd, path, false);
    return REAL(symlinkat)(target, fd, path);
}
int unlink(const char* path) __THROW {
    GUARD(AT_FDCWD, path, false);
    return REAL(unlink)(path);
}
int unlinkat(int fd, const char* path, int flags) __THROW {
    GUARD(fd, path, false);
    return REAL(unlinkat)(fd, path, flags);
}
int rmdir(const char* path) __THROW {
    GUARD(AT_FDCWD, path, false);
    return REAL(rmdir)(path);
}
int remove(const char* path) __THROW {
    GUARD(AT_FDCWD, path, false);
    return REAL(remove)(path);
}
int chmod(const char* path, mode_t mode) __THROW {
    GUARD(AT_FDCWD, path, true);
    return REAL(chmod)(path, mode);
}
int fchmodat(int fd, const char* path, mode_t mode, int flags) __THROW {
    GUARD(fd, path, (flags & AT_SYMLINK_NOFOLLOW) == 0);
    return REAL(fchmodat)(fd, path, mode, flags);
}
int chown(const char* path, uid_t owner, gid_t group) __THROW {
    GUARD(AT_FDCWD, path, true);
    return REAL(chown)(path, owner, group);
}
int lchown(const char* path, uid_t owner, gid_t group) __THROW {
    GUARD(AT_FDCWD, path, false);
    return REAL(lchown)(path, owner, group);
}
int fchownat(int fd, const char* path, uid_t owner, gid_t group, int flags) __THROW {
    GUARD(fd, path, (flags & AT_SYMLINK_NOFOLLOW) == 0);
    return REAL(fchownat)(fd, path, owner, group, flags);
}
int truncate(const char* path, off_t length) __THROW {
    GUARD(AT_FDCWD, path, true);
    return REAL(truncate)(path, length);
}
int truncate64(const char* path, off64_t length) __THROW {
    GUARD(AT_FDCWD, path, true);
    return REAL(truncate64)(path, length);
}

}  // extern "C"

// --- The target -------------------------------------------------------------

namespace {

void fail(const std::string& why) {
    fprintf(stderr, "zip fuzzer: %s\n", why.c_str());
    abort();
}

void removeTree(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) return;
    if (S_ISDIR(info.st_mode)) {
        // Extracted directories may lack permissions; the tree must go anyway.
        chmod(path.c_str(), 0700);
        if (DIR* directory = opendir(path.c_str())) {
            std::vector<std::string> names;
            while (const dirent* entry = readdir(directory)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") names.push_back(name);
            }
            closedir(directory);
            for (const auto& name : names) removeTree(path + "/" + name);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

std::vector<std::string> namesIn(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* handle = opendir(directory.c_str())) {
        while (const dirent* entry = readdir(handle)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(handle);
    }
    return names;
}

// The scratch area, on tmpfs when there is one, since every input writes
// files: <parent>/brenvik-zip-fuzz-<pid>. A run that ends on a finding
// leaves its area behind; the next run removes areas of processes that are
// gone.
constexpr char kScratchPrefix[] = "brenvik-zip-fuzz-";

void removeStaleScratch(const std::string& parent) {
    for (const auto& name : namesIn(parent)) {
        if (name.rfind(kScratchPrefix, 0) != 0) continue;
        const std::string pid = name.substr(sizeof kScratchPrefix - 1);
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        if (kill(static_cast<pid_t>(std::stol(pid)), 0) != 0 && errno == ESRCH) removeTree(parent + "/" + name);
    }
}

const std::string& scratchBase() {
    static const std::string base = [] {
        const char* configured = getenv("BRENVIK_FUZZ_SCRATCH");
        std::string parent = configured != nullptr ? configured : "";
        if (parent.empty()) parent = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        removeStaleScratch(parent);
        const std::string path = parent + "/" + kScratchPrefix + std::to_string(getpid());
        removeTree(path);
        if (mkdir(path.c_str(), 0700) != 0) fail("cannot create the scratch directory " + path);
        atexit([] { removeTree(scratchBase()); });
        return canonical(path);
    }();
    return base;
}

// The "Extracted: " lines are of no interest here.
class DiscardingLog : public example::LogSink {
public:
    void logLine(const std::string&) override {}
};

// Only plain files and directories, no special permission bits.
void checkExtractedTree(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) fail("cannot examine " + path);
    if (S_ISDIR(info.st_mode)) {
        chmod(path.c_str(), (info.st_mode & 07777) | 0700);
        for (const auto& name : namesIn(path)) checkExtractedTree(path + "/" + name);
        return;
    }
    if (!S_ISREG(info.st_mode)) fail("extraction left something that is no plain file: " + path);
    if ((info.st_mode & (S_ISUID | S_ISGID | S_ISVTX)) != 0)
        fail("extracted file with setuid, setgid or sticky bits: " + path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string run = scratchBase() + "/run";
    const std::string archive = run + "/input.zip";
    const std::string destination = run + "/destination";
    removeTree(run);
    if (mkdir(run.c_str(), 0700) != 0 || mkdir(destination.c_str(), 0700) != 0) fail("cannot prepare " + run);
    FILE* file = fopen(archive.c_str(), "wb");
    if (file == nullptr || fwrite(data, 1, size, file) != size || fclose(file) != 0) fail("cannot write " + archive);

    g_root = canonical(destination);
    g_violation.clear();
    g_temporaries.clear();
    g_guarding = true;
    std::string error;
    DiscardingLog log;
    const bool extracted = example::extractZip(archive, destination, log, error);
    g_guarding = false;

    if (!g_violation.empty()) fail("extraction reached outside the destination: " + g_violation);
    if (!extracted && error.empty()) fail("extraction failed without a message");
    struct stat info;
    for (const auto& temporary : g_temporaries) {
        if (lstat(temporary.c_str(), &info) == 0) fail("extraction left its temporary file " + temporary);
    }
    // Beside the destination only the archive, unchanged in size.
    for (const auto& name : namesIn(run)) {
        if (name != "input.zip" && name != "destination") fail("extraction left " + name + " beside the destination");
    }
    if (stat(archive.c_str(), &info) != 0 || static_cast<std::size_t>(info.st_size) != size)
        fail("the archive changed");
    checkExtractedTree(destination);
    removeTree(run);
    return 0;
}
