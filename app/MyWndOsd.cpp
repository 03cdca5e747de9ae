// CMyWnd's side of the OSD: from a kind and the state to a request record.
#include "app/MyWnd.h"
#include "osd/OsdImage.h"

void CMyWnd::ShowOsd(uint32_t kind) {
  auto choice = PickOsdImage(kind, m_micMuted, m_fnLock, m_fanMode);
  if (!choice) return;  // unreadable microphone state: no request at all
  m_osd.EnsureOsdWindow();
  OsdRecord record = PackOsdRequest(MakeOsdRequest(choice->text, choice->imageId));
  COPYDATASTRUCT data = {0, static_cast<DWORD>(record.size()), record.data()};
  m_osd.OnOsdRequest(data);
}
