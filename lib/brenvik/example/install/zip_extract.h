#pragma once
// Unpacks a zip archive below a destination directory, entry by entry.

#include <string>

#include "install/log_sink.h"

namespace example {

// True when every entry was extracted (or the archive has none). On false
// `error` holds one message; entries extracted before the failure stay.
// Writes "Extracted: <name>" to `log` for each file written.
bool extractZip(const std::string& zipPath, const std::string& destination, LogSink& log, std::string& error);

}  // namespace example
