#pragma once
// Unpacks a zip archive below a destination directory, entry by entry.

#include <string>

namespace example {

// True when every entry was extracted (or the archive has none). On false
// `error` holds one message; entries extracted before the failure stay.
// Posts "Extracted: <name>" for each file written.
bool extractZip(const std::string& zipPath, const std::string& destination, std::string& error);

}  // namespace example
