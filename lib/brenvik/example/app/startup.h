#pragma once
// The start-up sequence shared by the Windows and POSIX entry points.

#include <string>
#include <vector>

namespace example {

// Decides the run mode, reads the command line and runs that mode. Returns
// the process exit code.
int runApplication(void* instance, int showCommand, int argc, const char* const argv[]);

// The same, copying `dllNames` beside the apply helper instead of the build's
// list.
int runApplication(void* instance, int showCommand, int argc, const char* const argv[],
                   const std::vector<std::string>& dllNames);

}  // namespace example
