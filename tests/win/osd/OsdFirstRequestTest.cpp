// The first OSD requests of a process, which decide whether it gets the OSD
// object. A program of its own, so nothing has asked before.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/MyWnd.h"
#include "osd/OsdImage.h"
#include "tests/win/support/OsdTestSupport.h"
#include "tests/win/support/MyWndPeer.h"

namespace {

TEST(OsdFirstRequest, UnreadableMicrophoneMakesNothingThenAHideMakesTheObject) {
  ASSERT_FALSE(OsdMutexExists()) << "another OSD program runs";
  CMyWnd wnd;
  Peer(wnd).m_micMuted = -1;
  wnd.ShowOsd(kOsdMicrophone);
  EXPECT_FALSE(OsdMutexExists()) << "no mutex call without a request";
  EXPECT_EQ(g_osdWindow, nullptr);
  EXPECT_FALSE(g_osdCurrent.HasText());
  EXPECT_EQ(g_osdCurrent.intervalMs, 0) << "no request taken";

  wnd.ShowOsd(9);
  EXPECT_TRUE(OsdMutexExists());
  ASSERT_NE(g_osdWindow, nullptr);
  EXPECT_EQ(g_osdWindow->m_hOwner, Peer(wnd).m_osd.m_hWnd);
  EXPECT_EQ(g_osdWindow->m_hInstance, GetModuleHandleW(nullptr));
  EXPECT_EQ(g_osdCurrent.intervalMs, 100);
  PumpMessages();
  EXPECT_TRUE(OsdBars().empty()) << "a hide shows nothing";
}

}  // namespace
