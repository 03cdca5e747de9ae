#include "fw/RegisterWndClass.h"

#include <cwchar>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

#include "fw/Wnd.h"

namespace {

using ClassKey = std::tuple<UINT, HCURSOR, HBRUSH, HICON>;

std::mutex g_classMutex;
// Map nodes never move, so the names handed out stay put.
std::map<ClassKey, std::wstring> g_classNames;

}  // namespace

LPCWSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon) {
  std::lock_guard<std::mutex> lock(g_classMutex);
  ClassKey key(classStyle, cursor, background, icon);
  auto found = g_classNames.find(key);
  if (found != g_classNames.end()) return found->second.c_str();

  HINSTANCE instance = GetModuleHandleW(nullptr);
  wchar_t name[64];
  std::swprintf(name, 64, L"Fw:%p:%x:%p:%p:%p", static_cast<void*>(instance), classStyle,
                static_cast<void*>(cursor), static_cast<void*>(background),
                static_cast<void*>(icon));

  WNDCLASSW wc = {};
  wc.style = classStyle;
  wc.lpfnWndProc = CWnd::WndProc;
  wc.hInstance = instance;
  wc.hIcon = icon;
  wc.hCursor = cursor;
  wc.hbrBackground = background;
  wc.lpszClassName = name;
  if (!RegisterClassW(&wc)) return nullptr;
  return g_classNames.emplace(key, name).first->second.c_str();
}
