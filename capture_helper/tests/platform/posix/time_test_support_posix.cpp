#include "time_test_support.h"

namespace dorvane::testing {

DorvaneTimeval readTimeval(void* tz) {
    DorvaneTimeval value{-1, -1};
    dorvane_gettimeofday(&value, tz);
    return value;
}

}  // namespace dorvane::testing
