#pragma once
// The apply-helper run (progress window and update worker). `instance` is the
// module's HINSTANCE on Windows and null elsewhere; returns the exit code.

namespace example {

int runHelperMode(void* instance, int showCommand);

}  // namespace example
