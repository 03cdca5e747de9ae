// A top-level window with a given title that records the messages it gets
// and does nothing else (WM_CLOSE does not destroy it), standing in for the
// windows of companion programs.
#pragma once

#include <windows.h>

#include <chrono>
#include <future>

#include <utility>
#include <vector>

class CRecorderWindow {
 public:
  explicit CRecorderWindow(const wchar_t* title) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OrvaneTestRecorder";
    RegisterClassW(&wc);  // fails harmlessly when already registered
    m_window = CreateWindowExW(0, wc.lpszClassName, title, WS_POPUP, 0, 0, 10, 10, nullptr,
                               nullptr, wc.hInstance, this);
  }
  ~CRecorderWindow() {
    SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
    DestroyWindow(m_window);
  }
  CRecorderWindow(const CRecorderWindow&) = delete;
  CRecorderWindow& operator=(const CRecorderWindow&) = delete;

  HWND Get() const { return m_window; }
  // (message, wParam) of the messages of interest, in arrival order.
  std::vector<std::pair<UINT, WPARAM>> received;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CRecorderWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    // Only a posted WM_DESTROY reaches here with self set: the destructor
    // detaches the object before the real destruction.
    if (self && (message == WM_CLOSE || message == WM_COMMAND || message == WM_DESTROY)) {
      self->received.emplace_back(message, wParam);
      if (message == WM_CLOSE || message == WM_DESTROY) return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

  HWND m_window = nullptr;
};

// Dispatches this thread's messages for a while.
inline void PumpMessages(DWORD forMs) {
  DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(5);
  } while (GetTickCount() - start < forMs);
}

// Does work (a plug or an unplug, which waits on the system) on another
// thread while this one goes on dispatching: the system drops a device
// broadcast that a window has not taken within 2 s, and under load a plug
// can take longer.
template <typename Work>
auto DispatchingWhile(Work work) {
  auto done = std::async(std::launch::async, work);
  while (done.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) PumpMessages(5);
  return done.get();
}
