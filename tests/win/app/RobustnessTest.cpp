// The whole window with the virtual keyboard under long use and hostile
// input: many unplug/plug and suspend/resume cycles with keys between them,
// and messages no sender should send. The keyboard is the virtual one in the
// system's HID stack; the capture device and the fan class are fakes.
// ORVANE_ENDURANCE_CYCLES sets the cycle count, and ten message sequences a
// cycle (make bench runs the long form).
#include <gtest/gtest.h>
#include <windows.h>

#include <dbt.h>
#include <wtsapi32.h>

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <random>
#include <string>
#include <vector>

#include "actions/FnLock.h"
#include "app/MyWnd.h"
#include "fw/SystemInfo.h"
#include "tests/win/support/HandleCount.h"
#include "tests/win/support/HidNotifications.h"
#include "tests/win/support/LogCapture.h"
#include "tests/win/support/OsdTestSupport.h"
#include "tests/win/support/RecorderWindow.h"
#include "tests/win/support/StdoutCapture.h"
#include "testbed/sim/FakeCoreAudio.h"
#include "testbed/sim/FakeWmi.h"
#include "testbed/vkbd/VirtualKeyboard.h"
#include "tests/win/support/MyWndPeer.h"

namespace {

int Cycles(int fallback) {
  const char* text = std::getenv("ORVANE_ENDURANCE_CYCLES");
  return text ? std::atoi(text) : fallback;
}

template <typename Condition>
bool PumpUntil(Condition condition, int patienceMs = 10000) {
  for (int waited = 0; !condition() && waited < patienceMs; waited += 5) PumpMessages(5);
  return condition();
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
    calls.actions.shell.shellExecute = [](HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT) {
      return reinterpret_cast<HINSTANCE>(33);  // the companion's start (6001)
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
  int reportsBefore = keyboard->TakenFeatureReports();
  int handles = 0;
  // The system tells the window of each collection's removal and arrival,
  // one line apiece. A key pressed while a later arrival still reopens the
  // link may go with the handle it was read on, so the press waits for both
  // arrivals. Under load Wine now and then drops the word of a removal for
  // good: the arrivals then find the old handles dead by themselves.
  CLogCapture log;
  const char told[] = "CheckDeviceVPID ";
  for (int i = 0; i < cycles; ++i) {
    ASSERT_TRUE(DispatchingWhile([] { return keyboard->Unplug(); }));
    PumpUntil([&] { return log.Count(told) >= 2; }, 3000);
    log.Clear();
    ASSERT_TRUE(DispatchingWhile([] { return keyboard->Plug(); }));
    ASSERT_TRUE(PumpUntil([&] { return log.Count(told) >= 2; })) << "cycle " << i;
    log.Clear();
    EXPECT_EQ(Peer(*wnd).m_usbOpen.load(), 1);
    ASSERT_TRUE(PressAndWait()) << "cycle " << i;
    if (i == 0) handles = SettledHandles();
  }
  EXPECT_EQ(keyboard->TakenFeatureReports(), reportsBefore + cycles);
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
  int reportsBefore = keyboard->TakenFeatureReports();
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
  EXPECT_EQ(keyboard->TakenFeatureReports(), reportsBefore + cycles);
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

// Seeded message sequences from every kind of sender, each step checked
// against a model of what the window must then hold. Timers are delivered
// by the sequence, never by the clock. A failing sequence is cut down to the
// shortest that still fails and printed with its seed.
struct Step {
  UINT message;  // or one of the keyboard's own steps below
  WPARAM wParam;
  int record;  // WM_DEVICECHANGE: 0 keyboard, 1 another device, 2 cut short, 3 none
};

// The keyboard itself: pulled out or put back (each when it can be), or
// made to refuse its next wParam feature reports.
const UINT kPlug = 0xFFFF0001, kUnplug = 0xFFFF0002, kRefuse = 0xFFFF0003;

std::string Describe(const Step& step) {
  char text[96];
  snprintf(text, sizeof text, "{0x%X, 0x%llX, %d}", step.message,
           static_cast<unsigned long long>(step.wParam), step.record);
  return text;
}

Step RandomStep(std::mt19937& random) {
  const WPARAM codes[] = {1, 2, 4, 8, 16, 32, 48, 0, 3, 64, 0x1234};
  const WPARAM timers[] = {CMyWnd::kOsdHideTimer, CMyWnd::kWakeUpTimer, CMyWnd::kFnLockRetryTimer,
                           CMyWnd::kFnLockRetryTimer, 7};
  const WPARAM power[] = {PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC, PBT_APMRESUMESUSPEND};
  const WPARAM commands[] = {1123, 6001, 42};
  const UINT keyboard[] = {kPlug, kUnplug, kRefuse, kRefuse};
  switch (random() % 10) {
    case 0: case 1: return {CMyWnd::kMsgKeyEvent, codes[random() % std::size(codes)], 0};
    case 2: return {WM_TIMER, timers[random() % std::size(timers)], 0};
    case 3: return {WM_DEVICECHANGE, random() % 2 ? WPARAM(DBT_DEVICEARRIVAL) : DBT_DEVICEREMOVECOMPLETE,
                    static_cast<int>(random() % 4)};
    case 4: return {WM_POWERBROADCAST, power[random() % std::size(power)], 0};
    case 5: return {WM_COMMAND, commands[random() % std::size(commands)], 0};
    case 6: return {WM_WTSSESSION_CHANGE, 1 + random() % 11, 0};
    case 7: return {random() % 2 ? CMyWnd::kMsgSettingsChanged : CMyWnd::kMsgReserved, random(), 0};
    case 8: return {keyboard[random() % std::size(keyboard)], 1 + random() % 4, 0};
    default: return {CMyWnd::kMsgFnLockRefused, random() % 2 ? random() : WPARAM(-1), 0};
  }
}

// Counts the HID arrivals and removals the system announces. The system
// tells its listeners in the order they registered, so once this one,
// registered after the window, has heard of a change, so has the window.
class CDeviceChangeCounter {
 public:
  CDeviceChangeCounter() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OrvaneTestDeviceChanges";
    RegisterClassW(&wc);  // fails harmlessly when already registered
    m_window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               wc.hInstance, nullptr);
    m_notify = RegisterHidNotifications(m_window);
  }
  ~CDeviceChangeCounter() {
    m_notify.Reset();
    DestroyWindow(m_window);
  }
  CDeviceChangeCounter(const CDeviceChangeCounter&) = delete;
  CDeviceChangeCounter& operator=(const CDeviceChangeCounter&) = delete;

  static inline int arrivals = 0, removals = 0;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DEVICECHANGE) {
      arrivals += wParam == DBT_DEVICEARRIVAL;
      removals += wParam == DBT_DEVICEREMOVECOMPLETE;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

  HWND m_window;
  CDevNotify m_notify;
};

// Plugs the keyboard in or out, and lets the window hear of every
// collection's arrival or removal.
bool PlugAndAnnounce(CVirtualKeyboard& keyboard, bool in) {
  int& count = in ? CDeviceChangeCounter::arrivals : CDeviceChangeCounter::removals;
  int expected = count + static_cast<int>(keyboard.Collections().size());
  if (!DispatchingWhile([&] { return in ? keyboard.Plug() : keyboard.Unplug(); })) return false;
  bool heard = PumpUntil([&] { return count == expected; });
  PumpMessages();
  return heard;
}

// Runs the steps; empty, or what broke.
std::string RunSteps(const std::vector<Step>& steps, CVirtualKeyboard& keyboard, CMyWnd& wnd) {
  std::wstring name = keyboard.Collections().front().path;
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(c));  // as the system names it
  std::vector<uint8_t> record(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) + 2 * MAX_PATH);
  // Every run starts on the same footing, so that a failing one fails
  // again on its own: the keyboard in, taking its reports, newly opened
  // (which ends any retries), the OSD hidden.
  keyboard.RefuseFeatureReports(0);
  if (!keyboard.IsPlugged() && !PlugAndAnnounce(keyboard, true)) return "the keyboard's plug went unannounced";
  SendMessageW(wnd.m_hWnd, WM_TIMER, CMyWnd::kWakeUpTimer, 0);
  SendMessageW(wnd.m_hWnd, WM_TIMER, CMyWnd::kOsdHideTimer, 0);
  int32_t fnLock = Peer(wnd).m_fnLock;
  int tray = g_bTrayIconShown;
  int usbOpen = 1, osd = 0;  // osd -1: either, after a fan key (the config may enable it)
  bool plugged = true, retrying = false, hasState = true;  // the keyboard in was sent the state
  int refusals = 0, refused = keyboard.RefusedFeatureReports(), retries = 0;
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step& step = steps[i];
    std::string at = "after step " + std::to_string(i) + " " + Describe(step) + ": ";
    int reports = keyboard.TakenFeatureReports();
    LPARAM lParam = 0;
    if (step.message == WM_DEVICECHANGE && step.record != 3) {
      std::fill(record.begin(), record.end(), 0);
      auto* header = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(record.data());
      std::wstring device = step.record == 1 ? L"\\\\?\\HID#VID_046D&PID_C52B#1#{4d1e55b2}" : name;
      wcscpy(header->dbcc_name, device.c_str());
      header->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
      header->dbcc_size = step.record == 2 ? 8 : static_cast<DWORD>(record.size());
      lParam = reinterpret_cast<LPARAM>(record.data());
    }
    bool ours = step.message == WM_DEVICECHANGE && step.record == 0;
    bool wakeUp = step.message == WM_TIMER && step.wParam == CMyWnd::kWakeUpTimer;
    bool plugging = step.message == kPlug && !plugged;
    bool in = plugged || plugging;
    // A wake-up reopens the keyboard, and so does its arrival, announced or
    // forged, unless the keyboard is in, open and was sent the state. The
    // state goes to a keyboard that is in, after a wake-up, or at an
    // arrival when it was not sent since it came.
    bool arrival = plugging || (ours && step.wParam == DBT_DEVICEARRIVAL);
    bool reopening = wakeUp || (arrival && (usbOpen == 0 || !hasState || !in));
    bool opening = in && (wakeUp || (reopening && !hasState));
    bool retry = step.message == WM_TIMER && step.wParam == CMyWnd::kFnLockRetryTimer && retrying;
    {
      CStdoutCapture quiet;  // the fan client's trace
      if (step.message == kRefuse) {
        keyboard.RefuseFeatureReports(static_cast<int>(step.wParam));
      } else if (step.message == kPlug || step.message == kUnplug) {
        if ((step.message == kPlug) != plugged && !PlugAndAnnounce(keyboard, !plugged)) {
          return at + "the keyboard's change went unannounced";
        }
      } else {
        SendMessageW(wnd.m_hWnd, step.message, step.wParam, lParam);
        PumpMessages();
      }
    }
    // The sequence delivers the timers itself.
    KillTimer(wnd.m_hWnd, CMyWnd::kOsdHideTimer);
    KillTimer(wnd.m_hWnd, CMyWnd::kWakeUpTimer);
    bool retryArmed = KillTimer(wnd.m_hWnd, CMyWnd::kFnLockRetryTimer);

    if (step.message == CMyWnd::kMsgKeyEvent) {
      if (step.wParam == 16 || step.wParam == 32) fnLock = step.wParam == 32;
      if (step.wParam == 8 || step.wParam == 16 || step.wParam == 32) osd = 1;
      if (step.wParam == 48 && osd != 1) osd = -1;
    }
    if (step.message == WM_TIMER && step.wParam == CMyWnd::kOsdHideTimer) osd = 0;
    if (step.message == kRefuse) refusals = static_cast<int>(step.wParam);
    if (plugging) plugged = true;
    if (step.message == kUnplug) plugged = false, hasState = false;  // its collections let go
    if (reopening) usbOpen = plugged;
    if (opening) hasState = true;
    if ((ours && step.wParam == DBT_DEVICEREMOVECOMPLETE) || !plugged) usbOpen = 0;
    if (step.message == WM_COMMAND && step.wParam == 1123) tray = 1;
    if (step.message == WM_WTSSESSION_CHANGE &&
        (step.wParam == WTS_CONSOLE_DISCONNECT || (step.wParam == WTS_SESSION_LOCK && GetReportedOsMajor() > 5))) {
      tray = 0;
    }
    // A report is sent by an opening, and by a retry of the newest one
    // refused; a refusal starts the retries, three at most.
    bool sent = false, armed = false;
    if (opening || retry) {
      bool taken = plugged && refusals == 0;
      int refusal = plugged && refusals > 0;
      refusals -= refusal, refused += refusal;
      sent = taken;
      retries = opening ? 0 : retries + !taken;
      retrying = !taken && retries < 3;
      armed = retrying;
    }

    if (!IsWindow(wnd.m_hWnd)) return at + "the window is gone";
    if (Peer(wnd).m_fnLock != fnLock || ReadFnLock() != fnLock) {
      return at + "Fn lock " + std::to_string(Peer(wnd).m_fnLock) + ", stored " +
             std::to_string(ReadFnLock()) + ", expected " + std::to_string(fnLock);
    }
    if (g_bTrayIconShown != tray) return at + "tray flag " + std::to_string(g_bTrayIconShown);
    if (Peer(wnd).m_usbOpen != usbOpen) return at + "open flag " + std::to_string(Peer(wnd).m_usbOpen);
    if (osd != -1 && OsdBarShowing() != (osd == 1)) return at + "OSD " + (osd ? "hidden" : "shown");
    int taken = keyboard.TakenFeatureReports() - reports;
    if (taken != sent) return at + std::to_string(taken) + " feature reports, expected " + std::to_string(sent);
    if (sent && keyboard.FeatureReports().back() != std::vector<uint8_t>{0x05, uint8_t(fnLock), 0, 0, 0, 0, 0, 0}) {
      return at + "a feature report with another state";
    }
    if (keyboard.RefusedFeatureReports() != refused) return at + "refusals " + std::to_string(keyboard.RefusedFeatureReports());
    if (retryArmed != armed) return at + (armed ? "no retry timer" : "a retry timer nothing called for");
  }
  return "";
}

// Bytes the process's heaps have handed out and not taken back.
size_t HeapBytesInUse() {
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 8);
  heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  size_t bytes = 0;
  for (HANDLE heap : heaps) {
    HeapLock(heap);
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) bytes += entry.cbData;
    }
    HeapUnlock(heap);
  }
  return bytes;
}

TEST_F(RobustnessTest, MessageSequencesKeepTheWindowAsItsModelSays) {
  const int sequences = Cycles(20) * 10;  // 200 here, many more in make bench
  CDeviceChangeCounter announcements;
  int handles = 0;
  size_t heap = 0;
  // The fakes' journals grow with every call: emptied each time, the heap
  // holds what the window holds.
  auto forgetJournals = [] {
    for (CFakeJournal* journal : {&captureDevice->m_journal, &fanClass->m_journal}) {
      journal->calls = {};
      journal->released = {};
    }
    fanClass->m_setArguments = {};
  };
  for (int seed = 1; seed <= sequences; ++seed) {
    forgetJournals();
    // Counted once the first sequences have made what is made once (COM,
    // the fan client, the OSD's drawing, the handle count's own buffers):
    // a leak grows with the sequences.
    if (seed == 41) handles = SettledHandles(), heap = HeapBytesInUse();
    std::mt19937 random(seed);
    std::vector<Step> steps(15);
    for (Step& step : steps) step = RandomStep(random);
    std::string failure = RunSteps(steps, *keyboard, *wnd);
    if (failure.empty()) continue;
    // The shortest sequence that still fails, a step taken out at a time.
    for (size_t i = steps.size(); i-- > 0;) {
      std::vector<Step> shorter;
      for (size_t j = 0; j < steps.size(); ++j) {
        if (j != i) shorter.push_back(steps[j]);
      }
      std::string still = RunSteps(shorter, *keyboard, *wnd);
      if (!still.empty()) steps = shorter, failure = still;
    }
    std::string listing;
    for (const Step& step : steps) listing += Describe(step) + ", ";
    ADD_FAILURE() << "seed " << seed << ": " << failure << "\n  steps: {" << listing << "}";
    return;
  }
  // As the suite found it: the keyboard in and open, the OSD hidden.
  ASSERT_EQ(RunSteps({}, *keyboard, *wnd), "");
  EXPECT_EQ(Peer(*wnd).m_usbOpen.load(), 1);
  EXPECT_LE(SettledHandles(), handles + 2) << "handles grew over the sequences";
  // Tens of bytes kept by each opening come to more than this.
  forgetJournals();
  EXPECT_LE(HeapBytesInUse(), heap + 8192) << "the heap grew over the sequences";
  EXPECT_TRUE(PressAndWait()) << "the link still carries keys";
  std::printf("%d message sequences of 15 steps kept to the model\n", sequences);
}

}  // namespace
