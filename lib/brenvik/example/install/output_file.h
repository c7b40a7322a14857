#pragma once
// The two spots where extraction hands a path to the operating system.

#include <cstdio>
#include <string>

namespace example {

// The path as the operating system must see it: on POSIX every backslash is
// a separator, so names written for Windows land in the same places.
std::string systemPath(const std::string& path);

// Opens (creating or truncating) a file for binary writing; null when it
// cannot be opened. A file that has no write permission counts as read-only
// for every user, so it is refused even where the process could override it.
std::FILE* openOutputFile(const std::string& path);

}  // namespace example
