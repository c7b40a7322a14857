#pragma once
// Where extraction and applying announce what they do, one line per item
// ("dir: ", "zip: ", "file: ", "Extracted: "). The caller decides where the
// lines go; in a helper run they reach the progress display.

#include <string>

namespace example {

class LogSink {
public:
    virtual ~LogSink() = default;
    // Called on the thread that extracts or applies. May throw; the
    // operation then ends with the exception and leaves its files as they are.
    virtual void logLine(const std::string& line) = 0;
};

}  // namespace example
