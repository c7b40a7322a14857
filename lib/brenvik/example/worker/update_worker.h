#pragma once
// The update worker: one run of check, download and apply on its own thread,
// ending with exactly one finish reported to the run's observer.

#include <cstdint>
#include <string>

#include "worker/progress_records.h"
#include "worker/run_observer.h"

namespace example {

// The thread body. Reads g_appOptions and reports everything to `observer`.
// Never lets an exception escape: one that leaves the client, the apply step
// or the observer itself ends the run with a failure finish naming it.
void updateWorkerMain(RunObserver& observer);

// The filter for the update client's log lines: false for lines that show the
// request body or a URL.
bool shouldShowLogLine(const std::string& line);

std::string toDecimalString(std::uint32_t value);

// Turns the client's per-transfer progress callbacks into display reports.
// The file index advances whenever the reported name changes.
class ProgressBridge {
public:
    void setTotalFiles(std::int32_t totalFiles) { totalFiles_ = totalFiles; }

    ProgressInfo report(const std::string& name, std::uint32_t received, std::uint32_t expected, double percent);

private:
    std::string currentFilename_;
    std::int32_t currentFileIndex_ = 0;
    std::int32_t totalFiles_ = 0;
};

}  // namespace example
