// A message-only window that collects the key events the reader posts.
#pragma once

#include <windows.h>

#include <vector>

#include "hid/KeyReport.h"

class CEventWindow {
 public:
  CEventWindow()
      : m_window(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 nullptr, nullptr)) {}
  ~CEventWindow() { DestroyWindow(m_window); }
  CEventWindow(const CEventWindow&) = delete;
  CEventWindow& operator=(const CEventWindow&) = delete;

  HWND Get() const { return m_window; }

  // Events posted so far and within the wait, at most until count arrived.
  std::vector<WPARAM> Collect(size_t count, DWORD waitMs) {
    std::vector<WPARAM> codes;
    DWORD start = GetTickCount();
    while (codes.size() < count && GetTickCount() - start < waitMs) {
      MSG msg;
      while (PeekMessageW(&msg, m_window, kKeyEventMessage, kKeyEventMessage, PM_REMOVE)) {
        codes.push_back(msg.wParam);
      }
      if (codes.size() < count) Sleep(5);
    }
    return codes;
  }

 private:
  HWND m_window;
};
