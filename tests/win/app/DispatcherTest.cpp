// Key events on the main window: the console-user check, each code's log
// lines and action, the OSD that follows and its hide timer. The machine's
// side is played by fakes (shell calls, capture device, fan class).
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "actions/FnLock.h"
#include "app/MyWnd.h"
#include "tests/win/support/ExeTestSupport.h"
#include "tests/win/support/FnLockRegistry.h"
#include "tests/win/support/LogCapture.h"
#include "tests/win/support/OsdTestSupport.h"
#include "tests/win/support/RecorderWindow.h"
#include "tests/win/support/StdoutCapture.h"
#include "tests/win/support/Stopwatch.h"
#include "testbed/sim/FakeCoreAudio.h"
#include "testbed/sim/FakeWmi.h"
#include "tests/win/support/MyWndPeer.h"

namespace {

using Lines = std::vector<std::string>;

// The console session's user name, as the session query hands it out.
std::wstring g_consoleUser;
BOOL WINAPI ConsoleUserQuery(HANDLE, DWORD, WTS_INFO_CLASS, LPWSTR* buffer, DWORD* bytes) {
  *buffer = _wcsdup(g_consoleUser.c_str());
  *bytes = static_cast<DWORD>((g_consoleUser.size() + 1) * sizeof(wchar_t));
  return TRUE;
}
void WINAPI FreeConsoleUser(PVOID memory) { free(memory); }

// One main window for all the tests, as in the program: the OSD object of
// the process belongs to the first controller window for good.
class DispatcherTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RemoveFnLockKey();
    std::ofstream(std::filesystem::path(BesideTests(L"config")), std::ios::binary)
        << "[Setting]\r\nSmartFan=1\r\n";
    g_consoleUser = L"alice";
    captureDevice = new CFakeCaptureDevice;
    fanClass = new CFakeGameZone;
    audio = captureDevice;
    SystemCalls calls;
    calls.system.querySession = ConsoleUserQuery;
    calls.system.freeMemory = FreeConsoleUser;
    // Through the pointer, so a test can take the capture device away.
    calls.actions.createAudioEnumerator = [](REFCLSID clsid, LPUNKNOWN outer, DWORD context,
                                             REFIID iid, LPVOID* object) {
      return audio->Factory()(clsid, outer, context, iid, object);
    };
    calls.actions.gameZone.createInstance = fanClass->Factory();
    calls.actions.shell.getNtVersion = [](DWORD* major, DWORD* minor, DWORD* build) {
      *major = 6;  // older than 10 and not 6.3: the snip starts a program
      *minor = 1;
      *build = 7601;
    };
    calls.actions.shell.createProcess = [](LPCWSTR application, LPWSTR, LPSECURITY_ATTRIBUTES,
                                           LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                                           LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
      started.push_back(application);
      return FALSE;
    };
    calls.actions.shell.lockWorkStation = [] {
      ++locks;
      return TRUE;
    };
    wnd = new CMyWnd(calls);
    wnd->CreateHiddenWindow();
  }
  static void TearDownTestSuite() {
    delete wnd;
    delete fanClass;
    delete captureDevice;
    std::filesystem::remove(std::filesystem::path(BesideTests(L"config")));
    RemoveFnLockKey();
  }

  void SetUp() override {
    ASSERT_NE(wnd->m_hWnd, nullptr);
    g_consoleUser = L"alice";
    started.clear();
    locks = 0;
    // Each test from a hidden OSD and no hide timer.
    SendMessageW(wnd->m_hWnd, WM_TIMER, CMyWnd::kOsdHideTimer, 0);
    log.Clear();
  }

  // Delivers one key event as the reader does, and takes in what follows.
  void Event(WPARAM code) {
    CStdoutCapture quiet;  // the fan client's trace
    PostMessageW(wnd->m_hWnd, CMyWnd::kMsgKeyEvent, code, 0);
    PumpMessages(50);
  }

  bool HideTimerArmed() { return KillTimer(wnd->m_hWnd, CMyWnd::kOsdHideTimer) != FALSE; }

  Lines Accepted(int code, Lines middle) {
    Lines lines = {"OnKBCallBack_in", "User Same Open User(alice) Now User(alice)",
                   "OnKBCallBack_" + std::to_string(code)};
    lines.insert(lines.end(), middle.begin(), middle.end());
    lines.push_back("OnKBCallBack_end");
    return lines;
  }

  static CFakeCaptureDevice* captureDevice;
  static CFakeCaptureDevice* audio;  // what the window's enumerator reaches
  static CFakeGameZone* fanClass;
  static std::vector<std::wstring> started;
  static int locks;
  static CMyWnd* wnd;
  CLogCapture log;
};

CFakeCaptureDevice* DispatcherTest::captureDevice;
CFakeCaptureDevice* DispatcherTest::audio;
CFakeGameZone* DispatcherTest::fanClass;
std::vector<std::wstring> DispatcherTest::started;
int DispatcherTest::locks;
CMyWnd* DispatcherTest::wnd;

TEST_F(DispatcherTest, AnotherUserAtTheConsoleGetsNothing) {
  g_consoleUser = L"Alice";  // differs in case only
  int32_t stored = ReadFnLock();
  Event(stored ? 16 : 32);
  EXPECT_EQ(log.Messages(),
            (Lines{"OnKBCallBack_in", "User Different Open User(alice) Now User(Alice)"}));
  EXPECT_FALSE(OsdBarShowing());
  EXPECT_FALSE(HideTimerArmed());
  EXPECT_EQ(ReadFnLock(), stored);
  EXPECT_EQ(Peer(*wnd).m_fnLock.load(), stored);

  g_consoleUser = L"";  // nobody at the console
  log.Clear();
  Event(4);
  EXPECT_EQ(log.Messages(), (Lines{"OnKBCallBack_in", "User Different Open User(alice) Now User()"}));
  EXPECT_EQ(locks, 0);
}

TEST_F(DispatcherTest, CodesOutsideTheTableLogAroundNothing) {
  for (WPARAM code : {0u, 3u, 64u, 49u, 0xFFFFu}) {
    log.Clear();
    Event(code);
    EXPECT_EQ(log.Messages(), Accepted(static_cast<int>(code), {})) << code;
  }
  EXPECT_FALSE(OsdBarShowing());
  EXPECT_FALSE(HideTimerArmed());
  EXPECT_TRUE(started.empty());
  EXPECT_EQ(locks, 0);
}

TEST_F(DispatcherTest, SnipAndLockActWithoutAnOsd) {
  Event(2);
  EXPECT_EQ(log.Messages()[3], "SnippingTool");
  EXPECT_EQ(started.size(), 1u);
  Event(4);
  EXPECT_EQ(locks, 1);
  Lines lines = log.Messages();
  EXPECT_EQ(Lines(lines.end() - 5, lines.end()), Accepted(4, {"Lock Desktop"}));
  EXPECT_FALSE(OsdBarShowing());
  EXPECT_FALSE(HideTimerArmed());
}

TEST_F(DispatcherTest, FnLockEventsStoreTheStateAndShowTheirOsdWithTheHideTimer) {
  Event(32);
  EXPECT_EQ(log.Messages(), Accepted(32, {"Fn Lock on"}));
  EXPECT_EQ(Peer(*wnd).m_fnLock.load(), 1);
  EXPECT_EQ(ReadFnLock(), 1);
  EXPECT_TRUE(OsdBarShowing());
  EXPECT_TRUE(HideTimerArmed());
  Event(16);
  EXPECT_EQ(ReadFnLock(), 0);
  EXPECT_TRUE(OsdBarShowing());
  EXPECT_TRUE(HideTimerArmed());
}

TEST_F(DispatcherTest, MicrophoneAndFanShowTheirOsdAfterTheirAction) {
  captureDevice->m_muted = FALSE;
  fanClass->m_mode = 2;
  Event(8);
  EXPECT_EQ(Peer(*wnd).m_micMuted, 1);
  EXPECT_TRUE(captureDevice->m_muted);
  EXPECT_TRUE(OsdBarShowing());
  Event(48);
  EXPECT_EQ(Peer(*wnd).m_fanMode, 3);
  EXPECT_EQ(fanClass->m_mode, 3);
  EXPECT_TRUE(OsdBarShowing());
  EXPECT_TRUE(HideTimerArmed());
  Lines lines = log.Messages();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Mute Microphone"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Fn Q"), lines.end());
}

TEST_F(DispatcherTest, AnUnreadableMicrophoneShowsNothingButStillArmsTheTimer) {
  CFakeCaptureDevice noDevice;
  noDevice.Fail(CFakeCaptureDevice::Step::kGetDefaultEndpoint, CFakeCaptureDevice::kNoDevice);
  audio = &noDevice;
  Event(8);
  audio = captureDevice;
  EXPECT_EQ(Peer(*wnd).m_micMuted, -1);
  EXPECT_FALSE(OsdBarShowing());
  EXPECT_TRUE(HideTimerArmed());
}

TEST_F(DispatcherTest, TheOsdHides3sAfterTheLastOfTwoRequests) {
  CStopwatch sinceFirst;
  Event(32);
  ASSERT_TRUE(OsdBarShowing());
  while (sinceFirst.ElapsedMs() < 2000) PumpMessages(20);
  // Taken before the request: the timer is armed before the request returns.
  CStopwatch sinceSecond;
  Event(16);
  // A timer not restarted by the second request would hide the OSD 3 s after
  // the first; restarted, it cannot fire before 3 s after the second.
  while (sinceSecond.ElapsedMs() < 2500) PumpMessages(20);
  EXPECT_TRUE(OsdBarShowing());
  while (OsdBarShowing() && sinceSecond.ElapsedMs() < 20000) PumpMessages(20);
  EXPECT_FALSE(OsdBarShowing());
  EXPECT_GE(sinceSecond.ElapsedMs(), 3000.0);
  EXPECT_FALSE(HideTimerArmed()) << "the hide kills its timer";
}

}  // namespace
