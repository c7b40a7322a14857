#include "ui/posix/terminal_view.h"

#include <utility>

namespace example {

namespace {
// Cursor two lines up, then clear to the end of the screen.
constexpr const char* kEraseTwoLines = "\x1b[2A\r\x1b[J";
}  // namespace

TerminalView::TerminalView(Writer write, bool interactive)
    : write_(std::move(write)), interactive_(interactive) {}

void TerminalView::eraseProgress() {
    if (progressDrawn_) {
        write_(kEraseTwoLines);
        progressDrawn_ = false;
    }
}

void TerminalView::drawProgress() {
    if (!interactive_) return;
    write_(model_.overallLabel() + "\n" + model_.currentLabel() + "\n");
    progressDrawn_ = true;
}

void TerminalView::appendLogLine(const std::string& text) {
    model_.appendLogLine(text);
    eraseProgress();
    write_(text + "\n");
    if (progressSeen_ && !model_.finished()) drawProgress();
}

void TerminalView::showProgress(const ProgressInfo& progress) {
    model_.showProgress(progress);
    progressSeen_ = true;
    if (!interactive_) return;
    eraseProgress();
    drawProgress();
}

FinishAction TerminalView::applyFinish(const FinishInfo& finish) {
    // The last progress lines stay on screen, frozen above the final message.
    progressDrawn_ = false;
    const FinishAction action = model_.applyFinish(finish);
    write_(finish.message + "\n");
    return action;
}

void TerminalView::applyLaunchResult(bool launched, const std::string& launchError) {
    if (!model_.applyLaunchResult(launched, launchError)) write_(launchError + "\n");
}

void TerminalView::note(const std::string& text) {
    eraseProgress();
    write_(text + "\n");
}

}  // namespace example
