#include <windows.h>

#include "install_test_support.h"

namespace example::testing {

// Wine keeps the read-only attribute as missing write permission, which a
// process running as root (as the test machines do) writes through anyway.
bool readOnlyFilesAreEnforced() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr;
}

}  // namespace example::testing
