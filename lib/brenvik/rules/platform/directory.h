#pragma once
// The two directory calls under createDirectoryTree, one implementation per
// platform. Paths arrive with either separator.

#include <string>

namespace brenvik::rules::platform {

// True when the path exists and is a directory.
bool isDirectory(const std::string& path);

enum class MakeDirectoryResult { Created, AlreadyExists, Failed };

// Creates one directory level with default attributes. AlreadyExists when
// something of that name (a directory or not) is in the way.
MakeDirectoryResult makeDirectory(const std::string& path);

// See rules::systemPath.
std::string systemPath(const std::string& path);

}  // namespace brenvik::rules::platform
