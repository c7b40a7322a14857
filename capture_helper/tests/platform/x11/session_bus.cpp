#include "platform/x11/session_bus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

extern char** environ;

namespace dorvane::testing {

namespace {

// The first line written to `fd` within ten seconds.
std::string firstLine(int fd) {
    std::string line;
    for (int waited = 0; waited < 10000;) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) {
            waited += 100;
            continue;
        }
        char c = 0;
        if (read(fd, &c, 1) <= 0 || c == '\n') break;
        line.push_back(c);
    }
    return line;
}

bool groupGone(pid_t group) { return kill(-group, 0) != 0 && errno == ESRCH; }

}  // namespace

bool SessionBus::start() {
    stop();
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        error_ = "pipe failed";
        return false;
    }
    fcntl(pipeFds[0], F_SETFD, FD_CLOEXEC);
    std::vector<std::string> args = {DBUS_DAEMON_PROGRAM, "--session", "--nofork", "--nopidfile",
                                     "--print-address=" + std::to_string(pipeFds[1])};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        error_ = "cannot start " + std::string(DBUS_DAEMON_PROGRAM);
        return false;
    }
    group_ = pid;
    address_ = firstLine(pipeFds[0]);
    close(pipeFds[0]);
    if (address_.empty()) {
        stop();
        error_ = "the session bus did not say its address";
        return false;
    }
    return true;
}

void SessionBus::stop() {
    if (group_ > 0) {
        kill(-group_, SIGTERM);
        int status = 0;
        waitpid(group_, &status, 0);
        // The buses' children are not ours to wait for; they are gone when
        // the group is empty.
        for (int i = 0; i < 100 && !groupGone(group_); ++i) usleep(20000);
        if (!groupGone(group_)) kill(-group_, SIGKILL);
        for (int i = 0; i < 100 && !groupGone(group_); ++i) usleep(20000);
    }
    group_ = -1;
    address_.clear();
}

}  // namespace dorvane::testing
