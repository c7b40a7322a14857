#pragma once
// Path and file-system helpers over narrow (byte) path strings.
//
// Both '\' and '/' are separators wherever a path is read. None of these
// functions throws or reports a message: failures fold into an empty string,
// the input handed back unchanged, or false.

#include <cstdint>
#include <string>
#include <vector>

#include "brenvik/rules/path_rules.h"
#include "platform_constants.h"

namespace example {

using brenvik::rules::isSeparator;

// False for "", true when the second character is ':' (C:x, x:y), otherwise
// true exactly when the first character is a separator.
bool isAbsolutePath(const std::string& path);

using brenvik::rules::endsWithSeparator;

// Text before the last separator; "" when there is none or the only one is
// the first character ("\x" -> "").
using brenvik::rules::parentPathOf;

// Text after the last separator; the whole path when there is none.
std::string fileNameOf(const std::string& path);

// second alone when first is empty; first+second when first ends with a
// separator; otherwise first + kPathSeparator + second. second is never
// examined.
std::string joinPath(const std::string& first, const std::string& second);

// Every '\' becomes '/'.
using brenvik::rules::normalizeSeparators;

// A-Z become a-z; every other byte is kept.
std::string toLowerCopy(const std::string& text);

// True when the last four bytes are ".zip" in any letter case.
bool hasZipSuffix(const std::string& name);

// One command-line token that the Windows runtime's argument splitter turns
// back into exactly `argument`: enclosed in double quotes, each embedded quote
// preceded by a backslash, and the backslashes that stand directly before a
// quote (embedded or the closing one) doubled. Other backslashes are copied.
std::string quoteArgument(const std::string& argument);

// The command line that hands `arguments` (the first names the program) to a
// Windows program: each one through quoteArgument, joined by single blanks.
std::string quotedCommandLine(const std::vector<std::string>& arguments);

// "Windows error " + code in unsigned decimal.
std::string windowsErrorText(std::uint32_t code);

// The detail of a failure for an error code of the platform layer: on
// Windows windowsErrorText, elsewhere the system's message for the errno.
std::string errorText(std::uint32_t code);

// Full path of the running executable; "" when it cannot be had.
std::string executablePath();
// parentPathOf(executablePath()).
std::string executableDirectory();
// The process's current directory; "" when it cannot be had.
std::string currentDirectory();

// The path with "." and ".." resolved and made absolute against the current
// directory; the path need not exist. The input unchanged on failure.
std::string fullPath(const std::string& path);

// fullPath(path) when path is absolute or base is empty, otherwise
// fullPath(joinPath(base, path)).
std::string makeAbsolute(const std::string& path, const std::string& base);

// True when the path names an existing directory.
using brenvik::rules::directoryExists;

// Creates the directory and any missing ancestors. True when the path names
// an existing directory at the end; a plain file in the way gives false.
using brenvik::rules::createDirectoryTree;

// True when a relative name must not be used below a destination directory:
// empty, rooted, drive-qualified, or holding a ".." component.
using brenvik::rules::isUnsafeRelativePath;

}  // namespace example
