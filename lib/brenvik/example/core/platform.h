#pragma once
// The operating-system layer under the path utilities and process control.
// Implemented once with Win32 calls (platform/win32) and once with POSIX calls
// (platform/posix); CMake picks one set.
//
// Error results are the platform's own numbers (0 = success): Win32 error
// numbers on Windows, errno values on POSIX; errorText (core/paths.h) words
// them. On POSIX every path handed to the system reads '\' as a separator as
// well as '/'.

#include <cstdint>
#include <string>
#include <vector>

#include "platform_constants.h"

namespace example {

namespace platform {

// Each query fills `out` and returns true when the platform answered with a
// non-empty result shorter than kPathBufferSize bytes.
bool queryExecutablePath(std::string& out);
bool queryCurrentDirectory(std::string& out);
bool queryFullPath(const std::string& path, std::string& out);

// True when the path itself is a symbolic link (or another kind of
// redirection to elsewhere), whatever it points to.
bool isLink(const std::string& path);

// Writes `text` followed by kLineEnd to the standard error of the console this
// process was started from, when there is one; otherwise does nothing.
void writeToParentConsole(const std::string& text);

struct ProcessEntry {
    std::uint32_t id = 0;
    std::string executableName;  // file name only, no directory
};

std::uint32_t currentProcessId();

// Every running process with its executable file name. Empty when the list
// cannot be taken.
std::vector<ProcessEntry> listProcesses();

// Ends the process when it can be opened and it still runs `executableName`,
// then waits up to `waitMilliseconds` for it to be gone. Silent on failure.
void terminateProcess(const ProcessEntry& process, std::uint32_t waitMilliseconds);

// Starts `application` with the argument vector `arguments` (the first names
// the program) in `workingDirectory` (inherited when empty), without waiting
// for it. Where programs receive one command line, it is quotedCommandLine of
// `arguments`. 0 on success or the error number.
std::uint32_t startProcess(const std::string& application, const std::vector<std::string>& arguments,
                           const std::string& workingDirectory);

}  // namespace platform

// Copies `from` over `to`, replacing an existing file, like CopyFileA with
// failIfExists = FALSE: the target ends as a complete copy or as it was.
// 0 on success, otherwise the error number (kErrorFileNotFound missing
// source, kErrorPathNotFound missing target directory, kErrorAccessDenied
// read-only target, kErrorSharingViolation target in use, ...).
std::uint32_t copyFileReplacing(const std::string& from, const std::string& to);

// Puts the finished file `from` in the place of `to` in the same directory,
// like MoveFileExA with MOVEFILE_REPLACE_EXISTING: a file of that name is
// replaced, a link of that name is replaced itself and never followed, and
// `to` ends as `from` or stays as it was. The outcomes of copyFileReplacing
// for a read-only or running target. 0 or the error number.
std::uint32_t moveFileReplacing(const std::string& from, const std::string& to);

}  // namespace example
