// When another program of the session holds the OSD mutex's name before this
// process first asks, there is no OSD object: requests are dropped, safely.
// A program of its own, so the name is taken before the first request.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/MyWnd.h"
#include "osd/OsdImage.h"
#include "tests/win/support/OsdTestSupport.h"
#include "tests/win/support/MyWndPeer.h"

namespace {

TEST(OsdNameTaken, RequestsAreDroppedWithoutAnObject) {
  ASSERT_FALSE(OsdMutexExists()) << "another OSD program runs";
  CKernelHandle taken(CreateMutexW(nullptr, FALSE, L"Varnel Orvane_Keyboard OSD"));
  ASSERT_TRUE(taken);

  CMyWnd wnd;
  HWND controller = Peer(wnd).m_osd.m_hWnd;
  Peer(wnd).m_fnLock = 1;
  wnd.ShowOsd(kOsdFnLock);
  Peer(wnd).m_fanMode = 2;
  wnd.ShowOsd(kOsdSmartFan);
  PumpMessages();
  EXPECT_EQ(g_osdWindow, nullptr);
  EXPECT_TRUE(OsdBars().empty());
  EXPECT_EQ(g_osdCurrent.imageId, 204) << "the request itself was taken";
  EXPECT_FALSE(KillTimer(controller, kOsdTimerId)) << "nothing to time";

  wnd.ShowOsd(kOsdHide);
  EXPECT_EQ(g_osdWindow, nullptr);

  // Once the other holder lets go of the name, the next request takes it
  // and makes the object.
  taken.Reset();
  wnd.ShowOsd(kOsdFnLock);
  PumpMessages();
  ASSERT_NE(g_osdWindow, nullptr);
  EXPECT_EQ(OsdBars().size(), 1u);
}

}  // namespace
