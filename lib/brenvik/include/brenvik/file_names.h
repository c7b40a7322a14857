#pragma once
// The rule by which the update client refuses a server's file name: one that
// is empty, rooted, drive-prefixed or has a ".." component would land outside
// the download directory. Servers use the same rule to refuse listing such a
// name in the first place.

#include <string>

namespace brenvik {

bool isUnsafeFileName(const std::string& name);

}  // namespace brenvik
