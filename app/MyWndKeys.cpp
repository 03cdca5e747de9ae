// Key events from the reader, acted on one at a time on the window thread for
// the user who sat at the console when the window was made, and the OSD that
// confirms them.
#include <string>

#include "app/MyWnd.h"
#include "log/Log.h"
#include "osd/OsdImage.h"

namespace {

const UINT kOsdShownMs = 3000;

}  // namespace

LRESULT CMyWnd::OnKBCallBack(WPARAM code, LPARAM) {
  LogWrite("OnKBCallBack_in");
  std::wstring now = GetConsoleUserName(m_systemInfo);
  // Whole strings, case-sensitively: another user at the console gets nothing.
  if (m_openUser != now) {
    LogWrite("User Different Open User(%S) Now User(%S)", m_openUser.c_str(), now.c_str());
    return 0;
  }
  LogWrite("User Same Open User(%S) Now User(%S)", m_openUser.c_str(), now.c_str());
  LogWrite("OnKBCallBack_%d", static_cast<int>(code));

  ActionOsd osd = m_actions.Run(static_cast<uint32_t>(code));
  if (osd != ActionOsd::kNone) {
    ShowOsd(static_cast<uint32_t>(osd));
    // Every OSD request restarts the full period: it hides 3 s after the last.
    SetTimer(m_hWnd, kOsdHideTimer, kOsdShownMs, nullptr);
  }
  LogWrite("OnKBCallBack_end");
  return 0;
}

void CMyWnd::ShowOsd(uint32_t kind) {
  auto choice = PickOsdImage(kind, m_micMuted, m_fnLock, m_fanMode);
  if (!choice) return;  // unreadable microphone state: no request at all
  m_osd.EnsureOsdWindow();
  OsdRecord record = PackOsdRequest(MakeOsdRequest(choice->text, choice->imageId));
  COPYDATASTRUCT data = {0, static_cast<DWORD>(record.size()), record.data()};
  m_osd.OnOsdRequest(data);
}
