#pragma once
// Decides whether the user may end a helper run right now. Ending the process
// while files are being copied into the program directory would leave it half
// updated, so a close that arrives while applying runs is held back until the
// apply step has ended; a close during the check or the downloads ends the run
// at once. Shared between the view thread (requestClose) and the worker
// (beginApply/endApply).

#include <mutex>

namespace example {

class CloseGuard {
public:
    // Worker: called before the first file is touched. False when the user has
    // already closed; the worker must then leave the program directory alone.
    bool beginApply();
    // Worker: called when applying has ended, however it ended.
    void endApply();

    // View: true when the close may happen now. False while applying runs; the
    // close is then remembered and closePending() becomes true.
    bool requestClose();
    bool closePending() const;

    // A new run starts with nothing applying and no close requested.
    void reset();

private:
    mutable std::mutex mutex_;
    bool applying_ = false;
    bool closed_ = false;
    bool pending_ = false;
};

// The guard of this process's helper run.
CloseGuard& closeGuard();

// Brackets applying in the worker; endApply runs on every way out.
class ApplyScope {
public:
    explicit ApplyScope(CloseGuard& guard) : guard_(guard), active_(guard.beginApply()) {}
    ~ApplyScope() {
        if (active_) guard_.endApply();
    }
    ApplyScope(const ApplyScope&) = delete;
    ApplyScope& operator=(const ApplyScope&) = delete;
    bool active() const { return active_; }

private:
    CloseGuard& guard_;
    bool active_;
};

}  // namespace example
