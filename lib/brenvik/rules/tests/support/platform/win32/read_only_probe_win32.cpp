#include "read_only_probe.h"

#include <windows.h>

namespace brenvik::rules::testing {

bool readOnlyFilesAreEnforced() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
}

}  // namespace brenvik::rules::testing
