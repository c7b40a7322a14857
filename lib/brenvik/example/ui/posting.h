#pragma once
// How an update run reaches the display. The run reports to a
// PostingObserver, which posts each report to the sink that the view
// installed (a window on Windows, a queue read by the terminal view on
// Linux). Without a sink the posts do nothing.
//
// Every sink keeps these promises: log lines and the finish record are never
// dropped and arrive in posting order; progress reports may be coalesced so
// that only the newest waiting report is shown.

#include <string>

#include "worker/progress_records.h"
#include "worker/run_observer.h"

namespace example {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void postLog(const std::string& line) = 0;
    virtual void postProgress(const ProgressInfo& progress) = 0;
    virtual void postFinish(const FinishInfo& finish) = 0;
};

// Installs the sink (or none with nullptr). Set before the worker starts and
// left alone while it runs.
void setMessageSink(MessageSink* sink);
MessageSink* messageSink();

void postLogMessage(const std::string& line);
void postProgressMessage(const ProgressInfo& progress);
// The message comes second, before the two flags.
void postFinishMessage(bool success, const std::string& message, bool restartTarget, bool closeWindow);

// Hands everything a run reports to the installed sink, unchanged.
class PostingObserver : public RunObserver {
public:
    void logLine(const std::string& line) override { postLogMessage(line); }
    void progress(const ProgressInfo& progress) override { postProgressMessage(progress); }
    void finish(const FinishInfo& finish) override;
};

}  // namespace example
