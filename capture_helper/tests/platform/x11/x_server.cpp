// The test's X server and window owner: started with descriptors of their
// own, so that nothing of the test's output is held open by them.

#include "platform/x11/x_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <utility>

extern char** environ;

namespace dorvane::testing {

namespace {

// One line from `fd` within `seconds`; false on end, error or timeout.
bool readLine(int fd, std::string& line, int seconds) {
    line.clear();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(left)) <= 0) continue;
        char c = 0;
        const ssize_t got = read(fd, &c, 1);
        if (got <= 0) return false;
        if (c == '\n') return true;
        line.push_back(c);
    }
}

void endProcess(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
}

}  // namespace

pid_t startAnnouncing(std::vector<std::string> args, bool ownGroup, int seconds, std::string& line,
                      std::string& error) {
    line.clear();
    // The write end goes to the program as it is; the read end stays here.
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        error = "pipe failed";
        return -1;
    }
    fcntl(pipeFds[0], F_SETFD, FD_CLOEXEC);
    for (std::string& arg : args) {
        const auto at = arg.find("{fd}");
        if (at != std::string::npos) arg.replace(at, 4, std::to_string(pipeFds[1]));
    }
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
    if (ownGroup) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        error = "cannot start " + args[0];
        return -1;
    }
    if (!readLine(pipeFds[0], line, seconds)) line.clear();
    close(pipeFds[0]);
    return pid;
}

bool XServer::start() {
    stop();
    std::string number;
    pid_ = startAnnouncing(
        {XVFB_PROGRAM, "-displayfd", "{fd}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-terminate"}, false,
        30, number, error_);
    if (pid_ < 0) return false;
    if (number.empty()) {
        stop();
        error_ = "Xvfb did not announce a display";
        return false;
    }
    name_ = ":" + number;
    return true;
}

void XServer::stop() {
    endProcess(pid_);
    name_.clear();
}

bool HelperProcess::start(std::vector<std::string> args) {
    stop();
    // Only the copies on its standard input and output reach the helper.
    int input[2], output[2];
    if (pipe2(input, O_CLOEXEC) != 0) return false;
    if (pipe2(output, O_CLOEXEC) != 0) {
        close(input[0]);
        close(input[1]);
        return false;
    }
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    input_ = input[1];
    if (spawned != 0) {
        pid_ = -1;
        close(output[0]);
        stop();
        return false;
    }
    std::string line;
    const bool ready = readLine(output[0], line, 30) && line.compare(0, 5, "ready") == 0;
    close(output[0]);
    if (!ready) {
        stop();
        return false;
    }
    detail_ = line.size() > 6 ? line.substr(6) : "";
    return true;
}

void HelperProcess::stop() {
    if (input_ >= 0) {
        close(input_);
        input_ = -1;
    }
    if (pid_ > 0) {
        // It leaves once its input closes; a helper that hangs is ended.
        for (int i = 0; i < 100; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            usleep(20000);
        }
        endProcess(pid_);
    }
}

void HelperProcess::kill() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    stop();
}

bool WindowOwner::start(const std::vector<std::string>& windows) {
    std::vector<std::string> args = {X_WINDOW_OWNER_PROGRAM};
    args.insert(args.end(), windows.begin(), windows.end());
    return HelperProcess::start(std::move(args));
}

}  // namespace dorvane::testing
