// Error details on Windows: the number alone, never the system's message.
#include "core/paths.h"

namespace example {

std::string errorText(std::uint32_t code) {
    return windowsErrorText(code);
}

}  // namespace example
