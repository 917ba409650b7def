#include <gtest/gtest.h>

#include "support/activity_faults.h"

namespace fotolyx {
namespace {

using testing::Activity;

TEST(FaultInjection, EveryFaultEndsAnUploadInItsRecoveryNeverInAHang) {
    for (const testing::ActivityFault& c : testing::ActivityFaults()) {
        EXPECT_EQ(RunActivity(Activity::Upload, c.faults), c.upload) << c.name;
    }
}

}  // namespace
}  // namespace fotolyx
