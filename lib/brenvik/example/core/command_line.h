#pragma once
// Run-mode detection, the command line and its console messages.

#include <string>

namespace example {

// True when the running executable's file name is the helper name, compared
// without regard to ASCII letter case.
bool isApplyHelperProcess();
// The same test on a given executable path.
bool isApplyHelperPath(const std::string& executablePath);

// Reads argv (argv[0] = the program) into g_appOptions. On false,
// argumentError holds the message to show.
bool parseArguments(int argc, const char* const argv[], std::string& argumentError);

// The six usage lines joined by kLineEnd, no line end after the last.
std::string usageText();

// Writes `text` and kLineEnd to the starting console's standard error, if any.
void writeConsoleError(const std::string& text);

}  // namespace example
