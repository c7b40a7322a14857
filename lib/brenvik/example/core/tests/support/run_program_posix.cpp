#include "support/run_program.h"

#include "core/paths.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>

extern char** environ;

namespace example::testing {

namespace {

// Kills the child once `after` has passed unless it ended first.
class Killer {
public:
    Killer(pid_t child, std::chrono::milliseconds after) {
        if (after.count() <= 0) return;
        thread_ = std::thread([this, child, after] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!condition_.wait_for(lock, after, [this] { return ended_; })) kill(child, SIGKILL);
        });
    }
    // Called before the child is reaped, so the kill never meets a reused pid.
    void ended() {
        if (!thread_.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ended_ = true;
        }
        condition_.notify_one();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    bool ended_ = false;
    std::thread thread_;
};

}  // namespace

RunResult runProgram(const std::string& givenProgram, const std::vector<std::string>& arguments,
                     const std::string& givenWorkingDirectory, std::chrono::milliseconds killAfter) {
    const std::string program = normalizeSeparators(givenProgram);
    const std::string workingDirectory = normalizeSeparators(givenWorkingDirectory);
    RunResult result;
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return result;
    }
    std::vector<std::string> tokens;
    tokens.push_back(program);
    tokens.insert(tokens.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& token : tokens) {
        argv.push_back(&token[0]);
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        return result;
    }
    bool prepared = posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
                    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
                    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO) == 0;
    if (prepared && !workingDirectory.empty()) {
        prepared = posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str()) == 0;
    }
    pid_t child = 0;
    const int spawned =
        prepared ? posix_spawnp(&child, program.c_str(), &actions, nullptr, argv.data(), environ) : EINVAL;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        return result;
    }
    Killer killer(child, killAfter);

    char buffer[4096];
    for (;;) {
        const ssize_t got = read(pipeEnds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        result.standardError.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeEnds[0]);

    // Until the child is reaped its pid stays its own, so a late kill
    // cannot reach another process.
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    killer.ended();
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    return result;
}

}  // namespace example::testing
