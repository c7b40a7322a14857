#include "install_test_support.h"

namespace example::testing {

// The copy and extraction refuse files without write permission for every
// user, root included.
bool readOnlyFilesAreEnforced() { return true; }

}  // namespace example::testing
