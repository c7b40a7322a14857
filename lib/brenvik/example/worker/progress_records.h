#pragma once
// The records that an update run reports: download progress and its end.

#include <cstdint>
#include <string>

namespace example {

// One download progress report.
struct ProgressInfo {
    std::int32_t fileIndex = 0;  // 1-based; 0 before the first report
    std::int32_t fileCount = 0;
    std::int32_t overallPermille = 0;  // tenths of a percent, 0..1000
    std::int32_t currentPermille = 0;  // tenths of a percent, 0..1000
    std::uint32_t downloadedBytes = 0;
    std::uint32_t totalBytes = 0;
    std::string fileName;
};

// The end of a run; exactly one arrives per run, after everything else.
struct FinishInfo {
    bool success = false;
    bool restartTarget = false;  // when success: start the target, then close
    bool closeWindow = false;    // when success: close at once, no restart
    std::string message;         // appended to the log
};

}  // namespace example
