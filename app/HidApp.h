// CHidApp: the application object. One instance per logon session, held by
// the named mutex; the first instance makes the hidden main window, a later
// one ends at once without a window, and so does one in session 0.
#pragma once

#include <windows.h>

#include <memory>

#include "app/MyWnd.h"
#include "fw/UniqueHandle.h"
#include "fw/WinApp.h"

class CHidApp : public CWinApp {
 public:
  // The calls go to the main window; the simulation build hands in its own.
  explicit CHidApp(SystemCalls calls = SystemCalls()) : m_systemCalls(std::move(calls)) {}

  BOOL InitInstance() override;
  int ExitInstance() override;

  std::unique_ptr<CMyWnd> m_pHidWnd;  // also m_pMainWnd while its window lives
  CKernelHandle m_hMutex;             // empty when another instance runs

 private:
  SystemCalls m_systemCalls;
};

// Without a namespace prefix the name is per logon session: users of other
// sessions run their own instance.
extern const wchar_t kInstanceMutexName[];
