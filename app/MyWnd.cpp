#include "app/MyWnd.h"

#include <iterator>

#include "actions/FnLock.h"
#include "fw/RegisterWndClass.h"
#include "hid/KeyboardIds.h"
#include "log/Log.h"

const wchar_t kCompanionTitle[] = L"Orvane_Keyboard";

CMyWnd::CMyWnd(SystemCalls calls)
    : m_hidDevice(calls.hid),
      m_systemInfo(calls.system),
      m_changeWindowMessageFilterEx(calls.changeWindowMessageFilterEx),
      m_msgTaskbarCreated(RegisterWindowMessageW(L"TaskbarCreated")),
      m_shellCalls(calls.actions.shell),
      m_actions(ActionState{m_micMuted, m_fnLock, m_fanMode, m_configPath},
                std::move(calls.actions)) {
  m_hidDevice.m_vendorId = kKeyboardVendorId;
  m_hidDevice.m_productId = kKeyboardProductId;
}

CMyWnd::~CMyWnd() {
  // A worker stuck retrying the reader's start gives up once the link stops.
  m_hidDevice.RequestStop();
  if (m_hStartupThread) {
    m_startupStop.Set();
    WaitForSingleObject(m_hStartupThread.Get(), INFINITE);
  }
}

const MessageMap* CMyWnd::GetMessageMap() const {
  static const MessageMapEntry entries[] = {
      MapCreate(&CMyWnd::OnCreate),
      MapDestroy(&CMyWnd::OnDestroy),
      MapTimer(&CMyWnd::OnTimer),
      MapMessage(WM_DEVICECHANGE, &CMyWnd::OnDeviceChange),
      MapMessage(kMsgKeyEvent, &CMyWnd::OnKBCallBack),
      MapMessage(kMsgSettingsChanged, &CMyWnd::OnSettingsChanged),
      MapMessage(WM_WTSSESSION_CHANGE, &CMyWnd::OnSessionChange),
      MapMessage(kMsgReserved, &CMyWnd::OnReserved501),
      MapMessage(kMsgFnLockRefused, &CMyWnd::OnFnLockRefused),
      MapCommand(kCmdShowTrayIcon, &CMyWnd::OnShowTrayIcon),
      MapCommand(kCmdExit, &CMyWnd::OnExitCommand),
      MapCommand(kCmdLaunchGaming, &CMyWnd::OnLaunchGaming),
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
  // We run elevated; companion programs and the shell usually do not, and
  // Windows drops their messages but for a few. Exactly theirs are let in:
  // key events, our own WM_APP + 1 and timers stay closed to them, so no
  // such program can forge a key that locks the workstation or injects keys.
  for (UINT message : {static_cast<UINT>(WM_COMMAND), kMsgSettingsChanged, kMsgReserved, m_msgTaskbarCreated}) {
    m_changeWindowMessageFilterEx(m_hWnd, message, MSGFLT_ALLOW, nullptr);
  }
  m_fnLock = ReadFnLock();
  m_openUser = GetConsoleUserName(m_systemInfo);
  FillTrayIcon();
  m_hStartupThread.Reset(CreateThread(nullptr, 0, OpenUsbThread, this, 0, nullptr));
  LogWrite("OnCreate over");
  return 0;
}
