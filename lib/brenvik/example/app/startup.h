#pragma once
// The start-up sequence shared by the Windows and POSIX entry points.

namespace example {

// Decides the run mode, reads the command line and runs that mode. Returns
// the process exit code.
int runApplication(void* instance, int showCommand, int argc, const char* const argv[]);

}  // namespace example
