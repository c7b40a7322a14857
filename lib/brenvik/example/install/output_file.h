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

// Permission bits of an existing file, or -1 when there is none (or the
// platform keeps no such bits). Applying replaces a program's contents, not
// its permissions: a replaced executable must stay runnable, although the
// downloaded copy carries only default permissions.
int existingPermissions(const std::string& path);
void restorePermissions(const std::string& path, int permissions);

}  // namespace example
