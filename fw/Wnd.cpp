#include "fw/Wnd.h"

#include "fw/WinApp.h"

namespace {

const MessageMap g_wndMessageMap = {nullptr, nullptr, 0};

}  // namespace

CWnd::~CWnd() {
  if (m_hWnd) DestroyWindow(m_hWnd);
}

const MessageMap* CWnd::GetMessageMap() const { return &g_wndMessageMap; }

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
    for (size_t i = 0; i < map->count; ++i) {
      const MessageMapEntry& entry = map->entries[i];
      if (entry.message != message) continue;
      if (message == WM_COMMAND && entry.commandId != LOWORD(wParam)) continue;
      return Dispatch(entry, wParam, lParam);
    }
  }
  return DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Dispatch(const MessageMapEntry& entry, WPARAM wParam, LPARAM lParam) {
  const auto& handler = entry.handler;
  if (auto h = std::get_if<MessageMapEntry::MessageHandler>(&handler)) {
    return (this->**h)(wParam, lParam);
  }
  if (auto h = std::get_if<MessageMapEntry::VoidHandler>(&handler)) {
    (this->**h)();
    return 0;
  }
  if (auto h = std::get_if<MessageMapEntry::TimerHandler>(&handler)) {
    (this->**h)(wParam);
    return 0;
  }
  auto h = std::get<MessageMapEntry::CreateHandler>(handler);
  return (this->*h)(reinterpret_cast<LPCREATESTRUCTW>(lParam));
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                    int y, int width, int height, HWND parent, HMENU menu) {
  // WndProc stores m_hWnd at WM_NCCREATE and clears it if creation fails.
  return CreateWindowExW(exStyle, className, windowName, style, x, y, width, height, parent, menu,
                         GetModuleHandleW(nullptr), this) != nullptr;
}

BOOL CWnd::SetWindowText(LPCWSTR text) { return ::SetWindowTextW(m_hWnd, text); }

LRESULT CWnd::Default() {
  return DefWindowProcW(m_hWnd, m_currentMsg.message, m_currentMsg.wParam, m_currentMsg.lParam);
}

int CWnd::OnCreate(LPCREATESTRUCTW) { return static_cast<int>(Default()); }

void CWnd::OnDestroy() { Default(); }

void CWnd::OnTimer(UINT_PTR) { Default(); }

LRESULT CALLBACK CWnd::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd;
  if (message == WM_NCCREATE) {
    wnd = static_cast<CWnd*>(reinterpret_cast<LPCREATESTRUCTW>(lParam)->lpCreateParams);
    wnd->m_hWnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(wnd));
  } else {
    wnd = reinterpret_cast<CWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  // Messages before WM_NCCREATE (WM_GETMINMAXINFO) and after WM_NCDESTROY.
  if (!wnd) return DefWindowProcW(hwnd, message, wParam, lParam);

  // A handler may send messages to its own window; Default() must still see
  // the message it was called for once they return.
  MSG outer = wnd->m_currentMsg;
  wnd->m_currentMsg = {hwnd, message, wParam, lParam, 0, {}};
  LRESULT result = wnd->WindowProc(message, wParam, lParam);
  wnd->m_currentMsg = outer;

  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    wnd->m_hWnd = nullptr;
    // The application ends with its main window.
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd == wnd) {
      app->m_pMainWnd = nullptr;
      PostQuitMessage(0);
    }
  }
  return result;
}
