// Commands other programs send the main window (WM_COMMAND ids 1123, 6001,
// 6002), and the notification-area icon they add and remove.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "app/MyWnd.h"
#include "res/resource.h"

int g_bTrayIconShown = 0;

namespace {

const wchar_t kTrayTip[] = L"Orvane keyboard: special keys active";

}  // namespace

void CMyWnd::FillTrayIcon() {
  m_trayIcon.cbSize = sizeof m_trayIcon;
  m_trayIcon.hWnd = m_hWnd;
  m_trayIcon.uID = 1;
  m_trayIcon.uFlags = NIF_ICON | NIF_TIP;
  // A shared icon from the module's resources: nothing to destroy.
  m_trayIcon.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP));
  wcsncpy(m_trayIcon.szTip, kTrayTip, std::size(m_trayIcon.szTip) - 1);
}

void CMyWnd::OnShowTrayIcon() {
  if (g_bTrayIconShown != 0) return;
  Shell_NotifyIconW(NIM_ADD, &m_trayIcon);
  g_bTrayIconShown = 1;  // whatever the shell answered: one add until a delete
}

void CMyWnd::RemoveTrayIcon() {
  if (g_bTrayIconShown != 1) return;
  Shell_NotifyIconW(NIM_DELETE, &m_trayIcon);
  g_bTrayIconShown = 0;
}

void CMyWnd::OnExitCommand() {
  RemoveTrayIcon();
  if (HWND companion = FindWindowW(nullptr, kCompanionTitle)) {
    PostMessageW(companion, WM_CLOSE, 0, 0);
  }
  if (HWND own = FindWindowW(nullptr, kMainWindowTitle)) PostMessageW(own, WM_CLOSE, 0, 0);
}

void CMyWnd::OnLaunchGaming() {
  if (FindWindowW(nullptr, kCompanionTitle)) return;
  std::wstring path;
  // Never a bare name, which the current folder would resolve.
  if (!GetModuleDirectory(&path, m_systemInfo)) return;
  path += L"Gaming.exe";
  m_shellCalls.shellExecute(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWDEFAULT);
}
