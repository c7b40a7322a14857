#pragma once
// Ending running copies of the target, starting the apply helper and starting
// the target again.

#include <string>
#include <vector>

namespace example {

// Ends every other running process whose executable file name equals `name`
// without regard to ASCII letter case, waiting up to 5000 ms for each.
// Reports nothing.
void terminateProcessesByName(const std::string& name);

// Lays out the work directory from g_appOptions, copies the running
// executable there under the helper name with `dllNames` beside it, and
// starts that copy with the six-token command line. True once started;
// otherwise false with one message in `error`.
bool startApplyHelper(std::string& error, const std::vector<std::string>& dllNames);
// The same with the build's helperDllNames().
bool startApplyHelper(std::string& error);

// The helper's six arguments: its own path, the program directory, the
// download directory, the target, the version and the update URL. On
// Windows they travel as quotedCommandLine of this list.
std::vector<std::string> helperArguments(const std::string& helperPath, const std::string& updateFilesDirectory);

// Starts g_appOptions.targetExePath without arguments in the program
// directory (or the target's own directory, or the inherited one). True once
// started; otherwise false with one message in `error`.
bool launchTarget(std::string& error);

}  // namespace example
