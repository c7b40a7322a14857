#pragma once
// How the worker thread reaches the display. The worker, zip extraction and
// applying call the three post functions; they forward to the sink that the
// view installed (a window on Windows, a queue read by the terminal view on
// Linux). Without a sink the posts do nothing.
//
// Every sink keeps these promises: log lines and the finish record are never
// dropped and arrive in posting order; progress reports may be coalesced so
// that only the newest waiting report is shown.

#include <string>

#include "ui/progress_records.h"

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
void postFinishMessage(bool success, const std::string& message, bool restartTarget,
                       bool closeWindow);

}  // namespace example
