#include "read_only_probe.h"

namespace brenvik::rules::testing {

bool readOnlyFilesAreEnforced() {
    return true;
}

}  // namespace brenvik::rules::testing
