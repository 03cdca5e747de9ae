#include "app/MyWnd.h"

#include <iterator>

#include "fw/RegisterWndClass.h"
#include "log/Log.h"
#include "settings/SystemInfo.h"

const wchar_t kMainWindowTitle[] = L"Orvane_Keyboard_Hid";

namespace {

// The keyboard is opened this long after start, when the system is settled.
const DWORD kStartupDelayMs = 10000;

}  // namespace

CMyWnd::CMyWnd() : m_hStartupStop(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  m_hidDevice.m_vendorId = 0x17EF;
  m_hidDevice.m_productId = 0x6100;
}

CMyWnd::~CMyWnd() {
  if (m_hStartupThread) {
    SetEvent(m_hStartupStop.Get());
    WaitForSingleObject(m_hStartupThread.Get(), INFINITE);
  }
}

const MessageMap* CMyWnd::GetMessageMap() const {
  static const MessageMapEntry entries[] = {
      MapCreate(&CMyWnd::OnCreate),
  };
  static const MessageMap map = {CWnd::GetMessageMap(), entries, std::size(entries)};
  return &map;
}

BOOL CMyWnd::CreateHiddenWindow() {
  LPCWSTR windowClass = AfxRegisterWndClass(0);
  return CreateEx(0, windowClass, kMainWindowTitle, WS_POPUP, 100, 100, 100, 100, nullptr,
                  nullptr);
}

int CMyWnd::OnCreate(LPCREATESTRUCTW create) {
  if (CWnd::OnCreate(create) == -1) return -1;
  // Exactly the tool-window style: no taskbar button, no Alt+Tab entry.
  SetWindowLongW(m_hWnd, GWL_EXSTYLE, WS_EX_TOOLWINDOW);
  SetWindowText(kMainWindowTitle);
  m_openUser = GetConsoleUserName();
  m_hStartupThread.Reset(CreateThread(nullptr, 0, OpenUsbThread, this, 0, nullptr));
  LogWrite("OnCreate over");
  return 0;
}

DWORD WINAPI CMyWnd::OpenUsbThread(LPVOID param) {
  CMyWnd* wnd = static_cast<CMyWnd*>(param);
  // Waiting on the stop event rather than sleeping lets the object go at any
  // time. Only WAIT_TIMEOUT may lead on to the keyboard: a stop or a failed
  // wait ends the worker.
  WaitForSingleObject(wnd->m_hStartupStop.Get(), kStartupDelayMs);
  return 0;
}
