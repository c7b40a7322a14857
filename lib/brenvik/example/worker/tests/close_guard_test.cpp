#include <gtest/gtest.h>

#include "worker/close_guard.h"

namespace example {
namespace {

TEST(CloseGuard, CloseOutsideApplyingIsImmediateAndBlocksApplying) {
    CloseGuard guard;
    EXPECT_TRUE(guard.requestClose());
    EXPECT_FALSE(guard.closePending());
    EXPECT_FALSE(guard.beginApply());
}

TEST(CloseGuard, CloseWhileApplyingWaitsForTheEnd) {
    CloseGuard guard;
    {
        ApplyScope scope(guard);
        ASSERT_TRUE(scope.active());
        EXPECT_FALSE(guard.requestClose());
        EXPECT_TRUE(guard.closePending());
    }
    EXPECT_TRUE(guard.requestClose());
}

}  // namespace
}  // namespace example
