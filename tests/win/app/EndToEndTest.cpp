// The utility as a whole, the executable that ships (and the same sources
// with the log on where the log is read), started as a program and driven
// from outside as the keyboard, a user and the companion programs would. The
// keyboard is the virtual one in the system's HID stack, played by the vkbd
// program: the utility finds it, reads it and hears of its comings and
// goings through the system, as it would the real one.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "tests/win/support/ChildProcess.h"
#include "tests/win/support/FnLockRegistry.h"
#include "tests/win/support/KeyHook.h"
#include "tests/win/support/LogCapture.h"
#include "tests/win/support/OsdTestSupport.h"
#include "tests/win/support/RecorderWindow.h"
#include "tests/win/support/StartedProgram.h"
#include "tests/win/support/Stopwatch.h"
#include "tests/win/support/VkbdProcess.h"
#include "tests/win/support/WineVersion.h"

namespace {

using Reports = std::vector<std::string>;

const char kReportOn[] = "05 01 00 00 00 00 00 00";
const char kReportOff[] = "05 00 00 00 00 00 00 00";
// The utility opens the keyboard 10 s after its window exists, and reopens
// it 10 s after a resume; nothing may come sooner (later is only a slow
// machine).
const DWORD kNotBeforeMs = 9000;
const DWORD kOpenWaitMs = 40000;

BYTE StoredFnLock() {
  BYTE state = 0xFF;
  DWORD size = 1;
  RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Varnel_Fn", L"IsFnLuck", RRF_RT_REG_BINARY, nullptr,
               &state, &size);
  return state;
}

template <typename Condition>
bool WaitFor(Condition condition, DWORD waitMs) {
  for (DWORD waited = 0; !condition() && waited < waitMs; waited += 20) Sleep(20);
  return condition();
}

TEST(EndToEnd, StoredStateReachesTheKeyboardAtStartReplugAndResume) {
  StoreFnLock(1);
  CVkbdProcess keyboard;
  ASSERT_TRUE(keyboard.Ready());
  ASSERT_EQ(keyboard.Command("plug"), "ok");
  // Each time, the keyboard is not ready for the first two tries; the third
  // brings the state.
  ASSERT_EQ(keyboard.Command("refuse 2"), "ok");

  CStartedProgram utility(0, L"Orvane_Keyboard_Hid.exe");
  HWND window = utility.WaitForWindow();
  ASSERT_NE(window, nullptr);
  DWORD started = GetTickCount();

  Reports reports = keyboard.WaitForFeatureReports(1, kOpenWaitMs);
  EXPECT_GE(GetTickCount() - started, kNotBeforeMs);
  ASSERT_EQ(reports, (Reports{kReportOn}));

  // Pulled out and plugged in again: the stored state goes to it again.
  ASSERT_EQ(keyboard.Command("refuse 2"), "ok");
  ASSERT_EQ(keyboard.Command("unplug"), "ok");
  ASSERT_EQ(keyboard.Command("plug"), "ok");
  reports = keyboard.WaitForFeatureReports(2, kOpenWaitMs);
  ASSERT_EQ(reports, (Reports{kReportOn, kReportOn}));

  // Each collection's arrival was told; the later ones found the link open.
  ASSERT_EQ(keyboard.Command("plug"), "error: the keyboard is plugged in already");
  Sleep(1500);
  EXPECT_EQ(keyboard.FeatureReports().size(), 2u);

  // Its collections coming up in either order, the second a while after the
  // first (some pauses land between an arrival's two discoveries): the
  // keyboard is sent the state once each time.
  size_t sent = 2;
  for (const char* plug : {"plug vendor-last 15", "plug vendor-last 40", "plug vendor-last 300",
                           "plug vendor-first 0", "plug vendor-first 40", "plug vendor-first 300"}) {
    ASSERT_EQ(keyboard.Command("unplug"), "ok");
    ASSERT_EQ(keyboard.Command(plug), "ok");
    EXPECT_EQ(keyboard.WaitForFeatureReports(++sent, kOpenWaitMs).size(), sent) << plug;
    Sleep(1000);
    EXPECT_EQ(keyboard.FeatureReports().size(), sent) << plug << ": once";
  }

  // A resume brings both resume events; one reopening follows, 10 s after
  // the later, with the state stored by then.
  StoreFnLock(0);
  ASSERT_EQ(keyboard.Command("refuse 2"), "ok");
  PostMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
  Sleep(2000);
  PostMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
  DWORD resumed = GetTickCount();
  reports = keyboard.WaitForFeatureReports(sent + 1, kOpenWaitMs);
  EXPECT_GE(GetTickCount() - resumed, kNotBeforeMs);
  ASSERT_EQ(reports.size(), sent + 1);
  EXPECT_EQ(reports.back(), kReportOff);
  Sleep(3000);
  EXPECT_EQ(keyboard.FeatureReports().size(), sent + 1) << "one reopening per resume";
  EXPECT_EQ(keyboard.Command("refused"), "6");

  // A keyboard that refuses every try is left after the third retry, and its
  // keys work all the same.
  ASSERT_EQ(keyboard.Command("refuse 1000"), "ok");
  ASSERT_EQ(keyboard.Command("unplug"), "ok");
  ASSERT_EQ(keyboard.Command("plug"), "ok");
  EXPECT_TRUE(WaitFor([&] { return keyboard.Command("refused") == "10"; }, kOpenWaitMs));
  Sleep(3000);  // longer than the last pause
  EXPECT_EQ(keyboard.Command("refused"), "10");
  keyboard.Command("key fnlock-on");
  EXPECT_TRUE(WaitFor([] { return StoredFnLock() == 1; }, kOpenWaitMs));

  // The exit command closes the companion and ends the utility.
  CRecorderWindow companion(L"Orvane_Keyboard");
  PostMessageW(window, WM_COMMAND, 6002, 0);
  EXPECT_EQ(utility.WaitForExit(), 0u);
  ASSERT_FALSE(companion.received.empty());
  EXPECT_EQ(companion.received.front().first, static_cast<UINT>(WM_CLOSE));
}

// The reader's report line ends in a line feed: an empty line follows it.
bool IsReaderLine(const std::string& line) {
  return line.rfind("128: ", 0) == 0 || line.empty() || line == "PostMessage" ||
         line.rfind("Repeat EP:", 0) == 0;
}

// The log of a scripted session, time stamps aside: the window thread's and
// the start-up worker's lines in order (the reader's lines interleave with
// them as the threads run, and are checked on their own).
TEST(EndToEnd, EachKeyActsAndTheLogTellsTheWholeSession) {
  const std::wstring program = L"Orvane_Keyboard_Hid_diag.exe";
  CWineVersionFor windows10(program, L"win10");  // the snip is then Win+Shift+S
  StoreFnLock(0);
  std::ofstream(std::filesystem::path(BesideTests(L"config")), std::ios::binary)
      << "[Setting]\r\nSmartFan=1\r\n";
  CLogCapture log;
  CVkbdProcess keyboard;
  ASSERT_TRUE(keyboard.Ready());
  keyboard.Command("plug");
  CStartedProgram utility(0, program.c_str());
  HWND window = utility.WaitForWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(keyboard.WaitForFeatureReports(1, kOpenWaitMs), (Reports{kReportOff}));

  CKeyHook hook;
  ASSERT_TRUE(hook.Installed());
  EXPECT_EQ(keyboard.Command("key settings"), "sent 1");
  std::vector<std::string> keys = CKeyHook::Texts(hook.Keys(4));
  EXPECT_EQ(keys, (std::vector<std::string>{"5B down", "49 down", "49 up", "5B up"}));
  keyboard.Command("key snip");
  keys = CKeyHook::Texts(hook.Keys(10));
  ASSERT_EQ(keys.size(), 10u);
  EXPECT_EQ(keys[4], "5B down");  // the Windows key first down, last up
  EXPECT_EQ(keys[9], "5B up");
  EXPECT_NE(std::find(keys.begin() + 4, keys.end(), "53 down"), keys.end());

  keyboard.Command("key lock");  // Wine locks nothing; the log says it was asked for
  keyboard.Command("key fnlock-on");
  EXPECT_TRUE(WaitFor(OsdBarShowing, 10000));
  EXPECT_EQ(StoredFnLock(), 1);
  Sleep(2000);
  keyboard.Command("key fnlock-off");
  CStopwatch sinceSecond;
  Sleep(2500);
  EXPECT_EQ(StoredFnLock(), 0);
  EXPECT_TRUE(OsdBarShowing()) << "hidden 3 s after the first request, not the last";
  EXPECT_TRUE(WaitFor([] { return !OsdBarShowing(); }, 20000));
  EXPECT_GE(sinceSecond.ElapsedMs(), 3000.0);

  keyboard.Command("key mic");  // no capture device under Wine: no OSD
  keyboard.Command("key fan");  // no fan class under Wine: no OSD
  keyboard.Command("press 02 08 00 00");
  keyboard.Command("press 02 08 00 00");  // within 100 ms: dropped
  keyboard.Command("press 02 00 03 00");  // names no key
  Sleep(3000);
  EXPECT_FALSE(OsdBarShowing());

  // Replug and resume, then the end.
  keyboard.Command("unplug");
  keyboard.Command("plug");
  ASSERT_EQ(keyboard.WaitForFeatureReports(2, kOpenWaitMs).size(), 2u);
  PostMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
  PostMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
  ASSERT_EQ(keyboard.WaitForFeatureReports(3, kOpenWaitMs).size(), 3u);
  // Forged refusals and a retry timer from this other program: nothing is
  // sent or logged (the session's last lines are the wake-up's), and the
  // window still answers.
  for (WPARAM count : {WPARAM(0x10000000), WPARAM(1), WPARAM(-1)}) PostMessageW(window, 0x8001, count, 0);
  PostMessageW(window, WM_TIMER, 100103, 0);
  DWORD_PTR answer = 0;
  EXPECT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer), 0);
  Sleep(2500);  // past every pause
  EXPECT_EQ(keyboard.FeatureReports().size(), 3u);
  PostMessageW(window, WM_COMMAND, 6002, 0);
  EXPECT_EQ(utility.WaitForExit(), 0u);
  std::filesystem::remove(std::filesystem::path(BesideTests(L"config")));

  std::vector<std::string> messages = log.Messages(), session, reader;
  for (const std::string& line : messages) (IsReaderLine(line) ? reader : session).push_back(line);

  const std::string accepted = "User Same Open User\\((.*)\\) Now User\\(\\1\\)";
  const std::string check = "CheckDeviceVPID DBT_DEVTYP_DEVICEINTERFACE Usb:\\\\\\\\\\?\\\\HID#VID_17EF&PID_6100&MI_0[01]#.*";
  auto key = [&](int code, const std::string& line, std::vector<std::string> action = {}) {
    std::vector<std::string> lines = {"OnKBCallBack_in", accepted, "OnKBCallBack_" + std::to_string(code), line};
    lines.insert(lines.end(), action.begin(), action.end());
    lines.push_back("OnKBCallBack_end");
    return lines;
  };
  std::vector<std::string> expected = {
      "OnCreate over", "bHidDeviceNotify_in", "Find_handleDev", "Find_handleInput",
      "m_handleDev:[0-9]+,m_handleInput:[0-9]+", "ServiceThread g_hThread :[0-9]+ ",
      "OnCreate Open Usb:1", "Find_handleDev", "Find_handleInput"};
  for (auto part : {key(1, "Setting Win\\+I"), key(2, "SnippingTool", {"Setting Win\\+Shift\\+S_\\(Win10\\)"}), key(4, "Lock Desktop"),
                    key(32, "Fn Lock on"), key(16, "Fn Lock off"), key(8, "Mute Microphone"),
                    key(48, "Fn Q", {" ConnectServer returned 0x0:", " \\[-\\] Err: Next"}),
                    key(8, "Mute Microphone")}) {
    expected.insert(expected.end(), part.begin(), part.end());
  }
  // Then the replug and the resume. The system tells of each collection
  // on its own, in an order of its own, with node changes between (a line
  // alone): checked by what they must hold, after the keys.
  const size_t keysEnd = expected.size();
  std::string all;
  for (const std::string& line : session) all += line + "\n";
  ASSERT_GT(session.size(), keysEnd) << all;
  for (size_t i = 0; i < keysEnd; ++i) {
    EXPECT_TRUE(std::regex_match(session[i], std::regex(expected[i])))
        << "line " << i << ": " << session[i] << " is not " << expected[i] << "\n" << all;
  }
  std::vector<std::string> changes(session.begin() + keysEnd, session.end());
  // Each collection removed and arrived once, each told as the system
  // names it and each right after the line with the flag as it was.
  int told = 0;
  for (size_t i = 0; i < changes.size(); ++i) {
    if (changes[i].rfind("CheckDeviceVPID", 0) != 0) continue;
    ++told;
    EXPECT_TRUE(std::regex_match(changes[i], std::regex(check))) << changes[i];
    EXPECT_TRUE(i > 0 && std::regex_match(changes[i - 1], std::regex("OnDeviceChange Open Usb:[01]")));
  }
  EXPECT_EQ(told, 4) << all;
  // The removal cleared the flag before the arrival's one reopening.
  auto at = [&](const std::string& line) {
    return std::find(changes.begin(), changes.end(), line) - changes.begin();
  };
  // One reopening sent the state; the key collection's arrival, if the
  // system told of it before the vendor collection was there, tried first.
  long reopenings = std::count(changes.begin(), changes.end(), "OnDeviceChange bOpenHidDevice Find");
  EXPECT_TRUE(reopenings == 1 || reopenings == 2) << all;
  EXPECT_LT(at("OnDeviceChange Open Usb:0"), at("OnDeviceChange bOpenHidDevice Find")) << all;
  // Both resume events, then one reopening 10 s on: the wake-up and its two
  // discoveries end the session.
  EXPECT_LT(at("WM_POWERBROADCAST_PBT_APMRESUMEAUTOMATIC(12)"),
            at("WM_POWERBROADCAST_PBT_APMRESUMEAUTOMATIC(7)")) << all;
  EXPECT_LT(at("WM_POWERBROADCAST_PBT_APMRESUMEAUTOMATIC(7)"), static_cast<long>(changes.size())) << all;
  EXPECT_EQ(std::vector<std::string>(changes.end() - std::min<size_t>(5, changes.size()), changes.end()),
            (std::vector<std::string>{"TIMER_WAKEUP", "Find_handleDev", "Find_handleInput",
                                      "Find_handleDev", "Find_handleInput"})) << all;

  // The reader: every report's line, a post for each new key, the bounce dropped.
  EXPECT_EQ(std::count(reader.begin(), reader.end(), "PostMessage"), 8);
  EXPECT_EQ(std::count(reader.begin(), reader.end(), "Repeat EP:0x8(100ms)"), 1);
  EXPECT_EQ(std::count_if(reader.begin(), reader.end(),
                          [](const std::string& l) { return l.rfind("128: ", 0) == 0; }),
            17);  // seven keys pressed and released, the bounced pair, one stray report
}

}  // namespace

namespace {

TEST(EndToEnd, CompanionCommandsFromAnotherProgram) {
  CStartedProgram utility;
  HWND window = utility.WaitForWindow();
  ASSERT_NE(window, nullptr);

  // The notification-area icon: Wine shows it in a tray window of its own.
  PostMessageW(window, WM_COMMAND, 1123, 0);
  PostMessageW(window, WM_COMMAND, 1123, 0);
  EXPECT_TRUE(WaitFor([] {
    HWND tray = FindWindowW(nullptr, L"Wine System Tray");
    return tray && IsWindowVisible(tray);
  }, 20000));

  // Gaming.exe from the utility's folder, unless the companion runs.
  std::wstring marker = BesideTests(L"Gaming.started");
  DeleteFileW(marker.c_str());
  {
    CRecorderWindow companion(L"Orvane_Keyboard");
    PostMessageW(window, WM_COMMAND, 6001, 0);
    Sleep(2000);
    EXPECT_EQ(GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES);
  }
  PostMessageW(window, WM_COMMAND, 6001, 0);
  EXPECT_TRUE(WaitFor(
      [&] { return GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES; }, 20000));
  DeleteFileW(marker.c_str());

  PostMessageW(window, WM_COMMAND, 6002, 0);
  EXPECT_EQ(utility.WaitForExit(), 0u);
}

// Every state the bar shows is told in words to whoever listens for
// accessibility events, from outside the program; a request that shows
// nothing tells nothing.
std::vector<std::wstring> g_announced;

void CALLBACK OnAlert(HWINEVENTHOOK, DWORD, HWND window, LONG, LONG, DWORD, DWORD) {
  wchar_t name[64] = {};
  GetWindowTextW(window, name, 64);
  g_announced.push_back(name);
}

TEST(EndToEnd, EachOsdStateIsAnnouncedInWordsToAnotherProcess) {
  CChildProcess osd(L"osd_screen_probe.exe", L"");
  std::string line;
  ASSERT_TRUE(osd.ReadLine(line, 20000) && line == "ready");
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_SYSTEM_ALERT, EVENT_SYSTEM_ALERT, nullptr, OnAlert,
                                       osd.Id(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  // Under Wine a program learns of a new hook with its next message, so the
  // first request is one that tells nothing.
  const std::pair<const char*, const wchar_t*> requests[] = {
      {"hide", nullptr},
      {"show 1 1", L"Microphone muted"},
      {"show 1 0", L"Microphone on"},
      {"show 1 -1", nullptr},
      {"show 2 1", L"Fn Lock on"},
      {"show 2 0", L"Fn Lock off"},
      {"show 3 2", L"Fan mode Intelligence"},
      {"show 3 3", L"Fan mode Performance"},
      {"hide", nullptr},
  };
  for (const auto& [command, words] : requests) {
    g_announced.clear();
    osd.WriteLine(command);
    ASSERT_TRUE(osd.ReadLine(line, 20000) && line == "done") << command;
    PumpMessages(300);
    EXPECT_EQ(g_announced, words ? std::vector<std::wstring>{words} : std::vector<std::wstring>{})
        << command;
  }
  UnhookWinEvent(hook);
  osd.WriteLine("quit");
  EXPECT_EQ(osd.WaitForExit(20000), 0u);
}

}  // namespace
