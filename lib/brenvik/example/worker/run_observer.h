#pragma once
// What one update run reports while it works. The worker calls these on its
// own thread, in order: log lines and progress reports as they come, then
// exactly one finish, after everything else. Extraction and applying write
// their lines through the same observer, so every line of the run reaches
// the one place in the order it was written.

#include "install/log_sink.h"
#include "worker/progress_records.h"

namespace example {

class RunObserver : public LogSink {
public:
    virtual void progress(const ProgressInfo& progress) = 0;
    virtual void finish(const FinishInfo& finish) = 0;
};

}  // namespace example
