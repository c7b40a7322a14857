// Error details on POSIX: the system's own words for an errno value.
#include "core/paths.h"

#include <cstring>

namespace example {

std::string errorText(std::uint32_t code) {
    char buffer[256] = {};
    // The GNU variant may return a static text instead of filling the buffer.
    return ::strerror_r(static_cast<int>(code), buffer, sizeof buffer);
}

}  // namespace example
