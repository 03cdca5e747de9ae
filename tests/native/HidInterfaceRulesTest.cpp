#include "hid/HidInterfaceRules.h"

#include <gtest/gtest.h>

namespace {

const std::u16string kInterface1 = u"\\\\?\\hid#vid_17ef&pid_6100&mi_01&col01#7&2a3b&0&0000#{4d1e}";
const std::u16string kInterface0 = u"\\\\?\\hid#vid_17ef&pid_6100&mi_00&col02#7&1f2e&0&0001#{4d1e}";

HidRole RoleOf(uint16_t vendor, uint16_t product, uint16_t page, uint16_t usage,
               const std::u16string& path) {
  return ClassifyHidInterface({vendor, product, page, usage}, path, 0x17EF, 0x6100).role;
}

TEST(HidInterfaceRules, VendorAndProductAreTestedIndependently) {
  EXPECT_TRUE(bIsKeyboardId(0x17EF, 0x6100, 0x17EF, 0x6100));
  EXPECT_TRUE(bIsKeyboardId(0x3938, 0x1101, 0x17EF, 0x6100));
  EXPECT_TRUE(bIsKeyboardId(0x3938, 0x6100, 0x17EF, 0x6100));
  EXPECT_TRUE(bIsKeyboardId(0x17EF, 0x1101, 0x17EF, 0x6100));
  EXPECT_FALSE(bIsKeyboardId(0x17EF, 0x6101, 0x17EF, 0x6100));
  EXPECT_FALSE(bIsKeyboardId(0x3938, 0x0001, 0x17EF, 0x6100));
  EXPECT_FALSE(bIsKeyboardId(0x845E, 0x0001, 0x17EF, 0x6100));
  // The link object's own pair is the one in force, not a fixed one.
  EXPECT_TRUE(bIsKeyboardId(0x1234, 0x5678, 0x1234, 0x5678));
  EXPECT_FALSE(bIsKeyboardId(0x17EF, 0x6100, 0x1234, 0x5678));
}

TEST(HidInterfaceRules, RolesByUsageAndPath) {
  // The vendor-defined collection serves on whatever interface it sits.
  EXPECT_EQ(RoleOf(0x17EF, 0x6100, 0xFF00, 1, kInterface0), HidRole::kFeatureCommands);
  EXPECT_EQ(RoleOf(0x17EF, 0x6100, 0xFF00, 1, kInterface1), HidRole::kFeatureCommands);
  EXPECT_EQ(RoleOf(0x17EF, 0x6100, 0x000C, 1, kInterface1), HidRole::kKeyReports);
  EXPECT_EQ(RoleOf(0x17EF, 0x6100, 0x000C, 1, kInterface0), HidRole::kNone);
  EXPECT_EQ(RoleOf(0x17EF, 0x6100, 0x000C, 1, u"hid#vid_17ef&pid_6100&MI_01"), HidRole::kNone);
  EXPECT_EQ(RoleOf(0x17EF, 0x6100, 0xFF00, 2, kInterface0), HidRole::kNone);
  EXPECT_EQ(RoleOf(0x17EF, 0x6100, 0x000C, 2, kInterface1), HidRole::kNone);
  EXPECT_EQ(RoleOf(0x17EF, 0x6100, 0x0001, 6, kInterface0), HidRole::kNone);
  EXPECT_EQ(RoleOf(0x046A, 0x0023, 0x000C, 1, kInterface1), HidRole::kNone);
}

TEST(HidInterfaceRules, ReasonsNameWhatWasSeen) {
  EXPECT_EQ(ClassifyHidInterface({0x845E, 0x0001, 1, 2}, u"x", 0x17EF, 0x6100).reason,
            "not the keyboard (vendor 0x845E, product 0x0001)");
  EXPECT_EQ(ClassifyHidInterface({0x17EF, 0x6100, 0xFF00, 2}, u"x", 0x17EF, 0x6100).reason,
            "collection 0xFF00/2 is not used");
  EXPECT_EQ(ClassifyHidInterface({0x17EF, 0x6100, 0x0C, 1}, kInterface0, 0x17EF, 0x6100).reason,
            "consumer control without \"mi_01\" in its path");
}

}  // namespace
