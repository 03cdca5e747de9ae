#include "fw/WinApp.h"

#include "fw/Wnd.h"

namespace {

CWinApp* g_pApp = nullptr;

}  // namespace

CWinApp::CWinApp() { g_pApp = this; }

CWinApp::~CWinApp() {
  if (g_pApp == this) g_pApp = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::Run() {
  if (!m_pMainWnd || !m_pMainWnd->m_hWnd) PostQuitMessage(0);
  MSG msg = {};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  m_quitCode = static_cast<int>(msg.wParam);
  return ExitInstance();
}

int CWinApp::ExitInstance() { return m_quitCode; }

CWinApp* AfxGetApp() { return g_pApp; }
