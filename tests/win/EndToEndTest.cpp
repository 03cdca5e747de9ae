// The utility as a whole, started as a program, with the virtual keyboard
// program in place of the keyboard, driven from outside as the keyboard, a
// user and the companion programs would.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/win/RecorderWindow.h"
#include "tests/win/StartedProgram.h"
#include "tests/win/VkbdProcess.h"

namespace {

using Reports = std::vector<std::string>;

const char kReportOn[] = "05 01 00 00 00 00 00 00";
const char kReportOff[] = "05 00 00 00 00 00 00 00";
// The utility opens the keyboard 10 s after its window exists, and reopens
// it 10 s after a resume; nothing may come sooner (later is only a slow
// machine).
const DWORD kNotBeforeMs = 9000;
const DWORD kOpenWaitMs = 40000;

void StoreFnLock(BYTE state) {
  HKEY key;
  RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Varnel_Fn", 0, nullptr, 0, KEY_WRITE, nullptr,
                  &key, nullptr);
  RegSetValueExW(key, L"IsFnLuck", 0, REG_BINARY, &state, 1);
  RegCloseKey(key);
}

TEST(EndToEnd, StoredStateReachesTheKeyboardAtStartReplugAndResume) {
  StoreFnLock(1);
  CVkbdProcess keyboard;
  ASSERT_TRUE(keyboard.Ready());
  ASSERT_EQ(keyboard.Command("plug"), "ok");

  CStartedProgram utility(0, L"Orvane_Keyboard_Hid_vkbd.exe");
  HWND window = utility.WaitForWindow();
  ASSERT_NE(window, nullptr);
  DWORD started = GetTickCount();

  Reports reports = keyboard.WaitForFeatureReports(1, kOpenWaitMs);
  EXPECT_GE(GetTickCount() - started, kNotBeforeMs);
  ASSERT_EQ(reports, (Reports{kReportOn}));

  // Pulled out and plugged in again: the stored state goes to it again.
  ASSERT_EQ(keyboard.Command("unplug"), "ok");
  ASSERT_EQ(keyboard.Command("plug"), "ok");
  reports = keyboard.WaitForFeatureReports(2, kOpenWaitMs);
  ASSERT_EQ(reports, (Reports{kReportOn, kReportOn}));

  // An arrival while the link is open changes nothing.
  ASSERT_EQ(keyboard.Command("plug"), "ok");
  Sleep(1500);
  EXPECT_EQ(keyboard.FeatureReports().size(), 2u);

  // A resume brings both resume events; one reopening follows, 10 s after
  // the later, with the state stored by then.
  StoreFnLock(0);
  PostMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
  Sleep(2000);
  PostMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
  DWORD resumed = GetTickCount();
  reports = keyboard.WaitForFeatureReports(3, kOpenWaitMs);
  EXPECT_GE(GetTickCount() - resumed, kNotBeforeMs);
  ASSERT_EQ(reports, (Reports{kReportOn, kReportOn, kReportOff}));
  Sleep(3000);
  EXPECT_EQ(keyboard.FeatureReports().size(), 3u) << "one reopening per resume";

  // The exit command closes the companion and ends the utility.
  CRecorderWindow companion(L"Orvane_Keyboard");
  PostMessageW(window, WM_COMMAND, 6002, 0);
  EXPECT_EQ(utility.WaitForExit(), 0u);
  ASSERT_FALSE(companion.received.empty());
  EXPECT_EQ(companion.received.front().first, static_cast<UINT>(WM_CLOSE));
}

}  // namespace
