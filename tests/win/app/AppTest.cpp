#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "actions/FnLock.h"
#include "app/HidApp.h"
#include "app/MyWnd.h"
#include "log/Log.h"
#include "fw/SystemInfo.h"
#include "tests/win/support/MyWndPeer.h"

namespace {

const char kLogFile[] = "C:\\LOG\\Orvane_Keyboard.log";

bool MutexExists() {
  CKernelHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, kInstanceMutexName));
  return mutex.IsValid();
}

std::string ReadLog() {
  std::ifstream in(kLogFile, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Leaves no log switch, log file or instance mutex behind.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(MutexExists()) << "another instance runs";
    ASSERT_EQ(FindWindowW(nullptr, kMainWindowTitle), nullptr);
    DeleteFileA(kLogFile);
  }
  void TearDown() override {
    g_bLogEnabled = m_logSwitch;
    DeleteFileA(kLogFile);
  }

 private:
  int m_logSwitch = g_bLogEnabled;
};

TEST_F(AppTest, FreshWindowObjectHoldsTheStartingState) {
  CMyWnd wnd;
  EXPECT_EQ(wnd.m_hWnd, nullptr);
  EXPECT_FALSE(Peer(wnd).m_hStartupThread.IsValid());
  EXPECT_TRUE(Peer(wnd).m_settingsPath.empty());
  EXPECT_TRUE(Peer(wnd).m_configPath.empty());
  EXPECT_EQ(Peer(wnd).m_micMuted, 0);
  EXPECT_EQ(Peer(wnd).m_fnLock.load(), 0);
  EXPECT_EQ(Peer(wnd).m_fanMode, 2);
  EXPECT_EQ(Peer(wnd).m_settings.smartFan, 0);
  EXPECT_TRUE(Peer(wnd).m_settings.ver.empty());
  EXPECT_FALSE(Peer(wnd).m_hDevNotify.IsValid());
  EXPECT_EQ(Peer(wnd).m_usbOpen.load(), 0);
  EXPECT_TRUE(Peer(wnd).m_openUser.empty());
  EXPECT_EQ(Peer(wnd).m_hidDevice.m_vendorId, 0x17EFu);
  EXPECT_EQ(Peer(wnd).m_hidDevice.m_productId, 0x6100u);
  EXPECT_EQ(Peer(wnd).m_hidDevice.InputHandle(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Peer(wnd).m_hidDevice.DevHandle(), INVALID_HANDLE_VALUE);
}

// The window's looks are checked on the real program (exe_run_tests).
TEST_F(AppTest, CreatingTheWindowReadsTheStoredStateCapturesTheUserAndStartsTheWorker) {
  g_bLogEnabled = 1;
  WriteFnLock(1);
  CMyWnd wnd;
  ASSERT_TRUE(wnd.CreateHiddenWindow());
  EXPECT_EQ(FindWindowW(nullptr, L"Orvane_Keyboard_Hid"), wnd.m_hWnd);
  EXPECT_EQ(Peer(wnd).m_openUser, GetConsoleUserName());
  EXPECT_EQ(Peer(wnd).m_fnLock.load(), 1);
  ASSERT_TRUE(Peer(wnd).m_hStartupThread.IsValid());
  EXPECT_EQ(WaitForSingleObject(Peer(wnd).m_hStartupThread.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the start-up worker waits before it opens the keyboard";
  EXPECT_NE(ReadLog().find("OnCreate over\r\n"), std::string::npos);
}

TEST_F(AppTest, DeletingTheWindowObjectEndsTheWaitingWorkerFirst) {
  auto wnd = std::make_unique<CMyWnd>();
  ASSERT_TRUE(wnd->CreateHiddenWindow());
  HANDLE worker;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), Peer(*wnd).m_hStartupThread.Get(),
                              GetCurrentProcess(), &worker, 0, FALSE, DUPLICATE_SAME_ACCESS));
  CKernelHandle ownedWorker(worker);
  HWND hwnd = wnd->m_hWnd;

  wnd.reset();  // well within the worker's 10 s wait

  // The worker has ended by the time the object is gone, so it cannot
  // touch the deleted object later.
  EXPECT_EQ(WaitForSingleObject(worker, 0), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = STILL_ACTIVE;
  GetExitCodeThread(worker, &code);
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(AppTest, FirstInstanceMakesTheMainWindowAndCleansUpAfterItsDestruction) {
  CHidApp app;
  EXPECT_EQ(app.InitInstance(), TRUE);
  ASSERT_NE(app.m_pHidWnd, nullptr);
  EXPECT_EQ(app.m_pMainWnd, app.m_pHidWnd.get());
  HWND hwnd = app.m_pHidWnd->m_hWnd;
  EXPECT_EQ(FindWindowW(nullptr, kMainWindowTitle), hwnd);
  EXPECT_TRUE(app.m_hMutex.IsValid());
  EXPECT_TRUE(MutexExists());

  // The companion's exit command ends us this way.
  PostMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(app.Run(), 0);

  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(app.m_pHidWnd, nullptr);
  EXPECT_FALSE(app.m_hMutex.IsValid());
  EXPECT_FALSE(MutexExists()) << "our handle was the only one; it must be closed";
}

BOOL WINAPI InSessionZero(DWORD process, DWORD* session) {
  *session = process == GetCurrentProcessId() ? 0 : 1;
  return TRUE;
}

TEST_F(AppTest, InTheServicesSessionItEndsBeforeTakingAnything) {
  SystemCalls calls;
  calls.system.processIdToSessionId = InSessionZero;
  g_bLogEnabled = 1;
  CHidApp app(calls);
  EXPECT_EQ(app.InitInstance(), FALSE);
  EXPECT_FALSE(MutexExists());
  EXPECT_EQ(app.m_pHidWnd, nullptr);
  EXPECT_NE(ReadLog().find("InitInstance Session 0, end\r\n"), std::string::npos);
}

TEST_F(AppTest, SecondInstanceLogsTheAccountAndEndsWithoutAWindow) {
  CKernelHandle firstInstance(CreateMutexW(nullptr, FALSE, kInstanceMutexName));
  ASSERT_TRUE(firstInstance.IsValid());
  g_bLogEnabled = 1;

  CHidApp app;
  EXPECT_EQ(app.InitInstance(), -1);
  EXPECT_FALSE(app.m_hMutex.IsValid());
  EXPECT_EQ(app.m_pHidWnd, nullptr);
  EXPECT_EQ(app.m_pMainWnd, nullptr);
  EXPECT_EQ(FindWindowW(nullptr, kMainWindowTitle), nullptr);
  EXPECT_EQ(app.Run(), 0);  // ends at once, through ExitInstance

  std::string user;
  for (wchar_t c : GetProcessUserName()) user += static_cast<char>(c);
  ASSERT_FALSE(user.empty());
  std::string log = ReadLog();
  EXPECT_NE(log.find("CreateMutex Error(" + user + ")\r\n"), std::string::npos) << log;

  // The first instance's mutex lives on, and no handle of the second is left.
  EXPECT_TRUE(MutexExists());
  firstInstance.Reset();
  EXPECT_FALSE(MutexExists());
}

}  // namespace
