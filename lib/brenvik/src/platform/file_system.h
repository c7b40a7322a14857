#pragma once
// The file-system call of the update client that its transfers need, one
// implementation per platform. Paths arrive as the client built them, with
// '/' and '\' mixed.

#include <cstdio>
#include <string>

namespace brenvik::platform {

// Opens `path` for binary writing, creating or emptying it; null on failure.
std::FILE* openForWriting(const std::string& path);

}  // namespace brenvik::platform
