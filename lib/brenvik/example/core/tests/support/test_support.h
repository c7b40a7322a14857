#pragma once
// Shared helpers of the core and app tests: scratch directories, small file
// access, the recorded argument vectors and running a program to its end
// (support/run_program.h).

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "read_only_probe.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace example {
namespace testing {

// A fresh directory under the system's temporary folder, removed again at
// the end of the test (read-only files included).
class ScratchDirectory {
public:
    // The directory as a byte string, and a path below it.
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const;

private:
    brenvik::testing::TempDir directory_;
    std::string path_ = directory_.path().string();
};

// The tree's whole-file helpers for the paths the updater takes: UTF-8, with
// either separator.
void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);

// Makes `link` a link to the directory `target`; false where the platform
// (or this process) cannot make one. The removal leaves the target alone.
bool makeDirectoryLink(const std::string& target, const std::string& link);
void removeDirectoryLink(const std::string& link);

// A test program built beside the running test executable (".exe" added
// where the platform names executables that way).
std::string siblingProgram(const std::string& name);

// Waits until `directory`/argv.txt appears (written by the argv recorder) and
// returns the recorded arguments; empty after `timeout`.
std::vector<std::string> waitForRecordedArguments(const std::string& directory,
                                                  std::chrono::milliseconds timeout = std::chrono::seconds(20));

// False where the platform lets this process write read-only files anyway.
using brenvik::rules::testing::readOnlyFilesAreEnforced;

}  // namespace testing
}  // namespace example
