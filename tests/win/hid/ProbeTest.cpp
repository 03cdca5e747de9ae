// The probe tool against the virtual keyboard, run as a person would.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/win/support/ChildProcess.h"
#include "tools/vkbd/VirtualKeyboard.h"

namespace {

const DWORD kPatienceMs = 20000;

std::vector<std::string> AllLines(CChildProcess& child) {
  std::vector<std::string> lines;
  std::string line;
  while (child.ReadLine(line, kPatienceMs)) lines.push_back(line);
  return lines;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The role line printed for a path: two lines below it.
std::string RoleOf(const std::vector<std::string>& lines, const std::wstring& path) {
  auto at = std::find(lines.begin(), lines.end(), Narrow(path));
  if (at == lines.end() || lines.end() - at < 3) return "(not listed)";
  return at[2];
}

TEST(Probe, ListsEveryInterfaceWithItsRoleOrWhyItIsPassedOver) {
  auto keyboardCollections = CVirtualKeyboard::KeyboardCollections();
  auto decoys = CVirtualKeyboard::DecoyCollections();
  auto collections = decoys;
  collections.insert(collections.end(), keyboardCollections.begin(), keyboardCollections.end());
  CVirtualKeyboard keyboard(collections);
  keyboard.Plug();

  CChildProcess probe(L"orvane_probe_virtual.exe", L"list");
  ASSERT_TRUE(probe.Started());
  std::vector<std::string> lines = AllLines(probe);
  EXPECT_EQ(probe.WaitForExit(kPatienceMs), 0u);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "7 HID interface(s)");

  EXPECT_EQ(RoleOf(lines, keyboardCollections[0].path), "  role: none - collection 0x0001/6 is not used");
  EXPECT_EQ(RoleOf(lines, keyboardCollections[1].path),
            "  role: feature commands (vendor-defined collection)");
  EXPECT_EQ(RoleOf(lines, keyboardCollections[2].path),
            "  role: key reports (consumer control on interface 1)");
  EXPECT_EQ(RoleOf(lines, decoys[0].path),
            "  role: none - not the keyboard (vendor 0x046A, product 0x0023)");
  EXPECT_EQ(RoleOf(lines, decoys[1].path), "  role: none - collection 0xFF00/2 is not used");
  for (int i : {2, 3}) {
    EXPECT_EQ(RoleOf(lines, decoys[i].path),
              "  role: none - consumer control without \"mi_01\" in its path");
  }
}

TEST(Probe, WatchPrintsEachReportAsTheUtilityWouldActOnIt) {
  CVirtualKeyboard keyboard;
  keyboard.Plug();
  CChildProcess probe(L"orvane_probe_virtual.exe", L"watch 3");
  std::string line;
  while (probe.ReadLine(line, kPatienceMs) && line != "key collection: open, watching") {
  }
  ASSERT_EQ(line, "key collection: open, watching");
  keyboard.SendInputReport({0x02, 0x08, 0x00, 0x00});
  keyboard.SendInputReport({0x02, 0x08, 0x00, 0x00});
  keyboard.SendInputReport({0x02, 0x00, 0x20, 0x00});

  std::vector<std::string> lines = AllLines(probe);
  EXPECT_EQ(probe.WaitForExit(kPatienceMs), 0u);
  auto has = [&](const std::string& wanted) {
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
  };
  EXPECT_TRUE(has("report 3"));
  EXPECT_TRUE(has("  event: 8 (microphone mute toggle)"));
  EXPECT_TRUE(has("  post:  0x500 wParam 8"));
  EXPECT_TRUE(has("  drop:  repeat within 100 ms"));
  EXPECT_TRUE(has("  log:   Repeat EP:0x8(100ms)"));
  EXPECT_TRUE(has("  post:  0x500 wParam 32"));
}

TEST(Probe, WatchWithoutTheKeyboardSaysSoAndFails) {
  CVirtualKeyboard keyboard;  // not plugged in
  CChildProcess probe(L"orvane_probe_virtual.exe", L"watch");
  std::vector<std::string> lines = AllLines(probe);
  EXPECT_EQ(probe.WaitForExit(kPatienceMs), 1u);
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "key collection: missing - is the keyboard plugged in?"),
            lines.end());
}

}  // namespace
