// The OSD on a real screen: the controller's requests, the bar windows and
// where they go. Runs on 1920x1080 and on 1366x768.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/MyWnd.h"
#include "osd/OsdImage.h"
#include "tests/win/support/OsdTestSupport.h"
#include "tests/win/support/MyWndPeer.h"

namespace {

// The OSD object is made once per process and its bars are owned by the
// controller that first asked, so one main window object serves every test.
CMyWnd& MainWnd() {
  static CMyWnd wnd;
  return wnd;
}

struct State {
  uint32_t kind;
  int32_t value;  // m_micMuted, m_fnLock or m_fanMode, by kind
  int32_t imageId;
};

const State kStates[] = {
    {kOsdFnLock, 0, 200},     {kOsdFnLock, 1, 201},       {kOsdMicrophone, 1, 202},
    {kOsdMicrophone, 0, 203}, {kOsdSmartFan, 2, 204},     {kOsdSmartFan, 3, 205},
};

void Request(const State& state) {
  CMyWnd& wnd = MainWnd();
  if (state.kind == kOsdMicrophone) Peer(wnd).m_micMuted = state.value;
  if (state.kind == kOsdFnLock) Peer(wnd).m_fnLock = state.value;
  if (state.kind == kOsdSmartFan) Peer(wnd).m_fanMode = state.value;
  wnd.ShowOsd(state.kind);
  PumpMessages();
}

HWND OnlyBar() {
  std::vector<HWND> bars = OsdBars();
  return bars.size() == 1 ? bars[0] : nullptr;
}

// A plain window that has the focus, to see that bars do not take it.
class CForegroundWindow {
 public:
  CForegroundWindow()
      : m_window(CreateWindowExW(0, L"STATIC", L"osd test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50,
                                 50, 300, 200, nullptr, nullptr, nullptr, nullptr)) {
    SetForegroundWindow(m_window.Get());
    PumpMessages();
  }
  HWND Get() const { return m_window.Get(); }

 private:
  CUniqueWindow m_window;
};

class OsdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(CurrentOsdScreen(), nullptr) << "screen " << GetSystemMetrics(SM_CXSCREEN) << "x"
                                           << GetSystemMetrics(SM_CYSCREEN);
    screen = *CurrentOsdScreen();
    MainWnd();
  }
  void TearDown() override {
    MainWnd().ShowOsd(kOsdHide);
    PumpMessages();
  }

  void ExpectBitmapBarAtItsPlace(HWND bar) {
    RECT rect = WindowRect(bar);
    EXPECT_EQ(rect.left, screen.bitmapBar.x);
    EXPECT_EQ(rect.top, screen.bitmapBar.y);
    EXPECT_EQ(rect.right, screen.bitmapBar.x + 75);
    EXPECT_EQ(rect.bottom, screen.bitmapBar.y + 75);
  }

  OsdScreen screen = {};
};

TEST_F(OsdTest, EachStateShowsOneBarAtItsPlaceOnTopWithoutTakingTheFocus) {
  CForegroundWindow focus;
  ASSERT_EQ(GetForegroundWindow(), focus.Get());

  for (const State& state : kStates) {
    SCOPED_TRACE("image " + std::to_string(state.imageId));
    Request(state);
    HWND bar = OnlyBar();
    ASSERT_NE(bar, nullptr) << OsdBars().size() << " bars";
    EXPECT_TRUE(IsWindowVisible(bar));
    EXPECT_EQ(GetWindow(bar, GW_OWNER), Peer(MainWnd()).m_osd.m_hWnd);
    EXPECT_EQ(g_osdWindow->m_imageId, state.imageId);
    EXPECT_EQ(g_osdCurrent.imageId, state.imageId);

    bool skin = state.imageId >= 204;
    POINT corner = skin ? screen.skinBar : screen.bitmapBar;
    int size = skin ? 160 : 75;
    RECT rect = WindowRect(bar);
    EXPECT_EQ(rect.left, corner.x);
    EXPECT_EQ(rect.top, corner.y);
    EXPECT_EQ(rect.right - rect.left, size);
    EXPECT_EQ(rect.bottom - rect.top, size);

    LONG exStyle = GetWindowLongW(bar, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    if (skin) {
      EXPECT_EQ(exStyle & (WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE),
                WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE);
    } else {
      // The system keeps no window edge on a window without a frame.
      EXPECT_EQ(exStyle & ~WS_EX_WINDOWEDGE, WS_EX_TOPMOST | WS_EX_TOOLWINDOW);
    }
    EXPECT_EQ(GetForegroundWindow(), focus.Get());
    EXPECT_NE(GetActiveWindow(), bar);
  }

  MainWnd().ShowOsd(kOsdHide);
  EXPECT_TRUE(OsdBars().empty());
}

// The names of bars as they are made, from a hook on this thread.
std::vector<std::wstring> g_madeBarNames;

LRESULT CALLBACK OnWindowMade(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    wchar_t windowClass[16] = {};
    GetClassNameW(reinterpret_cast<HWND>(wParam), windowClass, 16);
    const CREATESTRUCTW* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
    if (std::wstring(windowClass) == L"OSDBAR") {
      g_madeBarNames.push_back(create->lpszName ? create->lpszName : L"(none)");
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Made without a title; its words come once it shows, with the alert.
TEST_F(OsdTest, TheBarIsMadeWithoutATitleAndNamedOnceShown) {
  g_madeBarNames.clear();
  HHOOK hook = SetWindowsHookExW(WH_CBT, OnWindowMade, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  Request({kOsdFnLock, 1, 201});
  UnhookWindowsHookEx(hook);
  EXPECT_EQ(g_madeBarNames, (std::vector<std::wstring>{L"(none)"}));
  wchar_t name[32] = {};
  GetWindowTextW(OnlyBar(), name, 32);
  EXPECT_STREQ(name, L"Fn Lock on");
}

TEST_F(OsdTest, EveryShowReplacesTheBarWindow) {
  Request({kOsdFnLock, 1, 201});
  HWND first = OnlyBar();
  ASSERT_NE(first, nullptr);
  Request({kOsdMicrophone, 1, 202});
  EXPECT_FALSE(IsWindow(first));
  HWND second = OnlyBar();
  ASSERT_NE(second, nullptr);
  ExpectBitmapBarAtItsPlace(second);

  Request({kOsdSmartFan, 2, 204});  // a bitmap bar becomes a skin bar
  EXPECT_FALSE(IsWindow(second));
  EXPECT_NE(OnlyBar(), nullptr);
}

TEST_F(OsdTest, HidingTwiceOrWithNothingShownIsHarmless) {
  MainWnd().ShowOsd(kOsdHide);
  MainWnd().ShowOsd(kOsdHide);
  EXPECT_TRUE(OsdBars().empty());

  Request({kOsdFnLock, 0, 200});
  ASSERT_NE(OnlyBar(), nullptr);
  g_osdWindow->Hide();
  g_osdWindow->Hide();
  EXPECT_TRUE(OsdBars().empty());
  EXPECT_FALSE(g_osdWindow->m_hBar);

  Request({kOsdFnLock, 0, 200});
  MainWnd().ShowOsd(9);  // an unknown kind hides too
  EXPECT_TRUE(OsdBars().empty());
}

TEST_F(OsdTest, BarIgnoresCloseAndHitTesting) {
  Request({kOsdFnLock, 1, 201});
  HWND bar = OnlyBar();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(SendMessageW(bar, WM_CLOSE, 0, 0), 0);
  PostMessageW(bar, WM_CLOSE, 0, 0);
  PumpMessages();
  EXPECT_EQ(OnlyBar(), bar);
  EXPECT_TRUE(IsWindowVisible(bar));
  ExpectBitmapBarAtItsPlace(bar);
  EXPECT_EQ(SendMessageW(bar, WM_NCHITTEST, 0, MAKELPARAM(screen.bitmapBar.x + 5, screen.bitmapBar.y + 5)),
            HTNOWHERE);

  // Clicks go through a skin bar to whatever lies below.
  Request({kOsdSmartFan, 3, 205});
  bar = OnlyBar();
  ASSERT_NE(bar, nullptr);
  POINT centre = {screen.skinBar.x + 80, screen.skinBar.y + 80};
  EXPECT_NE(WindowFromPoint(centre), bar);
}

TEST_F(OsdTest, TenRequestsKeepOneObjectAndShowTheLast) {
  Request({kOsdFnLock, 1, 201});
  CWTOSD* object = g_osdWindow;
  ASSERT_NE(object, nullptr);
  EXPECT_TRUE(OsdMutexExists());
  // Mostly hides, which are quick: every bar destroyed costs Wine a wait
  // for a window manager that Xvfb does not have.
  for (uint32_t kind : {0u, 9u, 0u, 4u, 0u, 0u, 0xFFFFFFFFu, 0u}) MainWnd().ShowOsd(kind);
  Request({kOsdSmartFan, 7, 205});
  EXPECT_EQ(g_osdWindow, object);
  ASSERT_NE(OnlyBar(), nullptr);
  EXPECT_EQ(object->m_imageId, 205);
  EXPECT_EQ(g_osdCurrent.imageId, 205);
}

TEST_F(OsdTest, RecordsOfAnyOtherSizeChangeNothing) {
  Request({kOsdMicrophone, 0, 203});
  HWND bar = OnlyBar();
  ASSERT_NE(bar, nullptr);
  OsdRecord before = PackOsdRequest(g_osdCurrent);

  std::vector<uint8_t> other(kOsdRequestSize + 1);
  OsdRecord fan = PackOsdRequest(MakeOsdRequest(u"FAN", 205));
  std::copy(fan.begin(), fan.end(), other.begin());
  for (DWORD size : {kOsdRequestSize - 1, kOsdRequestSize + 1}) {
    COPYDATASTRUCT data = {0, size, other.data()};
    EXPECT_TRUE(Peer(MainWnd()).m_osd.OnOsdRequest(data)) << size;
  }
  COPYDATASTRUCT noData = {0, kOsdRequestSize, nullptr};
  EXPECT_TRUE(Peer(MainWnd()).m_osd.OnOsdRequest(noData));
  PumpMessages();

  EXPECT_EQ(PackOsdRequest(g_osdCurrent), before);
  EXPECT_EQ(OnlyBar(), bar);
  EXPECT_EQ(g_osdWindow->m_imageId, 203);
}

TEST_F(OsdTest, UnreadableMicrophoneStateLeavesTheScreenAlone) {
  Request({kOsdFnLock, 1, 201});
  HWND bar = OnlyBar();
  OsdRecord before = PackOsdRequest(g_osdCurrent);
  Request({kOsdMicrophone, -1, 0});
  EXPECT_EQ(OnlyBar(), bar);
  EXPECT_TRUE(IsWindowVisible(bar));
  EXPECT_EQ(PackOsdRequest(g_osdCurrent), before);
}

// Timer 1 of the controller: armed by each image request, killed when it
// fires and by every later request; a zero interval does not arm it.
TEST_F(OsdTest, ImageRequestsArmTimerOneUnlessTheirIntervalIsZero) {
  HWND controller = Peer(MainWnd()).m_osd.m_hWnd;
  Request({kOsdFnLock, 1, 201});
  MSG msg = {};
  bool fired = false;
  for (DWORD start = GetTickCount(); !fired && GetTickCount() - start < 5000; Sleep(10)) {
    while (PeekMessageW(&msg, controller, WM_TIMER, WM_TIMER, PM_REMOVE)) {
      DispatchMessageW(&msg);
      fired = fired || msg.wParam == kOsdTimerId;
    }
  }
  EXPECT_TRUE(fired);
  EXPECT_FALSE(KillTimer(controller, kOsdTimerId)) << "killed when it fired";
  ASSERT_NE(OnlyBar(), nullptr) << "the timer changes nothing on screen";

  Request({kOsdFnLock, 0, 200});
  MainWnd().ShowOsd(kOsdHide);
  EXPECT_FALSE(KillTimer(controller, kOsdTimerId)) << "killed by the hide request";

  OsdRequest request = MakeOsdRequest(u"FN", 201);
  request.intervalMs = 0;
  OsdRecord record = PackOsdRequest(request);
  COPYDATASTRUCT data = {0, kOsdRequestSize, record.data()};
  EXPECT_TRUE(Peer(MainWnd()).m_osd.OnOsdRequest(data));
  EXPECT_FALSE(KillTimer(controller, kOsdTimerId));
  HWND bar = OnlyBar();
  ASSERT_NE(bar, nullptr);
  ExpectBitmapBarAtItsPlace(bar);
}

// Painting re-reads the screen size and puts the bar back where it belongs,
// so after a resolution change the bar is centred again.
TEST_F(OsdTest, RepaintPutsAMovedBarBackInPlace) {
  Request({kOsdFnLock, 0, 200});
  HWND bar = OnlyBar();
  ASSERT_NE(bar, nullptr);
  SetWindowPos(bar, nullptr, 10, 20, 75, 75, SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_EQ(WindowRect(bar).left, 10);
  RedrawWindow(bar, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  ExpectBitmapBarAtItsPlace(bar);
}

}  // namespace
