// The key events the reader posts, acted on one at a time on the window
// thread, for the user who sat at the console when the window was made.
#include <iterator>
#include <string>

#include "app/MyWnd.h"
#include "log/Log.h"

namespace {

struct HotkeyRow {
  uint32_t code;
  const char* logLine;
  ActionOsd (CMyWnd::*action)();
};

const HotkeyRow kHotkeyRows[] = {
    {1, "Setting Win+I", &CMyWnd::ActSettingsShortcut},
    {2, "SnippingTool", &CMyWnd::ActScreenSnip},
    {4, "Lock Desktop", &CMyWnd::ActLockDesktop},
    {8, "Mute Microphone", &CMyWnd::ActMicMute},
    {16, "Fn Lock off", &CMyWnd::ActFnLockOff},
    {32, "Fn Lock on", &CMyWnd::ActFnLockOn},
    {48, "Fn Q", &CMyWnd::ActSmartFanToggle},
};

const UINT kOsdShownMs = 3000;

}  // namespace

LRESULT CMyWnd::OnKBCallBack(WPARAM code, LPARAM) {
  LogWrite("OnKBCallBack_in");
  std::wstring now = m_consoleUser();
  // Whole strings, case-sensitively: another user at the console gets nothing.
  if (m_openUser != now) {
    LogWrite("User Different Open User(%S) Now User(%S)", m_openUser.c_str(), now.c_str());
    return 0;
  }
  LogWrite("User Same Open User(%S) Now User(%S)", m_openUser.c_str(), now.c_str());
  LogWrite("OnKBCallBack_%d", static_cast<int>(code));

  for (const HotkeyRow& row : kHotkeyRows) {
    if (row.code != code) continue;
    LogWrite("%s", row.logLine);
    ActionOsd osd = (this->*row.action)();
    if (osd != ActionOsd::kNone) {
      ShowOsd(static_cast<uint32_t>(osd));
      // Every OSD request restarts the full period: it hides 3 s after the last.
      SetTimer(m_hWnd, kOsdHideTimer, kOsdShownMs, nullptr);
    }
    break;
  }
  LogWrite("OnKBCallBack_end");
  return 0;
}
