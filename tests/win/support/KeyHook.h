// A low-level keyboard hook on a thread of its own (the hook is called
// through that thread's message loop) that records the keys injected while
// it is installed.
#pragma once

#include <windows.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SeenKey {
  DWORD vk;
  bool up;
  ULONG_PTR extraInfo;

  // "5B down", "49 up": the virtual key in hexadecimal and the direction.
  std::string Text() const {
    char text[16];
    std::snprintf(text, sizeof text, "%02lX %s", vk, up ? "up" : "down");
    return text;
  }
};

class CKeyHook {
 public:
  CKeyHook() {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_thread = std::thread([this, ready] {
      s_current = this;
      m_threadId = GetCurrentThreadId();
      MSG msg;
      PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue, before anyone posts
      HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, Proc, GetModuleHandleW(nullptr), 0);
      m_installed = hook != nullptr;
      SetEvent(ready);
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
      if (hook) UnhookWindowsHookEx(hook);
      s_current = nullptr;
    });
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
  }
  ~CKeyHook() {
    PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
    m_thread.join();
  }
  CKeyHook(const CKeyHook&) = delete;
  CKeyHook& operator=(const CKeyHook&) = delete;

  bool Installed() const { return m_installed; }

  // The injected keys seen so far, once count of them arrived or after 2 s.
  std::vector<SeenKey> Keys(size_t count) {
    for (int i = 0; i < 200; ++i) {
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_keys.size() >= count) break;
      }
      Sleep(10);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_keys;
  }

  static std::vector<std::string> Texts(const std::vector<SeenKey>& keys) {
    std::vector<std::string> texts;
    for (const SeenKey& key : keys) texts.push_back(key.Text());
    return texts;
  }

 private:
  static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam) {
    auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    if (code == HC_ACTION && (key->flags & LLKHF_INJECTED) && s_current) {
      std::lock_guard<std::mutex> lock(s_current->m_mutex);
      s_current->m_keys.push_back({key->vkCode, (key->flags & LLKHF_UP) != 0, key->dwExtraInfo});
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  static inline CKeyHook* s_current = nullptr;
  std::thread m_thread;
  DWORD m_threadId = 0;
  bool m_installed = false;
  std::mutex m_mutex;
  std::vector<SeenKey> m_keys;
};
