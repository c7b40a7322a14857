#pragma once
// The Linux face of a helper run: log lines go to standard error as they
// arrive; on a terminal the two progress lines stay below the log and are
// redrawn in place.

#include <functional>
#include <string>

#include "ui/display_model.h"

namespace example {

// The text with everything a terminal would act on shown instead: control
// characters (C0, DEL and C1) and bytes that are not well-formed UTF-8 as
// \xNN. Names and messages come from the update
// server and from archives, and must not be able to move the cursor or draw
// a line of their own.
std::string terminalSafe(const std::string& text);

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
