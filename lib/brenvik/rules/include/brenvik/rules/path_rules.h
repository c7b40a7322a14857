#pragma once
// Path rules shared by the update client, the updater and the update server.
//
// Paths are byte strings in which both '\' and '/' separate levels, however
// they were written: names from an update server or an archive, or a
// command-line path. None of these functions throws or reports a message.

#include <string>

namespace brenvik::rules {

// True for '/' and '\'.
bool isSeparator(char c);

bool endsWithSeparator(const std::string& text);

// Every '\' becomes '/'; nothing else changes.
std::string normalizeSeparators(const std::string& path);

// The path as the operating system must be handed it: where only '/'
// separates, every '\' becomes '/'; elsewhere the path as it is.
std::string systemPath(const std::string& path);

// Text before the last separator; "" when there is none or the only one is
// the first character ("\x" -> "").
std::string parentPathOf(const std::string& path);

// True when a relative name must not be used below a destination directory:
// it is empty, rooted, drive-qualified ("C:a", "x:y"), or has a component
// that is exactly "..". ".", "...", "..x", empty components and a trailing
// separator are allowed.
bool isUnsafeRelativePath(const std::string& name);

// True when the path names an existing directory.
bool directoryExists(const std::string& path);

// Creates the directory and any missing ancestors, climbing one separator at
// a time to the first existing one. True when the path names an existing
// directory at the end (the empty path included); a plain file in the way
// gives false. A network server or share (\\server\share) is never made.
bool createDirectoryTree(const std::string& path);

}  // namespace brenvik::rules
