#include "app/HidApp.h"

#include "log/Log.h"
#include "fw/SystemInfo.h"

const wchar_t kInstanceMutexName[] = L"Varnel Orvane_Keyboard";

BOOL CHidApp::InitInstance() {
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
