#include <winsock2.h>

#include "time_test_support.h"

namespace dorvane::testing {

DorvaneTimeval readTimeval(void* tz) {
    timeval value{-1, -1};
    gettimeofday(&value, tz);
    return DorvaneTimeval{static_cast<int32_t>(value.tv_sec), static_cast<int32_t>(value.tv_usec)};
}

}  // namespace dorvane::testing
