#pragma once
// The display of a helper run, one per platform: the progress window on
// Windows, the terminal view on Linux. The display does not know what the
// run does; it is handed the two things it starts.

#include <functional>
#include <string>

namespace example {

struct HelperViewHooks {
    // The run, started on a thread of its own once the display can show
    // what it posts.
    std::function<void()> workerBody;
    // Starts the target again after a successful run; false with a message
    // when it cannot.
    std::function<bool(std::string& launchError)> launchTarget;
};

// Shows the display until the run is over and the user (or the close timer)
// has closed it. `instance` is the module's HINSTANCE on Windows and null
// elsewhere. Returns the helper's exit code.
int runHelperView(void* instance, int showCommand, const HelperViewHooks& hooks);

}  // namespace example
