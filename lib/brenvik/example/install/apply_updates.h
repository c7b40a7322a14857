#pragma once
// Brings downloaded items into the program directory.

#include <string>
#include <vector>

#include "install/log_sink.h"

namespace example {

// Applies the names in order: a name ending in a separator creates that
// directory, a ".zip" name is unpacked into the program directory itself,
// anything else is copied over its counterpart. Each item is announced to
// `log` with a "dir: ", "zip: " or "file: " line first. Stops at the first
// failure with one message in `error`; items applied before it stay applied.
bool applyUpdates(const std::vector<std::string>& filenames, const std::string& downloadDir,
                  const std::string& programDir, LogSink& log, std::string& error);

// Copies source over target, creating the target's directory first.
bool copyFileTo(const std::string& source, const std::string& target, std::string& error);

}  // namespace example
