// What the OSD tests look at: the bar windows on screen, where they should
// be on the screens the tests run on, and the thread's message queue.
#pragma once

#include <windows.h>

#include <vector>

#include "fw/UniqueHandle.h"
#include "osd/WTOSD.h"

inline BOOL CALLBACK CollectOsdBar(HWND window, LPARAM found) {
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (lstrcmpW(name, kOsdBarClass) == 0) reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
  return TRUE;
}

// Every window of the bar's class, shown or not.
inline std::vector<HWND> OsdBars() {
  std::vector<HWND> bars;
  EnumWindows(CollectOsdBar, reinterpret_cast<LPARAM>(&bars));
  return bars;
}

// Whether a bar of the OSD is on screen now.
inline bool OsdBarShowing() {
  for (HWND bar : OsdBars()) {
    if (IsWindowVisible(bar)) return true;
  }
  return false;
}

inline void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

inline RECT WindowRect(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect;
}

// Top-left corners of the two kinds of bar on the screens the tests use.
struct OsdScreen {
  int width, height;
  POINT bitmapBar;  // 75 x 75
  POINT skinBar;    // 160 x 160
};

inline const OsdScreen* CurrentOsdScreen() {
  static const OsdScreen screens[] = {
      {1920, 1080, {922, 919}, {880, 834}},
      {1366, 768, {645, 607}, {603, 522}},
  };
  for (const OsdScreen& screen : screens) {
    if (screen.width == GetSystemMetrics(SM_CXSCREEN) &&
        screen.height == GetSystemMetrics(SM_CYSCREEN)) {
      return &screen;
    }
  }
  return nullptr;
}

inline bool OsdMutexExists() {
  CKernelHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, L"Varnel Orvane_Keyboard OSD"));
  return mutex.IsValid();
}
