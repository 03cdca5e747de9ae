// The main window's own handlers: destruction, timers, power and session
// events, and the reserved message.
#include <windows.h>
#include <shellapi.h>
#include <wtsapi32.h>

#include "app/MyWnd.h"
#include "log/Log.h"
#include "settings/Settings.h"

LRESULT CMyWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == m_msgTaskbarCreated && g_bTrayIconShown == 1) {
    // The shell started anew without our icon; the flag still says shown.
    Shell_NotifyIconW(NIM_ADD, &m_trayIcon);
  }
  if (message == WM_POWERBROADCAST) {
    if (wParam == PBT_APMSUSPEND) {
      LogWrite("WM_POWERBROADCAST_PBT_APMSUSPEND(%X)", PBT_APMSUSPEND);
    } else if (wParam == PBT_APMRESUMESUSPEND || wParam == PBT_APMRESUMEAUTOMATIC) {
      LogWrite("WM_POWERBROADCAST_PBT_APMRESUMEAUTOMATIC(%X)", static_cast<unsigned>(wParam));
      // A resume brings both events; the later one restarts the period, so
      // the keyboard is reopened once, 10 s after it.
      SetTimer(m_hWnd, kWakeUpTimer, kKeyboardSettleMs, nullptr);
    }
  }
  return CWnd::WindowProc(message, wParam, lParam);
}

void CMyWnd::OnDestroy() {
  if (HWND companion = FindWindowW(nullptr, kCompanionTitle)) {
    PostMessageW(companion, WM_COMMAND, 0xFFFFFFFF, 0);
  }
  if (HWND osd = FindWindowW(nullptr, L"OSDMain")) {
    PostMessageW(osd, WM_DESTROY, 0, 0);
    PostMessageW(osd, WM_CLOSE, 0, 0);
  }
  CoUninitialize();
  CWnd::OnDestroy();
}

void CMyWnd::OnTimer(UINT_PTR timerId) {
  if (timerId == kOsdHideTimer) {
    ShowOsd(0);
    KillTimer(m_hWnd, kOsdHideTimer);
  } else if (timerId == kWakeUpTimer) {
    ReopenAfterWakeUp();
    KillTimer(m_hWnd, kWakeUpTimer);
  } else if (timerId == kFnLockRetryTimer) {
    KillTimer(m_hWnd, kFnLockRetryTimer);
    RetryFnLockReport();
  }
  CWnd::OnTimer(timerId);
}

LRESULT CMyWnd::OnSessionChange(WPARAM event, LPARAM) {
  // The session lock counts only where the reported version is above 5.
  int major = GetReportedOsMajor();
  if (event != WTS_CONSOLE_DISCONNECT && !(event == WTS_SESSION_LOCK && major > 5)) return 0;
  RemoveTrayIcon();
  WriteDeviceState(m_settingsPath, 0);
  return 0;
}

LRESULT CMyWnd::OnSettingsChanged(WPARAM, LPARAM) {
  ReloadSettings(m_settingsPath, &m_settings);
  return 0;
}

LRESULT CMyWnd::OnReserved501(WPARAM, LPARAM) { return 0; }
