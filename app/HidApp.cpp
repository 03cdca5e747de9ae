#include "app/HidApp.h"

#include "log/Log.h"
#include "fw/SystemInfo.h"

const wchar_t kInstanceMutexName[] = L"Varnel Orvane_Keyboard";

BOOL CHidApp::InitInstance() {
  // Session 0 is the services', where nobody sits: an install run as SYSTEM
  // must not leave an instance there acting on the keyboard for everyone.
  // Each user's logon starts their own.
  DWORD session = 0;
  if (m_systemCalls.system.processIdToSessionId(GetCurrentProcessId(), &session) && session == 0) {
    LogWrite("InitInstance Session 0, end");
    return FALSE;
  }
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kInstanceMutexName);
  DWORD error = GetLastError();
  m_hMutex.Reset(mutex);
  if (error == ERROR_ALREADY_EXISTS) {
    LogWrite("CreateMutex Error(%S)", GetProcessUserName(m_systemCalls.system).c_str());
    m_hMutex.Reset();
    // Non-zero, so Run follows; with no main window it ends at once and
    // the process exits with 0.
    return -1;
  }
  // A failure other than an existing mutex leaves m_hMutex empty; we run as
  // the only instance.
  m_pHidWnd = std::make_unique<CMyWnd>(m_systemCalls);
  m_pHidWnd->CreateHiddenWindow();
  m_pMainWnd = m_pHidWnd.get();
  return TRUE;
}

int CHidApp::ExitInstance() {
  if (m_hMutex) {
    // Never owned (made without initial ownership); released all the same.
    ReleaseMutex(m_hMutex.Get());
    m_hMutex.Reset();
  }
  m_pHidWnd.reset();
  return CWinApp::ExitInstance();
}
