#pragma once
// A log sink for tests that keeps every line it is handed, in order; `onLog`
// may act on a line as it passes (to fail or to change files at that moment).
// Sinks of the wider interfaces derive from it: RecordingSink<RunObserver>
// records the log lines of a worker run and leaves its other reports to the
// class that derives.

#include <functional>
#include <string>
#include <vector>

#include "install/log_sink.h"

namespace example::testing {

template <class Sink = LogSink>
class RecordingSink : public Sink {
public:
    void logLine(const std::string& line) override {
        lines.push_back(line);
        if (onLog) onLog(line);
    }
    std::vector<std::string> lines;
    std::function<void(const std::string&)> onLog;
};

}  // namespace example::testing
