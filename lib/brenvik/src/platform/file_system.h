#pragma once
// The few file-system calls of the update client, one implementation per
// platform. Paths arrive as the client built them, with '/' and '\' mixed.

#include <cstdio>
#include <string>

namespace brenvik::platform {

enum class PathKind { Missing, Directory, Other };

// What is at `path`; Missing when the status cannot be read.
PathKind pathKind(const std::string& path);

// Creates one directory level with default attributes.
bool makeDirectory(const std::string& path);

// Opens `path` for binary writing, creating or emptying it; null on failure.
std::FILE* openForWriting(const std::string& path);

}  // namespace brenvik::platform
