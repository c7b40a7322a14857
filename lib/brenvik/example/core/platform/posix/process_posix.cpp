// Processes on Linux: the list comes from /proc, a process is held through a
// pidfd while it is checked, ended and waited for, and new processes get
// their argument vector as it is.
#include "core/paths.h"
#include "core/platform.h"

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

extern char** environ;

namespace example {
namespace platform {

namespace {

// File name of the executable that process `id` runs; "" when unreadable
// (kernel threads, processes we may not inspect, processes already gone).
std::string executableNameOf(std::uint32_t id) {
    const std::string link = "/proc/" + std::to_string(id) + "/exe";
    char buffer[PATH_MAX];
    const ssize_t length = readlink(link.c_str(), buffer, sizeof buffer);
    if (length <= 0) {
        return std::string();
    }
    std::string path(buffer, static_cast<std::size_t>(length));
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
        path.erase(path.size() - deleted.size());
    }
    return fileNameOf(path);
}

bool parseProcessId(const char* text, std::uint32_t& id) {
    if (*text == '\0') {
        return false;
    }
    unsigned long value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned long>(*p - '0');
        if (value > 0xFFFFFFFFul) {
            return false;
        }
    }
    id = static_cast<std::uint32_t>(value);
    return true;
}

// Called through syscall(): the C library's wrappers are not declared for C++
// on every system this builds on.
int openProcessHandle(std::uint32_t id) {
    return static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(id), 0));
}

bool killThroughHandle(int handle) {
    return syscall(SYS_pidfd_send_signal, handle, SIGKILL, nullptr, 0) == 0;
}

}  // namespace

std::uint32_t currentProcessId() {
    return static_cast<std::uint32_t>(getpid());
}

std::vector<ProcessEntry> listProcesses() {
    std::vector<ProcessEntry> processes;
    DIR* directory = opendir("/proc");
    if (directory == nullptr) {
        return processes;
    }
    while (const dirent* entry = readdir(directory)) {
        ProcessEntry process;
        if (!parseProcessId(entry->d_name, process.id)) {
            continue;
        }
        process.executableName = executableNameOf(process.id);
        if (!process.executableName.empty()) {
            processes.push_back(process);
        }
    }
    closedir(directory);
    return processes;
}

void terminateProcess(const ProcessEntry& process, std::uint32_t waitMilliseconds) {
    const int handle = openProcessHandle(process.id);
    if (handle < 0) {
        return;
    }
    // The id may have been reused since the list was taken; the pidfd pins
    // the process now, so check once more that it is the one we mean.
    if (executableNameOf(process.id) == process.executableName && killThroughHandle(handle)) {
        // The pidfd turns readable once the process has ended. A timeout is
        // silent, as declared: a process still there shows as a file in use
        // when its files are replaced.
        pollfd waiter = {handle, POLLIN, 0};
        while (poll(&waiter, 1, static_cast<int>(waitMilliseconds)) < 0 && errno == EINTR) {
        }
    }
    close(handle);
}

std::uint32_t startProcess(const std::string& application, const std::vector<std::string>& arguments,
                           const std::string& workingDirectory) {
    const std::string program = brenvik::rules::systemPath(application);
    const std::string directory = brenvik::rules::systemPath(workingDirectory);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    if (const int error = posix_spawn_file_actions_init(&actions)) {
        return static_cast<std::uint32_t>(error);
    }
    int error = 0;
    if (!directory.empty()) {
        error = posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    }
    // Only the standard streams are passed on, as no handles are on Windows.
    if (error == 0) {
        error = posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    }
    // The C library reports a missing program, a missing directory and a
    // failed exec through the result.
    pid_t child = 0;
    if (error == 0) {
        error = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    }
    posix_spawn_file_actions_destroy(&actions);
    return static_cast<std::uint32_t>(error);
}

}  // namespace platform
}  // namespace example
