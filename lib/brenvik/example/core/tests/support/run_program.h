#pragma once
// Running a program of the build to its end, as a user would start it, with
// what it says on standard error kept for the test to read.

#include <chrono>
#include <string>
#include <vector>

namespace example::testing {

struct RunResult {
    // The program's exit code; 128 + n where a POSIX program ended by signal
    // n (as a shell reports it); -1 where it could not be started.
    int exitCode = -1;
    std::string standardError;
};

// Runs `program` with `arguments` (each passed as one argv element) in
// `workingDirectory` (the test's own where empty), waits for it, and returns
// its exit code and what it wrote to standard error. A `program` without a
// directory is looked up on the PATH. Standard input reads as empty. With
// `killAfter` set the program is killed once that time has passed, as a user
// ending it would.
RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& workingDirectory = "",
                     std::chrono::milliseconds killAfter = std::chrono::milliseconds(0));

}  // namespace example::testing
