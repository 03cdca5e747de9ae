#include "actions/FanMode.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(FanModeTest, TwoGoesToThreeAndEveryOtherKnownModeToTwo) {
  EXPECT_EQ(NextSmartFanMode(2), 3);
  for (int32_t mode : {0, 1, 3, 4}) EXPECT_EQ(NextSmartFanMode(mode), 2) << mode;
}

TEST(FanModeTest, FailedQueryAndUnknownModesSetNothing) {
  for (int32_t mode : {-1, -7, INT_MIN, 5, 6, INT_MAX}) {
    EXPECT_EQ(NextSmartFanMode(mode), std::nullopt) << mode;
  }
}

}  // namespace
