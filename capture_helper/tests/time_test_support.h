#pragma once
// The platform's form of the library's gettimeofday export, for the tests.

#include "dorvane/DorvaneTime.h"

namespace dorvane::testing {

DorvaneTimeval readTimeval(void* tz);

}  // namespace dorvane::testing
