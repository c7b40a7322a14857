#pragma once
// The updater's settings and fixed names.

#include <string>
#include <vector>

#include "platform_constants.h"

namespace example {

struct AppOptions {
    std::string updateUrl;
    std::string programDir;     // absolute
    std::string downloadDir;    // as given
    std::string targetExePath;  // absolute
    std::string currentVersion;
    std::string targetExeName;  // last component of targetExePath
};

// Written once by parseArguments before any other thread exists; read-only
// afterwards.
extern AppOptions g_appOptions;

// kHelperExeName comes with the platform's constants.
inline constexpr char kHelperDirectoryName[] = "brenvik_helper";
inline constexpr char kUpdateFilesDirectoryName[] = "update_files";
inline constexpr char kWindowClassName[] = "BrenvikExampleWindow";

// "http://" + the build's default server host + ":8002/api/upgrade".
const std::string& defaultUpdateUrl();

// Libraries copied beside the apply helper, in copy order (a build setting).
const std::vector<std::string>& helperDllNames();

}  // namespace example
