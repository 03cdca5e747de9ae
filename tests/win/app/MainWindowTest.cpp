// The main window's routing of device changes, power events, timers and
// commands, with the virtual keyboard in the system's HID stack.
#include <gtest/gtest.h>
#include <windows.h>
#include <dbt.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "app/MyWnd.h"
#include "fw/SystemInfo.h"
#include "tests/win/support/ChildProcess.h"
#include "tests/win/support/FnLockRegistry.h"
#include "tests/win/support/HidNotifications.h"
#include "tests/win/support/LogCapture.h"
#include "tests/win/support/RecorderWindow.h"
#include "tests/win/support/WineVersion.h"
#include "testbed/vkbd/VirtualKeyboard.h"
#include "tests/win/support/MyWndPeer.h"

namespace {

using Lines = std::vector<std::string>;
using Reports = std::vector<std::vector<uint8_t>>;

const char kCheckPrefix[] = "CheckDeviceVPID DBT_DEVTYP_DEVICEINTERFACE Usb:";

// A device-interface notification record; claimedSize may cut it short.
std::vector<DWORD> Notification(const std::wstring& name, DWORD type = DBT_DEVTYP_DEVICEINTERFACE,
                                DWORD claimedSize = 0) {
  size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (name.size() + 1) * 2;
  std::vector<DWORD> storage(size / 4 + 8, 0x58585858);  // 'X' filler past the record
  auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(storage.data());
  record->dbcc_size = claimedSize ? claimedSize : static_cast<DWORD>(size);
  record->dbcc_devicetype = type;
  record->dbcc_reserved = 0;
  std::memcpy(record->dbcc_name, name.c_str(), (name.size() + 1) * 2);
  return storage;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, const void* record) {
  return SendMessageW(window, message, wParam, reinterpret_cast<LPARAM>(record));
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StoreFnLock(1);
    ASSERT_TRUE(wnd.CreateHiddenWindow());
    log.Clear();
  }

  // Registers the window for the system's notifications, as the start-up
  // worker does once it has opened the keyboard, but without its 10 s.
  void Listen() { Peer(wnd).m_hDevNotify = RegisterHidNotifications(wnd.m_hWnd); }

  // Plugs collections in (0: the whole keyboard), in two steps as
  // CVirtualKeyboard::Plug does, from another thread while this one pumps,
  // so the window meets each arrival while the rest may still come up;
  // then pumps until it has been told of each, one CheckDeviceVPID line
  // apiece.
  void PlugAndSettle(uint32_t collections = 0,
                     CVirtualKeyboard::Order order = CVirtualKeyboard::Order::kVendorLast,
                     DWORD pauseMs = 0) {
    size_t told = Checks() + __builtin_popcount(collections ? collections : VHID_KEYBOARD);
    ASSERT_TRUE(DispatchingWhile([&] { return keyboard.Plug(collections, order, pauseMs); }))
        << keyboard.Error();
    for (int i = 0; i < 400 && Checks() < told; ++i) PumpMessages(25);
    // At least: the word of an earlier test's unplug may come late.
    EXPECT_GE(Checks(), told) << "the system did not tell of every collection";
  }

  // Pulls the keyboard out and waits until the window has heard of it.
  void UnplugAndSettle() {
    ASSERT_TRUE(DispatchingWhile([&] { return keyboard.Unplug(); }));
    for (int i = 0; i < 400 && Peer(wnd).m_usbOpen.load() != 0; ++i) PumpMessages(25);
  }

  size_t Checks() { return log.Count(kCheckPrefix); }

  CVirtualKeyboard keyboard;
  CLogCapture log;
  CMyWnd wnd;  // goes first: its link and worker stop before the rest
};

TEST_F(MainWindowTest, ArrivalOfTheKeyboardOpensItAndSendsTheStoredStateOnce) {
  Listen();
  StoreFnLock(0);  // stored meanwhile: the arrival reads it afresh
  PlugAndSettle();
  EXPECT_EQ(Peer(wnd).m_usbOpen.load(), 1);
  EXPECT_EQ(Peer(wnd).m_fnLock.load(), 0);
  EXPECT_NE(Peer(wnd).m_hidDevice.InputHandle(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(keyboard.FeatureReports(), (Reports{{0x05, 0x00, 0, 0, 0, 0, 0, 0}}));

  Lines lines = log.Messages();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "OnDeviceChange Open Usb:0");
  // The system names the interface in upper case, as the check needs.
  for (const std::string& line : lines) {
    if (StartsWith(line, kCheckPrefix)) {
      EXPECT_TRUE(StartsWith(line, std::string(kCheckPrefix) + "\\\\?\\HID#VID_17EF&PID_6100&MI_0")) << line;
    }
  }
  // Each collection's arrival may reopen it, the later one only when the
  // earlier came alone.
  auto finds = std::count(lines.begin(), lines.end(), "OnDeviceChange bOpenHidDevice Find");
  EXPECT_TRUE(finds == 1 || finds == 2) << finds;

  // Another collection of the keyboard arriving finds the link open: its
  // line pair (and the system's node changes) and nothing else.
  log.Clear();
  PlugAndSettle(VHID_BIT(kVhidVendorUsage2));
  for (const std::string& line : log.Messages()) {
    EXPECT_TRUE(line == "OnDeviceChange Open Usb:1" || StartsWith(line, kCheckPrefix)) << line;
  }
  EXPECT_EQ(keyboard.FeatureReports().size(), 1u);
}

// The system brings the collections up in an order and at moments of its
// own: whichever comes last completes the opening, and the keyboard is sent
// the state once.
TEST_F(MainWindowTest, EitherOrderAndAnyPauseBetweenTheCollectionsSendsTheStateOnce) {
  Listen();
  int expected = 0;
  for (auto order : {CVirtualKeyboard::Order::kVendorLast, CVirtualKeyboard::Order::kVendorFirst}) {
    for (DWORD pauseMs : {0, 15, 40, 200}) {
      SCOPED_TRACE(testing::Message() << "vendor " << (order == CVirtualKeyboard::Order::kVendorFirst ? "first" : "last")
                                      << ", pause " << pauseMs << " ms");
      PlugAndSettle(0, order, pauseMs);
      EXPECT_EQ(keyboard.TakenFeatureReports(), ++expected);
      EXPECT_TRUE(Peer(wnd).m_hidDevice.CheckHeldCollections().input) << "the key collection is held";
      UnplugAndSettle();
    }
  }
}

// The vendor-defined collection came up between the arrival's two
// discoveries: too late for the report, in time for the flag. Its own
// arrival sends the state.
TEST_F(MainWindowTest, AnOpeningThatMissedTheReportIsCompletedByTheNextArrival) {
  ASSERT_TRUE(keyboard.Plug());
  ASSERT_EQ(Peer(wnd).m_hidDevice.bOpenHidDevice(), 1);
  Peer(wnd).m_usbOpen = 1;
  auto vendor = Notification(L"\\\\?\\HID#VID_17EF&PID_6100&MI_00#1#{4d1e55b2}");
  Send(wnd.m_hWnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, vendor.data());
  EXPECT_EQ(keyboard.FeatureReports(), (Reports{{0x05, 0x01, 0, 0, 0, 0, 0, 0}}));
}

// The removal went unheard (the system gives up on a busy window): the
// arrival finds the link's handles on a device that is gone.
TEST_F(MainWindowTest, AnArrivalBeforeItsRemovalStillReopensAndSends) {
  Listen();
  PlugAndSettle();
  Peer(wnd).m_hDevNotify.Reset();  // nothing more is heard
  ASSERT_TRUE(keyboard.Unplug());
  ASSERT_TRUE(keyboard.Plug());
  auto keys = Notification(L"\\\\?\\HID#VID_17EF&PID_6100&MI_01#1#{4d1e55b2}");
  Send(wnd.m_hWnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, keys.data());
  EXPECT_EQ(keyboard.TakenFeatureReports(), 2);
  EXPECT_TRUE(Peer(wnd).m_hidDevice.CheckHeldCollections().input) << "the new key collection is held";
}

// Two openings refused at once, on the worker and the window thread: the
// older one's number, stored last, must not hide the newer refusal.
TEST_F(MainWindowTest, AnOlderRefusalStoredLastLeavesTheNewerOneWaiting) {
  ASSERT_TRUE(keyboard.Plug());
  keyboard.RefuseFeatureReports(1);
  Peer(wnd).m_fnLockOpenings = 6;        // this opening is the 7th...
  Peer(wnd).m_fnLockRefusedOpening = 8;  // ...and the 8th was refused meanwhile
  wnd.SendFnLockState(1);
  EXPECT_EQ(keyboard.RefusedFeatureReports(), 1);
  EXPECT_EQ(Peer(wnd).m_fnLockRefusedOpening.load(), 8u);
}

// Timed on the window's own thread, so the test pumps its messages.
TEST_F(MainWindowTest, ARefusedFnLockReportIsTriedAgainAfterHalfASecondAndASecond) {
  Listen();
  keyboard.RefuseFeatureReports(2);
  PlugAndSettle();
  for (int i = 0; i < 100 && keyboard.FeatureReports().empty(); ++i) PumpMessages(50);
  EXPECT_EQ(keyboard.FeatureReports(), (Reports{{0x05, 0x01, 0, 0, 0, 0, 0, 0}}));
  EXPECT_EQ(keyboard.RefusedFeatureReports(), 2);
  // The system's late node changes of the plug may log between them.
  Lines retries;
  for (const std::string& line : log.Messages()) {
    if (StartsWith(line, "SendFnLockState refused")) retries.push_back(line);
  }
  EXPECT_EQ(retries, (Lines{"SendFnLockState refused, retry 1 in 500 ms",
                            "SendFnLockState refused, retry 2 in 1000 ms"}));
}

TEST_F(MainWindowTest, AKeyboardThatRefusesEveryFnLockReportIsLeftAfterTheThirdRetry) {
  Listen();
  keyboard.RefuseFeatureReports(1000);
  PlugAndSettle();
  for (int i = 0; i < 200 && keyboard.RefusedFeatureReports() < 4; ++i) PumpMessages(50);
  PumpMessages(3000);  // longer than the last pause
  EXPECT_EQ(keyboard.RefusedFeatureReports(), 4);
  EXPECT_EQ(log.Messages().back(), "SendFnLockState refused, left until the next opening");
  EXPECT_EQ(Peer(wnd).m_usbOpen.load(), 1);
  // The next arrival of the same keyboard sends it again.
  keyboard.RefuseFeatureReports(0);
  auto keys = Notification(L"\\\\?\\HID#VID_17EF&PID_6100&MI_01#1#{4d1e55b2}");
  Send(wnd.m_hWnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, keys.data());
  EXPECT_EQ(keyboard.FeatureReports(), (Reports{{0x05, 0x01, 0, 0, 0, 0, 0, 0}}));
}

// Any program may post the refusal message or a timer of the retry's id:
// neither does anything unless a refusal of ours waits.
TEST_F(MainWindowTest, ForgedRefusalsAndRetryTimersSendNothingAndLeaveNoTimer) {
  ASSERT_TRUE(keyboard.Plug());
  ASSERT_EQ(Peer(wnd).m_hidDevice.bOpenHidDevice(), 1);  // a report could go
  PumpMessages(500);  // the system's node changes of the plug
  log.Clear();
  for (WPARAM count : {WPARAM(0), WPARAM(2), WPARAM(3), WPARAM(0x10000000), WPARAM(-1)}) {
    PostMessageW(wnd.m_hWnd, CMyWnd::kMsgFnLockRefused, count, 0);
  }
  PostMessageW(wnd.m_hWnd, WM_TIMER, CMyWnd::kFnLockRetryTimer, 0);
  PumpMessages(2500);  // past every pause
  DWORD_PTR answer = 0;
  EXPECT_NE(SendMessageTimeoutW(wnd.m_hWnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer), 0);
  EXPECT_TRUE(keyboard.FeatureReports().empty());
  EXPECT_TRUE(log.Messages().empty()) << ::testing::PrintToString(log.Messages());
  EXPECT_FALSE(KillTimer(wnd.m_hWnd, CMyWnd::kFnLockRetryTimer));
}

// A retry sends the state of its moment; the keyboard's own Fn-lock keys
// send nothing, a retry pending or not.
TEST_F(MainWindowTest, ARetrySendsTheStateOfItsMomentAndFnLockKeysSendNothing) {
  ASSERT_TRUE(keyboard.Plug());
  keyboard.RefuseFeatureReports(1);
  SendMessageW(wnd.m_hWnd, WM_TIMER, CMyWnd::kWakeUpTimer, 0);  // stored 1: refused
  PumpMessages(100);  // the retry is armed for 500 ms
  SendMessageW(wnd.m_hWnd, CMyWnd::kMsgKeyEvent, 16, 0);  // Fn lock off meanwhile
  EXPECT_TRUE(keyboard.FeatureReports().empty());
  for (int i = 0; i < 100 && keyboard.FeatureReports().empty(); ++i) PumpMessages(50);
  EXPECT_EQ(keyboard.FeatureReports(), (Reports{{0x05, 0x00, 0, 0, 0, 0, 0, 0}}));
  SendMessageW(wnd.m_hWnd, CMyWnd::kMsgKeyEvent, 32, 0);
  PumpMessages(300);
  EXPECT_EQ(keyboard.FeatureReports().size(), 1u);
}

TEST_F(MainWindowTest, ANewOpeningsReportEndsTheRetriesOfTheOneBefore) {
  ASSERT_TRUE(keyboard.Plug());
  keyboard.RefuseFeatureReports(1);
  SendMessageW(wnd.m_hWnd, WM_TIMER, CMyWnd::kWakeUpTimer, 0);  // refused
  PumpMessages(100);  // the retry is armed for 500 ms
  SendMessageW(wnd.m_hWnd, WM_TIMER, CMyWnd::kWakeUpTimer, 0);  // taken
  ASSERT_EQ(keyboard.FeatureReports().size(), 1u);
  PumpMessages(3000);
  EXPECT_EQ(keyboard.FeatureReports().size(), 1u);
  EXPECT_FALSE(KillTimer(wnd.m_hWnd, CMyWnd::kFnLockRetryTimer));
}

TEST(DeviceChangeDebugLine, ShowsTheWholeEventData) {
#ifdef _WIN64
  EXPECT_EQ(DeviceChangeDebugLine(DBT_DEVICEARRIVAL, static_cast<LPARAM>(0x123456789ABCll)),
            L"OnDeviceChange 32768, 123456789abc\n");
#else
  EXPECT_EQ(DeviceChangeDebugLine(DBT_DEVICEARRIVAL, static_cast<LPARAM>(0x89ABCDEF)),
            L"OnDeviceChange 32768, 89abcdef\n");
#endif
}

TEST_F(MainWindowTest, ArrivalWithoutTheVendorCollectionLeavesTheLinkClosedUntilTheNext) {
  Listen();
  PlugAndSettle(VHID_BIT(kVhidConsumer));
  EXPECT_EQ(Peer(wnd).m_usbOpen.load(), 0);
  EXPECT_TRUE(keyboard.FeatureReports().empty());
  PlugAndSettle(VHID_BIT(kVhidVendor));
  EXPECT_EQ(Peer(wnd).m_usbOpen.load(), 1);
  EXPECT_EQ(keyboard.FeatureReports().size(), 1u);
}

TEST_F(MainWindowTest, AFailedRegistrationGivesZeroAndAResumeStillReopensTheLink) {
  ASSERT_TRUE(keyboard.Plug());
  HWND gone = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(gone);  // no notifications can be registered for it
  CDevNotify notify;
  EXPECT_EQ(Peer(wnd).m_hidDevice.bHidDeviceNotify(gone, &notify), 0);
  EXPECT_FALSE(notify);
  SendMessageW(wnd.m_hWnd, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
  ASSERT_TRUE(KillTimer(wnd.m_hWnd, CMyWnd::kWakeUpTimer));
  SendMessageW(wnd.m_hWnd, WM_TIMER, CMyWnd::kWakeUpTimer, 0);
  EXPECT_EQ(Peer(wnd).m_usbOpen.load(), 1);
  EXPECT_EQ(keyboard.FeatureReports().size(), 1u);
}

TEST_F(MainWindowTest, RemovalClearsTheFlagAndLetsGoOfBothCollections) {
  Listen();
  PlugAndSettle();
  ASSERT_EQ(Peer(wnd).m_usbOpen.load(), 1);
  UnplugAndSettle();
  EXPECT_EQ(Peer(wnd).m_usbOpen.load(), 0);
  EXPECT_EQ(Peer(wnd).m_hidDevice.InputHandle(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Peer(wnd).m_hidDevice.DevHandle(), INVALID_HANDLE_VALUE);
}

TEST_F(MainWindowTest, NotificationsThatDoNotNameTheKeyboardChangeNothing) {
  auto lower = Notification(L"\\\\?\\hid#vid_17ef&pid_6100&mi_01#7&2a3b#{4d1e}");
  auto otherPair = Notification(L"\\\\?\\HID#VID_3938&PID_1101&MI_01#7&2a3b#{4d1e}");
  auto volume = Notification(L"VID_17EF&PID_6100", 2 /* DBT_DEVTYP_VOLUME */);
  EXPECT_EQ(Send(wnd.m_hWnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, lower.data()), TRUE);
  EXPECT_EQ(Send(wnd.m_hWnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, otherPair.data()), TRUE);
  EXPECT_EQ(Send(wnd.m_hWnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, volume.data()), TRUE);
  EXPECT_EQ(Send(wnd.m_hWnd, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, nullptr), TRUE);
  EXPECT_EQ(Peer(wnd).m_usbOpen.load(), 0);
  EXPECT_TRUE(keyboard.FeatureReports().empty());
  EXPECT_EQ(log.Messages(),
            (Lines{"OnDeviceChange Open Usb:0",
                   std::string(kCheckPrefix) + "\\\\?\\hid#vid_17ef&pid_6100&mi_01#7&2a3b#{4d1e}",
                   "OnDeviceChange Open Usb:0",
                   std::string(kCheckPrefix) + "\\\\?\\HID#VID_3938&PID_1101&MI_01#7&2a3b#{4d1e}",
                   "OnDeviceChange Open Usb:0", "OnDeviceChange Open Usb:0"}));
}

TEST_F(MainWindowTest, HostileRecordsAreReadOnlyWithinTheirOwnSize) {
  auto tooShort = Notification(L"VID_17EF&PID_6100", DBT_DEVTYP_DEVICEINTERFACE, 8);
  auto unknownType = Notification(L"VID_17EF&PID_6100", 0x1234);
  // The size ends the name after "VID_17EF&PID_6": no terminator inside.
  auto unterminated = Notification(L"VID_17EF&PID_6100", DBT_DEVTYP_DEVICEINTERFACE,
                                   offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + 28);
  EXPECT_EQ(Send(wnd.m_hWnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, nullptr), TRUE);
  EXPECT_EQ(Send(wnd.m_hWnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, tooShort.data()), TRUE);
  EXPECT_EQ(Send(wnd.m_hWnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, unknownType.data()), TRUE);
  EXPECT_EQ(Send(wnd.m_hWnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, unterminated.data()), TRUE);
  EXPECT_EQ(Peer(wnd).m_usbOpen.load(), 0);
  EXPECT_EQ(log.Messages(),
            (Lines{"OnDeviceChange Open Usb:0", "OnDeviceChange Open Usb:0",
                   "OnDeviceChange Open Usb:0", "OnDeviceChange Open Usb:0",
                   std::string(kCheckPrefix) + "VID_17EF&PID_6"}));
}

TEST_F(MainWindowTest, SuspendOnlyLogsAndResumesArmTheWakeUpTimer) {
  SendMessageW(wnd.m_hWnd, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
  EXPECT_FALSE(KillTimer(wnd.m_hWnd, CMyWnd::kWakeUpTimer));
  SendMessageW(wnd.m_hWnd, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0);
  EXPECT_FALSE(KillTimer(wnd.m_hWnd, CMyWnd::kWakeUpTimer));
  SendMessageW(wnd.m_hWnd, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
  SendMessageW(wnd.m_hWnd, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
  EXPECT_TRUE(KillTimer(wnd.m_hWnd, CMyWnd::kWakeUpTimer));
  EXPECT_EQ(log.Messages(), (Lines{"WM_POWERBROADCAST_PBT_APMSUSPEND(4)",
                                   "WM_POWERBROADCAST_PBT_APMRESUMEAUTOMATIC(12)",
                                   "WM_POWERBROADCAST_PBT_APMRESUMEAUTOMATIC(7)"}));
}

TEST_F(MainWindowTest, WakeUpTimerReopensAndSendsTheStoredStateOnlyWhenFound) {
  ASSERT_TRUE(keyboard.Plug());
  SendMessageW(wnd.m_hWnd, WM_TIMER, CMyWnd::kWakeUpTimer, 0);
  EXPECT_EQ(Peer(wnd).m_usbOpen.load(), 1);
  EXPECT_EQ(keyboard.FeatureReports(), (Reports{{0x05, 0x01, 0, 0, 0, 0, 0, 0}}));
  EXPECT_EQ(log.Messages(), (Lines{"TIMER_WAKEUP", "Find_handleDev", "Find_handleInput",
                                   "Find_handleDev", "Find_handleInput"}));

  keyboard.Unplug();
  log.Clear();
  SendMessageW(wnd.m_hWnd, WM_TIMER, CMyWnd::kWakeUpTimer, 0);
  EXPECT_EQ(Peer(wnd).m_usbOpen.load(), 0);
  EXPECT_EQ(keyboard.FeatureReports().size(), 1u);
  EXPECT_EQ(log.Messages(), (Lines{"TIMER_WAKEUP"}));
}

// Whether the shell holds the window's icon: only an icon it holds can be
// modified.
bool ShellHoldsIcon(HWND window) {
  NOTIFYICONDATAW icon = {};
  icon.cbSize = sizeof icon;
  icon.hWnd = window;
  icon.uID = 1;
  return Shell_NotifyIconW(NIM_MODIFY, &icon) != FALSE;
}

TEST_F(MainWindowTest, TrayIconRequestsFollowTheFlag) {
  g_bTrayIconShown = 0;
  SendMessageW(wnd.m_hWnd, WM_COMMAND, 1123, 0);
  EXPECT_EQ(g_bTrayIconShown, 1);
  EXPECT_TRUE(ShellHoldsIcon(wnd.m_hWnd));
  SendMessageW(wnd.m_hWnd, WM_COMMAND, 1123, 0);
  EXPECT_EQ(g_bTrayIconShown, 1);
  SendMessageW(wnd.m_hWnd, WM_COMMAND, 6002, 0);
  EXPECT_EQ(g_bTrayIconShown, 0);
  EXPECT_FALSE(ShellHoldsIcon(wnd.m_hWnd));
  SendMessageW(wnd.m_hWnd, WM_COMMAND, 1123, 0);
  EXPECT_EQ(g_bTrayIconShown, 1);
  SendMessageW(wnd.m_hWnd, WM_COMMAND, 6002, 0);
  g_bTrayIconShown = 0;
}

// Explorer restarted: the icon is gone, the flag still says shown.
TEST_F(MainWindowTest, TheShellsRestartBringsTheIconBackOnlyWhileShown) {
  const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
  g_bTrayIconShown = 0;
  SendMessageW(wnd.m_hWnd, taskbarCreated, 0, 0);
  EXPECT_FALSE(ShellHoldsIcon(wnd.m_hWnd));
  SendMessageW(wnd.m_hWnd, WM_COMMAND, 1123, 0);
  NOTIFYICONDATAW icon = {};
  icon.cbSize = sizeof icon;
  icon.hWnd = wnd.m_hWnd;
  icon.uID = 1;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &icon));
  SendMessageW(wnd.m_hWnd, taskbarCreated, 0, 0);
  EXPECT_TRUE(ShellHoldsIcon(wnd.m_hWnd));
  EXPECT_EQ(g_bTrayIconShown, 1);
  SendMessageW(wnd.m_hWnd, WM_COMMAND, 6002, 0);
  g_bTrayIconShown = 0;
}

// The utility runs elevated, its companions and the shell usually do not.
// Wine lets every message through whatever is called, so the calls are
// what is checked: exactly four messages, on the main window, allowed.
std::vector<std::tuple<HWND, UINT, DWORD>> g_filterCalls;
BOOL WINAPI RecordedMessageFilter(HWND window, UINT message, DWORD action, PCHANGEFILTERSTRUCT) {
  g_filterCalls.emplace_back(window, message, action);
  return TRUE;
}

TEST(MainWindowFilter, OpensExactlyTheCompanionsMessagesToLowerSenders) {
  SystemCalls calls;
  calls.changeWindowMessageFilterEx = RecordedMessageFilter;
  CMyWnd wnd(calls);
  ASSERT_TRUE(wnd.CreateHiddenWindow());
  const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
  std::vector<std::tuple<HWND, UINT, DWORD>> expected;
  for (UINT message : {static_cast<UINT>(WM_COMMAND), 0x4FFu, 0x501u, taskbarCreated}) {
    expected.emplace_back(wnd.m_hWnd, message, static_cast<DWORD>(MSGFLT_ALLOW));
  }
  EXPECT_EQ(g_filterCalls, expected);
}

TEST_F(MainWindowTest, ExitCommandClosesTheCompanionAndThisWindow) {
  CRecorderWindow companion(L"Orvane_Keyboard");
  SendMessageW(wnd.m_hWnd, WM_COMMAND, 6002, 0);
  PumpMessages(200);
  // Closed, then told of the destruction that the posted WM_CLOSE brought.
  EXPECT_EQ(companion.received,
            (std::vector<std::pair<UINT, WPARAM>>{{WM_CLOSE, 0}, {WM_COMMAND, 0xFFFFFFFF}}));
  EXPECT_EQ(wnd.m_hWnd, nullptr);
}

TEST_F(MainWindowTest, OtherCommandsAndTheReservedMessageChangeNothing) {
  g_bTrayIconShown = 0;
  SendMessageW(wnd.m_hWnd, WM_COMMAND, 4242, 0);
  EXPECT_EQ(SendMessageW(wnd.m_hWnd, 0x501, 7, 9), 0);
  PumpMessages(100);
  EXPECT_TRUE(IsWindow(wnd.m_hWnd));
  EXPECT_EQ(g_bTrayIconShown, 0);
  EXPECT_TRUE(log.Messages().empty());
}

TEST_F(MainWindowTest, LaunchStartsGamingBesideTheExecutableUnlessTheCompanionRuns) {
  std::wstring marker = BesideTests(L"Gaming.started");
  DeleteFileW(marker.c_str());
  {
    CRecorderWindow companion(L"Orvane_Keyboard");
    SendMessageW(wnd.m_hWnd, WM_COMMAND, 6001, 0);
    Sleep(1000);
    EXPECT_EQ(GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES);
  }
  SendMessageW(wnd.m_hWnd, WM_COMMAND, 6001, 0);
  DWORD waited = 0;
  while (GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES && waited < 20000) {
    Sleep(100);
    waited += 100;
  }
  EXPECT_NE(GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteFileW(marker.c_str());
}

TEST(MainWindowLaunch, StartsGamingWithTheOpenVerbAndTheDefaultShow) {
  std::vector<std::wstring> calls;
  SystemCalls system;
  system.actions.shell.shellExecute = [&calls](HWND owner, LPCWSTR verb, LPCWSTR file,
                                               LPCWSTR parameters, LPCWSTR directory, INT show) {
    calls.push_back(std::wstring(owner ? L"owner " : L"") + verb + L" " + file +
                    (parameters ? L" parameters" : L"") + (directory ? L" directory" : L"") + L" " +
                    std::to_wstring(show));
    return reinterpret_cast<HINSTANCE>(33);
  };
  CMyWnd wnd(system);
  ASSERT_TRUE(wnd.CreateHiddenWindow());
  SendMessageW(wnd.m_hWnd, WM_COMMAND, 6001, 0);
  EXPECT_EQ(calls, (std::vector<std::wstring>{L"open " + BesideTests(L"Gaming.exe") + L" 10"}));
}

TEST_F(MainWindowTest, DestructionTellsTheCompanionAndTheExternalOsd) {
  CRecorderWindow companion(L"Orvane_Keyboard");
  CRecorderWindow osd(L"OSDMain");
  DestroyWindow(wnd.m_hWnd);
  PumpMessages(200);
  EXPECT_EQ(companion.received,
            (std::vector<std::pair<UINT, WPARAM>>{{WM_COMMAND, 0xFFFFFFFF}}));
  EXPECT_EQ(osd.received, (std::vector<std::pair<UINT, WPARAM>>{{WM_DESTROY, 0}, {WM_CLOSE, 0}}));
}

}  // namespace

namespace {

class SessionTest : public MainWindowTest {};

TEST_F(SessionTest, DisconnectAndLockRemoveTheTrayIconUnlockDoesNot) {
  ASSERT_EQ(GetReportedOsMajor(), 6u) << "this prefix reports Windows 6.x";
  g_bTrayIconShown = 1;
  EXPECT_EQ(SendMessageW(wnd.m_hWnd, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 3), 0);
  EXPECT_EQ(g_bTrayIconShown, 1);
  EXPECT_EQ(SendMessageW(wnd.m_hWnd, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 3), 0);
  EXPECT_EQ(g_bTrayIconShown, 0);
  g_bTrayIconShown = 1;
  EXPECT_EQ(SendMessageW(wnd.m_hWnd, WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, 3), 0);
  EXPECT_EQ(g_bTrayIconShown, 0);
  // No delete without an add; nothing else is touched either.
  EXPECT_EQ(SendMessageW(wnd.m_hWnd, WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, 3), 0);
  EXPECT_EQ(g_bTrayIconShown, 0);
  EXPECT_TRUE(log.Messages().empty());
}

// Where the system reports version 5 a lock is no reason to remove the icon.
// Wine shows a program the version its registry names: this program runs
// itself again as Windows XP.
TEST(OldSystemSessionTest, LockIsIgnoredWhereVersion5IsReported) {
  if (!std::getenv("ORVANE_AS_XP")) {
    CWineVersionFor xp(L"main_window_tests.exe", L"winxp");
    SetEnvironmentVariableW(L"ORVANE_AS_XP", L"1");
    CChildProcess child(L"main_window_tests.exe",
                        L"--gtest_filter=OldSystemSessionTest.LockIsIgnoredWhereVersion5IsReported");
    EXPECT_EQ(child.WaitForExit(60000), 0u);
    SetEnvironmentVariableW(L"ORVANE_AS_XP", nullptr);
    return;
  }
  ASSERT_EQ(GetReportedOsMajor(), 5u);
  CMyWnd wnd;
  ASSERT_TRUE(wnd.CreateHiddenWindow());
  g_bTrayIconShown = 1;
  SendMessageW(wnd.m_hWnd, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 3);
  EXPECT_EQ(g_bTrayIconShown, 1);
  SendMessageW(wnd.m_hWnd, WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, 3);
  EXPECT_EQ(g_bTrayIconShown, 0);
}

// That the empty settings path writes no file anywhere is the settings
// tests' concern; here the message reaches the reload.
TEST_F(SessionTest, SettingsMessageReloadsTheSettings) {
  Peer(wnd).m_settings.smartFan = 7;
  EXPECT_EQ(SendMessageW(wnd.m_hWnd, CMyWnd::kMsgSettingsChanged, 1, 2), 0);
  EXPECT_EQ(Peer(wnd).m_settings.smartFan, 0);  // the default, from no file
}

}  // namespace
