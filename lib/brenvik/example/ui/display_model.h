#pragma once
// What every message of a helper run does to the display, independent of how
// the display is drawn. The Win32 window and the terminal view both render
// this state; tests read it directly.

#include <cstdint>
#include <string>

#include "worker/progress_records.h"

namespace example {

// "33.3%" for 333; the value is clamped to 0..1000 first.
std::string formatPermille(std::int32_t permille);

// The id and delay of the one-shot timer that closes the window after a
// successful restart of the target.
constexpr unsigned kCloseTimerId = 2001;
constexpr unsigned kCloseDelayMs = 3000;

// What the view must do once a finish record has been applied to the model.
enum class FinishAction {
    StayOpen,          // failed run: wait for the user
    CloseNow,          // success with closeWindow
    RestartThenClose,  // success with restartTarget: launch, then report the outcome
};

class DisplayModel {
public:
    DisplayModel() { reset(); }

    // Initial texts: "0/0  0.0%", empty second line, empty bars, empty log.
    void reset();

    // Appends one line; every line ends in CR LF.
    void appendLogLine(const std::string& text);

    void showProgress(const ProgressInfo& progress);

    // Appends the finish message and decides what happens next.
    FinishAction applyFinish(const FinishInfo& finish);

    // Outcome of the restart that RestartThenClose asked for. Returns true when
    // the view should start the close timer; on a failed launch the error is
    // appended and the display stays.
    bool applyLaunchResult(bool launched, const std::string& launchError);

    // True when a timer with this id should close the display.
    static bool isCloseTimer(std::uintptr_t timerId) { return timerId == kCloseTimerId; }

    const std::string& overallLabel() const { return overallLabel_; }
    const std::string& currentLabel() const { return currentLabel_; }
    std::int32_t overallBar() const { return overallBar_; }
    std::int32_t currentBar() const { return currentBar_; }
    const std::string& logText() const { return logText_; }
    bool finished() const { return finished_; }
    bool succeeded() const { return succeeded_; }

private:
    std::string overallLabel_;
    std::string currentLabel_;
    std::int32_t overallBar_ = 0;
    std::int32_t currentBar_ = 0;
    std::string logText_;
    bool finished_ = false;
    bool succeeded_ = false;
};

}  // namespace example
