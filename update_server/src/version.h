#pragma once
// Dotted version numbers ("1.10.0"), compared component by component as
// numbers; missing trailing components count as 0.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brenvik::server {

using Version = std::vector<std::uint64_t>;

// Digits separated by single dots; nothing else, no empty component.
std::optional<Version> parseVersion(const std::string& text);

// Negative, zero or positive as `a` is older than, equal to or newer than `b`.
int compareVersions(const Version& a, const Version& b);

}  // namespace brenvik::server
