// Error output to the console of the starting process. The updater is a GUI
// program with no console of its own, so it borrows its parent's.
#include "core/platform.h"

#include <windows.h>

namespace example {
namespace platform {

void writeToParentConsole(const std::string& text) {
    bool write = false;
    bool detach = false;
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        write = true;
        detach = true;
    } else if (GetLastError() == ERROR_ACCESS_DENIED) {
        // Already attached to a console.
        write = true;
    }

    if (write) {
        const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
        if (error != INVALID_HANDLE_VALUE && error != nullptr) {
            const std::string line = text + "\r\n";
            DWORD written = 0;
            // Nothing is left to report a failed error message through.
            (void)WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        }
    }
    if (detach) {
        FreeConsole();
    }
}

}  // namespace platform
}  // namespace example
