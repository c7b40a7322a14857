#pragma once
// Path helpers of the update client: where a downloaded entry goes and how
// its directories come into being.

#include <string>

#include "brenvik/file_names.h"

namespace brenvik::detail {

// Text before the last '/' or '\'; empty when there is none.
std::string getParentDirectory(const std::string& path);

// Makes every level of `path` exist as a directory. False for an empty path;
// a bare drive or root ("C:", "C:\", "/") needs no work.
bool createDirectories(const std::string& path);

// `downloadDir` + '/' (unless it already ends in a separator) + `fileName`.
std::string downloadTarget(const std::string& downloadDir, const std::string& fileName);

// A name ending in a separator stands for a directory, not a file.
bool namesDirectory(const std::string& name);

}  // namespace brenvik::detail
