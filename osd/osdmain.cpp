#include "osd/osdmain.h"

#include <iterator>
#include <memory>

#include "fw/RegisterWndClass.h"

OsdRequest g_osdCurrent;
HINSTANCE g_osdInstance = nullptr;

const wchar_t kOsdMutexName[] = L"Varnel Orvane_Keyboard OSD";

namespace {

// Kept open, and never waited on, until the process ends.
CKernelHandle g_osdMutex;
// The one OSD object, from the first request to the end of the process.
std::unique_ptr<CWTOSD> g_osdObject;

}  // namespace

Cosdmain::Cosdmain() {
  CreateEx(0, AfxRegisterWndClass(0), nullptr, WS_POPUP, 1, 1, 1, 1, nullptr, nullptr);
}

const MessageMap* Cosdmain::GetMessageMap() const {
  static const MessageMapEntry entries[] = {
      MapTimer(&Cosdmain::OnTimer),
  };
  static const MessageMap map = {CWnd::GetMessageMap(), entries, std::size(entries)};
  return &map;
}

void Cosdmain::EnsureOsdWindow() {
  SetLastError(0);
  CKernelHandle mutex(CreateMutexW(nullptr, FALSE, kOsdMutexName));
  if (GetLastError() == ERROR_ALREADY_EXISTS) return;  // closes this handle
  // Only the first request of the process gets here, unless the mutex
  // itself cannot be made; one object is all there may be either way.
  if (g_osdObject) return;
  g_osdMutex = std::move(mutex);
  g_osdInstance = GetModuleHandleW(nullptr);
  g_osdObject = std::make_unique<CWTOSD>(g_osdInstance, m_hWnd);
}

BOOL Cosdmain::OnOsdRequest(COPYDATASTRUCT data) {
  if (UnpackOsdRequest(data.lpData, data.cbData, &g_osdCurrent)) ApplyOsdRequest();
  return TRUE;
}

void Cosdmain::ApplyOsdRequest() {
  KillTimer(m_hWnd, kOsdTimerId);
  // No object: another process held the OSD name when this one first asked.
  if (!g_osdWindow) return;
  if (!g_osdCurrent.HasText()) {
    g_osdWindow->Hide();
    return;
  }
  if (g_osdCurrent.intervalMs != 0) {
    SetTimer(m_hWnd, kOsdTimerId, static_cast<UINT>(g_osdCurrent.intervalMs), nullptr);
  }
  g_osdWindow->Show(g_osdCurrent.imageId);
}

void Cosdmain::OnTimer(UINT_PTR timerId) {
  if (timerId == kOsdTimerId) KillTimer(m_hWnd, kOsdTimerId);
  Default();
}
