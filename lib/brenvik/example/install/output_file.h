#pragma once
// Where applying hands files to the operating system: the path as the
// system reads it, the temporary file an entry is written to before it takes
// the place of the file it replaces, and permission bits.

#include <cstdio>
#include <string>

#include "brenvik/rules/path_rules.h"

namespace example {

// The path as the operating system must see it: on POSIX every backslash is
// a separator, so names written for Windows land in the same places.
using brenvik::rules::systemPath;

// A new, empty file in the directory of `target`, open for binary writing,
// for what will replace `target` once it is complete; its path goes to
// `temporaryPath`. Null when none can be made there.
std::FILE* openTemporaryBeside(const std::string& target, std::string& temporaryPath);
// Best effort: callers use it to clear away a temporary file on a way out
// that already reports a failure.
void removeFile(const std::string& path);

// Permission bits of an existing file, or -1 when there is none (or the
// platform keeps no such bits). Applying replaces a program's contents, not
// its permissions: a replaced executable must stay runnable, although the
// downloaded copy carries only default permissions.
int existingPermissions(const std::string& path);
// Sets the bits (nothing for -1); false when the system refused them.
bool restorePermissions(const std::string& path, int permissions);

// What a file made now gets where nothing else says (the process's default
// for new files), or -1 where the platform keeps no such bits.
int newFilePermissions();

// Lets everyone who may read the file run it too; nothing where the platform
// keeps no such bits.
void makeExecutable(const std::string& path);

}  // namespace example
