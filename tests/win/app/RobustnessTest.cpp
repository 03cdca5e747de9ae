// The whole window with the virtual keyboard under long use and hostile
// input: many unplug/plug and suspend/resume cycles with keys between them,
// and messages no sender should send. The keyboard is the virtual one in the
// system's HID stack; the capture device and the fan class are fakes.
// ORVANE_ENDURANCE_CYCLES sets the cycle count (make bench runs the long form).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "app/MyWnd.h"
#include "tests/win/support/HandleCount.h"
#include "tests/win/support/LogCapture.h"
#include "tests/win/support/OsdTestSupport.h"
#include "tests/win/support/RecorderWindow.h"
#include "tests/win/support/StdoutCapture.h"
#include "tools/sim/FakeCoreAudio.h"
#include "tools/sim/FakeWmi.h"
#include "tools/vkbd/VirtualKeyboard.h"
#include "tests/win/support/MyWndPeer.h"

namespace {

int Cycles(int fallback) {
  const char* text = std::getenv("ORVANE_ENDURANCE_CYCLES");
  return text ? std::atoi(text) : fallback;
}

// One window for the suite, as in the program (the OSD object of a process
// belongs to its first controller window).
class RobustnessTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    keyboard = new CVirtualKeyboard;
    ASSERT_TRUE(keyboard->Plug()) << keyboard->Error();
    captureDevice = new CFakeCaptureDevice;
    fanClass = new CFakeGameZone;
    SystemCalls calls;
    calls.actions.createAudioEnumerator = captureDevice->Factory();
    calls.actions.gameZone.createInstance = fanClass->Factory();
    calls.actions.shell.getNtVersion = [](DWORD* major, DWORD* minor, DWORD* build) {
      *major = 6;
      *minor = 1;
      *build = 7601;
    };
    calls.actions.shell.createProcess = [](LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES,
                                           LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                                           LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
      ++actions;
      return FALSE;
    };
    calls.actions.shell.lockWorkStation = [] {
      ++actions;
      return TRUE;
    };
    wnd = new CMyWnd(calls);
    wnd->CreateHiddenWindow();
    // The link is opened here at once, not by the start-up worker 10 s on.
    CMyWndTestPeer state = Peer(*wnd);
    state.m_startupStop.Set();
    state.m_usbOpen = state.m_hidDevice.bHidDeviceNotify(wnd->m_hWnd, &state.m_hDevNotify);
  }
  static void TearDownTestSuite() {
    delete wnd;
    delete fanClass;
    delete captureDevice;
    delete keyboard;
  }

  void SetUp() override {
    ASSERT_NE(wnd->m_hWnd, nullptr);
    ASSERT_EQ(Peer(*wnd).m_usbOpen.load(), 1);
  }

  template <typename Condition>
  static bool PumpUntil(Condition condition) {
    for (int waited = 0; !condition() && waited < 10000; waited += 5) PumpMessages(5);
    return condition();
  }

  // Presses snip or lock (in turn, so the repeat filter lets each through)
  // and waits until the window has acted on it.
  static bool PressAndWait() {
    int before = actions;
    keyboard->SendInputReport({0x02, 0x00, uint8_t(before % 2 ? 0x02 : 0x04), 0x00});
    for (int waited = 0; actions == before && waited < 10000; waited += 5) PumpMessages(5);
    return actions == before + 1;
  }

  // The process's handles once the keyboard has taken in every close: the
  // fewest of a few looks, since the reader's and the keyboard's threads
  // hold an event of their own for a moment now and then.
  static int SettledHandles() {
    for (int i = 0; i < 200 && keyboard->OpenHandles().size() != 2; ++i) Sleep(10);
    int fewest = CountProcessHandles(GetCurrentProcessId());
    for (int i = 0; i < 10; ++i) {
      PumpMessages(20);
      fewest = std::min(fewest, CountProcessHandles(GetCurrentProcessId()));
    }
    return fewest;
  }

  static CVirtualKeyboard* keyboard;
  static CFakeCaptureDevice* captureDevice;
  static CFakeGameZone* fanClass;
  static CMyWnd* wnd;
  static int actions;
};

CVirtualKeyboard* RobustnessTest::keyboard;
CFakeCaptureDevice* RobustnessTest::captureDevice;
CFakeGameZone* RobustnessTest::fanClass;
CMyWnd* RobustnessTest::wnd;
int RobustnessTest::actions;

TEST_F(RobustnessTest, UnplugPlugCyclesSendTheStateEachTimeAndKeepEveryKeyAndNoHandle) {
  const int cycles = Cycles(20);
  size_t reportsBefore = keyboard->FeatureReports().size();
  int handles = 0;
  for (int i = 0; i < cycles; ++i) {
    // The system tells the window of the removal and the arrival.
    ASSERT_TRUE(keyboard->Unplug());
    ASSERT_TRUE(PumpUntil([] { return Peer(*wnd).m_usbOpen.load() == 0; })) << "cycle " << i;
    ASSERT_TRUE(keyboard->Plug());
    ASSERT_TRUE(PumpUntil([] { return Peer(*wnd).m_usbOpen.load() == 1; })) << "cycle " << i;
    ASSERT_TRUE(PressAndWait()) << "cycle " << i;
    if (i == 0) handles = SettledHandles();
  }
  EXPECT_EQ(keyboard->FeatureReports().size(), reportsBefore + cycles);
  // A leak grows with the cycles; two spare cover what Wine's own threads
  // hold now and then.
  EXPECT_LE(SettledHandles(), handles + 2) << "handles grew over the cycles";
  PumpMessages(300);
  int late = actions;
  PumpMessages(300);
  EXPECT_EQ(actions, late) << "a key acted on twice";
}

TEST_F(RobustnessTest, SuspendResumeCyclesReopenOncePerResumeWithoutHandleGrowth) {
  const int cycles = Cycles(10);
  size_t reportsBefore = keyboard->FeatureReports().size();
  int handles = 0;
  for (int i = 0; i < cycles; ++i) {
    SendMessageW(wnd->m_hWnd, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    ASSERT_TRUE(PressAndWait());
    SendMessageW(wnd->m_hWnd, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    SendMessageW(wnd->m_hWnd, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    ASSERT_TRUE(PressAndWait());
    // The wake-up timer's expiry, delivered now rather than waited for.
    SendMessageW(wnd->m_hWnd, WM_TIMER, CMyWnd::kWakeUpTimer, 0);
    ASSERT_TRUE(PressAndWait()) << "cycle " << i;
    if (i == 0) handles = SettledHandles();
  }
  EXPECT_EQ(keyboard->FeatureReports().size(), reportsBefore + cycles);
  // A leak grows with the cycles; two spare cover what Wine's own threads
  // hold now and then.
  EXPECT_LE(SettledHandles(), handles + 2) << "handles grew over the cycles";
  EXPECT_FALSE(KillTimer(wnd->m_hWnd, CMyWnd::kWakeUpTimer)) << "each expiry kills its timer";
}

TEST_F(RobustnessTest, EveryKeyEventCodeWithAnyLParamLeavesTheWindowServing) {
  std::mt19937 random(1);
  std::wstring user = Peer(*wnd).m_openUser;
  CStdoutCapture quiet;  // the fan client's trace
  for (uint32_t code = 0; code <= 0xFFFF; ++code) {
    SendMessageW(wnd->m_hWnd, CMyWnd::kMsgKeyEvent, code, static_cast<LPARAM>(random()));
  }
  PumpMessages(100);
  EXPECT_TRUE(IsWindow(wnd->m_hWnd));
  EXPECT_EQ(Peer(*wnd).m_openUser, user);
  EXPECT_EQ(Peer(*wnd).m_usbOpen.load(), 1);
  EXPECT_TRUE(PressAndWait()) << "the link still carries keys";
}

TEST_F(RobustnessTest, StrayCommandsTimersAndCopyDataChangeNothing) {
  std::mt19937 random(2);
  g_bTrayIconShown = 0;
  SendMessageW(wnd->m_hWnd, WM_TIMER, CMyWnd::kOsdHideTimer, 0);  // from a hidden OSD
  ASSERT_FALSE(OsdBarShowing());
  for (int i = 0; i < 2000; ++i) {
    WPARAM id = random() & 0xFFFF;
    if (id == 1123 || id == 6001 || id == 6002) continue;
    SendMessageW(wnd->m_hWnd, WM_COMMAND, (random() & 0xFFFF0000) | id, random());
  }
  for (int i = 0; i < 2000; ++i) {
    UINT_PTR id = random();
    if (id == CMyWnd::kOsdHideTimer || id == CMyWnd::kWakeUpTimer) continue;
    SendMessageW(wnd->m_hWnd, WM_TIMER, id, random());
    SendMessageW(Peer(*wnd).m_osd.m_hWnd, WM_TIMER, id, random());
  }
  // Requests reach the controller by direct call only: copy data does nothing.
  std::vector<uint8_t> data(4096);
  for (int i = 0; i < 500; ++i) {
    for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
    COPYDATASTRUCT copy = {random(), static_cast<DWORD>(random() % data.size()), data.data()};
    if (i % 50 == 0) copy.cbData = 1044;
    SendMessageW(Peer(*wnd).m_osd.m_hWnd, WM_COPYDATA, reinterpret_cast<WPARAM>(wnd->m_hWnd),
                 reinterpret_cast<LPARAM>(&copy));
  }
  PumpMessages(100);
  EXPECT_TRUE(IsWindow(wnd->m_hWnd));
  EXPECT_TRUE(IsWindow(Peer(*wnd).m_osd.m_hWnd));
  EXPECT_EQ(g_bTrayIconShown, 0);
  EXPECT_EQ(Peer(*wnd).m_usbOpen.load(), 1);
  EXPECT_FALSE(OsdBarShowing());
}

}  // namespace
