#include "support/test_support.h"

#include "core/paths.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace example {
namespace testing {

RunResult runProgram(const std::string& givenProgram, const std::vector<std::string>& arguments,
                     const std::string& givenWorkingDirectory) {
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
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned != 0) {
        close(pipeEnds[0]);
        return result;
    }

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

    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace testing
}  // namespace example
