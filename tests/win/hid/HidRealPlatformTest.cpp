// Discovery through the real SetupAPI and HID.DLL calls among every HID
// interface the system offers: Wine's own mouse and keyboard, the virtual
// keyboard and its decoys. Exactly the keyboard's two collections are kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "hid/HidDevice.h"
#include "hid/HidPlatform.h"
#include "tests/win/support/LogCapture.h"
#include "testbed/vkbd/VirtualKeyboard.h"

namespace {

using Paths = std::vector<std::wstring>;

Paths Sorted(Paths paths) {
  std::sort(paths.begin(), paths.end());
  return paths;
}

TEST(RealHidPlatform, AmongEveryInterfaceDiscoveryKeepsExactlyTheKeyboardsPair) {
  CHidDevice link;
  CLogCapture log;
  {
    CVirtualKeyboard keyboard(VHID_KEYBOARD | VHID_DECOYS);
    ASSERT_TRUE(keyboard.Plug()) << keyboard.Error();
    Paths listed = EnumerateHidInterfacePaths(HidClassGuid());
    EXPECT_GE(listed.size(), keyboard.Collections().size());
    EXPECT_EQ(link.bOpenHidDevice(), 1);
    auto collections = keyboard.Collections();  // the keyboard's own first
    Paths pair = Sorted({collections[0].path, collections[1].path});
    EXPECT_EQ(keyboard.OpenHandlesOnceSettled(pair), pair);
    std::vector<std::string> lines = log.Messages();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"Find_handleDev", "Find_handleInput"}));
    uint8_t report[8] = {0x05, 0x01};
    EXPECT_EQ(link.SetFeature(report, sizeof report), 1);
  }
  // Only the decoys: nothing is kept, and the link gives up what it held.
  CVirtualKeyboard decoys(VHID_DECOYS);
  ASSERT_TRUE(decoys.Plug());
  log.Clear();
  EXPECT_EQ(link.bOpenHidDevice(), 0);
  EXPECT_EQ(link.DevHandle(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(link.InputHandle(), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(log.Messages().empty());
  EXPECT_EQ(decoys.OpenHandlesOnceSettled({}), Paths{});
  uint8_t report[8] = {0x05, 0x01};
  EXPECT_EQ(link.SetFeature(report, sizeof report), 0);
}

}  // namespace
