// The apply-helper run: the update worker, reporting through the posting
// observer, inside this platform's display.
#include "app/helper_mode.h"

#include "core/process_control.h"
#include "ui/helper_view.h"
#include "ui/posting.h"
#include "worker/update_worker.h"

namespace example {

int runHelperMode(void* instance, int showCommand) {
    HelperViewHooks hooks;
    hooks.workerBody = [] {
        PostingObserver observer;
        updateWorkerMain(observer);
    };
    hooks.launchTarget = [](std::string& launchError) { return launchTarget(launchError); };
    return runHelperView(instance, showCommand, hooks);
}

}  // namespace example
