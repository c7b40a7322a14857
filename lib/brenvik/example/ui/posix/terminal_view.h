#pragma once
// The Linux face of a helper run: log lines go to standard error as they
// arrive; on a terminal the two progress lines stay below the log and are
// redrawn in place.

#include <functional>
#include <string>

#include "ui/display_model.h"

namespace example {

class TerminalView {
public:
    using Writer = std::function<void(const std::string&)>;

    // `interactive`: the output is a terminal that understands cursor movement.
    TerminalView(Writer write, bool interactive);

    DisplayModel& model() { return model_; }

    void appendLogLine(const std::string& text);
    void showProgress(const ProgressInfo& progress);
    FinishAction applyFinish(const FinishInfo& finish);
    void applyLaunchResult(bool launched, const std::string& launchError);

    // Writes a line that is not part of the log (prompts and notes).
    void note(const std::string& text);

private:
    void eraseProgress();
    void drawProgress();

    Writer write_;
    bool interactive_;
    bool progressDrawn_ = false;
    bool progressSeen_ = false;
    DisplayModel model_;
};

}  // namespace example
