#include "ui/display_model.h"

#include <algorithm>

namespace example {

std::string formatPermille(std::int32_t permille) {
    const std::int32_t value = std::clamp<std::int32_t>(permille, 0, 1000);
    return std::to_string(value / 10) + "." + std::to_string(value % 10) + "%";
}

void DisplayModel::reset() {
    overallLabel_ = "0/0  0.0%";
    currentLabel_.clear();
    overallBar_ = 0;
    currentBar_ = 0;
    logText_.clear();
    finished_ = false;
    succeeded_ = false;
}

void DisplayModel::appendLogLine(const std::string& text) {
    logText_ += text;
    logText_ += "\r\n";
}

void DisplayModel::showProgress(const ProgressInfo& progress) {
    // Bars take the values as they come; the control clamps them itself.
    overallBar_ = progress.overallPermille;
    currentBar_ = progress.currentPermille;
    overallLabel_ = std::to_string(progress.fileIndex) + "/" + std::to_string(progress.fileCount) + "  " +
                    formatPermille(progress.overallPermille);
    currentLabel_ = progress.fileName + "  " + formatPermille(progress.currentPermille) + " (" +
                    std::to_string(progress.downloadedBytes) + "/" + std::to_string(progress.totalBytes) + " bytes)";
}

FinishAction DisplayModel::applyFinish(const FinishInfo& finish) {
    appendLogLine(finish.message);
    finished_ = true;
    succeeded_ = finish.success;
    if (finish.success && finish.closeWindow) return FinishAction::CloseNow;
    if (finish.success && finish.restartTarget) return FinishAction::RestartThenClose;
    return FinishAction::StayOpen;
}

bool DisplayModel::applyLaunchResult(bool launched, const std::string& launchError) {
    if (launched) return true;
    appendLogLine(launchError);
    return false;
}

}  // namespace example
