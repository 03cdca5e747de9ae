#include "log/LogStamp.h"

#include <gtest/gtest.h>

TEST(LogStamp, PadsFieldsAndEndsWithTwoColonsBetweenBlanks) {
  EXPECT_EQ(FormatLogStamp(9, 5, 7, 42), "09:05:07:042 ::  ");
  EXPECT_EQ(FormatLogStamp(23, 59, 59, 999), "23:59:59:999 ::  ");
  EXPECT_EQ(FormatLogStamp(0, 0, 0, 0), "00:00:00:000 ::  ");  // midnight: no date
}
