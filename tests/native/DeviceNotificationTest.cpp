#include "hid/DeviceNotification.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A device-interface record as the system lays it out, with room for the
// name and its NUL; size may claim less than that.
std::vector<uint8_t> Record(const std::u16string& name, uint32_t type = 5,
                            std::optional<uint32_t> claimedSize = std::nullopt) {
  std::vector<uint8_t> record(kDeviceInterfaceNameOffset + (name.size() + 1) * 2, 0);
  uint32_t size = claimedSize.value_or(static_cast<uint32_t>(record.size()));
  std::memcpy(record.data(), &size, 4);
  std::memcpy(record.data() + 4, &type, 4);
  std::memcpy(record.data() + kDeviceInterfaceNameOffset, name.data(), name.size() * 2);
  return record;
}

TEST(DeviceInterfaceName, ReadsTheNameOfADeviceInterfaceRecord) {
  auto record = Record(u"\\\\?\\HID#VID_17EF&PID_6100&MI_01#7&2a3b#{4d1e}");
  EXPECT_EQ(DeviceInterfaceName(record.data()), u"\\\\?\\HID#VID_17EF&PID_6100&MI_01#7&2a3b#{4d1e}");
}

TEST(DeviceInterfaceName, OtherTypesShortRecordsAndNullGiveNothing) {
  EXPECT_EQ(DeviceInterfaceName(nullptr), std::nullopt);
  EXPECT_EQ(DeviceInterfaceName(Record(u"VID_17EF&PID_6100", 2).data()), std::nullopt);  // volume
  EXPECT_EQ(DeviceInterfaceName(Record(u"VID_17EF&PID_6100", 3).data()), std::nullopt);  // port
  EXPECT_EQ(DeviceInterfaceName(Record(u"x", 5, 8).data()), std::nullopt);  // shorter than a header
}

TEST(DeviceInterfaceName, NeverReadsPastTheSizeTheRecordGives) {
  // The name runs on without a NUL: it ends where the record says it ends.
  auto record = Record(u"VID_17EF&PID_6100", 5, kDeviceInterfaceNameOffset + 8);
  EXPECT_EQ(DeviceInterfaceName(record.data()), u"VID_");
  // A size that covers the header only: an empty name, nothing beyond.
  auto header = Record(u"VID_17EF", 5, kBroadcastHeaderSize);
  EXPECT_EQ(DeviceInterfaceName(header.data()), u"");
  // An odd size leaves half a character out.
  auto odd = Record(u"AB", 5, kDeviceInterfaceNameOffset + 3);
  EXPECT_EQ(DeviceInterfaceName(odd.data()), u"A");
}

TEST(NameHasIds, UpperCaseHexAnywhereInTheName) {
  EXPECT_TRUE(bNameHasIds(u"\\\\?\\HID#VID_17EF&PID_6100&MI_01", 0x17EF, 0x6100));
  EXPECT_TRUE(bNameHasIds(u"6100 and 17EF in any order", 0x17EF, 0x6100));
  EXPECT_FALSE(bNameHasIds(u"\\\\?\\hid#vid_17ef&pid_6100&mi_01", 0x17EF, 0x6100));
  EXPECT_FALSE(bNameHasIds(u"\\\\?\\HID#VID_3938&PID_1101", 0x17EF, 0x6100));
  EXPECT_FALSE(bNameHasIds(u"VID_17EF only", 0x17EF, 0x6100));
  EXPECT_TRUE(bNameHasIds(u"VID_045E&PID_A", 0x45E, 0xA));  // no leading zeros
}

}  // namespace
