#pragma once
// Splitting a Windows command line into an argument vector by the rules of
// the Windows C runtime: what a started Windows program does with the
// command line that quotedCommandLine builds, so that the quoting can be
// checked where there is no Windows runtime to ask.

#include <string>
#include <vector>

namespace example {

// Token 0 (the program) ends at the first blank outside quotes and takes
// quotes literally otherwise; later tokens follow the backslash rules: 2n
// backslashes before a quote give n and the quote delimits, 2n+1 give n and a
// literal quote, backslashes elsewhere are copied, and "" inside a quoted
// part gives one literal quote.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

}  // namespace example
