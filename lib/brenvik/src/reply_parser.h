#pragma once
// Turns the update server's JSON reply into a VersionInfo.

#include <string>

#include <brenvik/update_types.h>

namespace brenvik::detail {

// Fills `versionInfo` (passed default-constructed) from `response`. On
// ParseError `lastError` says why and `versionInfo` keeps whatever was
// filled in before the failing value.
UpdateResult parseVersionResponse(const std::string& response, const std::string& currentVersion,
                                  VersionInfo& versionInfo, std::string& lastError);

}  // namespace brenvik::detail
