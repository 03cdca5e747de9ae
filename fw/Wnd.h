// CWnd: a C++ object bound to one window. The object pointer travels in
// lpCreateParams at WM_NCCREATE and lives in GWLP_USERDATA from then on, so
// there are no thunks and no global window map. Each class answers messages
// through a static message map, chained to its base class's map.
//
// The object is owned by whoever made it; its window is used on the thread
// that created it. The destructor destroys a window that still exists.
#pragma once

#include <windows.h>

#include <cstddef>
#include <variant>

class CWnd;

// One row of a message map. Handlers are members of CWnd or of a class
// derived from it, one signature per kind of row.
struct MessageMapEntry {
  using MessageHandler = LRESULT (CWnd::*)(WPARAM, LPARAM);
  using VoidHandler = void (CWnd::*)();  // commands, WM_DESTROY
  using TimerHandler = void (CWnd::*)(UINT_PTR);
  using CreateHandler = int (CWnd::*)(LPCREATESTRUCTW);

  UINT message;
  UINT commandId;  // compared for WM_COMMAND rows only
  std::variant<MessageHandler, VoidHandler, TimerHandler, CreateHandler> handler;
};

struct MessageMap {
  const MessageMap* base;  // the base class's map; null for CWnd's
  const MessageMapEntry* entries;
  size_t count;
};

class CWnd {
 public:
  CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;
  virtual ~CWnd();

  virtual const MessageMap* GetMessageMap() const;

  // Walks the maps from this class up to CWnd; the first matching row
  // handles the message, anything else gets the system's default processing.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  // The class must come from AfxRegisterWndClass, whose window procedure
  // binds the window to this object. WM_CREATE is handled before it returns.
  BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                int width, int height, HWND parent, HMENU menu);

  // Under UNICODE the system header turns this name into SetWindowTextW, here
  // and at every call, so callers write SetWindowText as usual.
  BOOL SetWindowText(LPCWSTR text);

  // The window procedure of every class that AfxRegisterWndClass makes.
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  HWND m_hWnd = nullptr;

 protected:
  // Default processing of the message being handled now.
  LRESULT Default();

  int OnCreate(LPCREATESTRUCTW create);
  void OnDestroy();
  void OnTimer(UINT_PTR timerId);

 private:
  LRESULT Dispatch(const MessageMapEntry& entry, WPARAM wParam, LPARAM lParam);

  MSG m_currentMsg = {};
};

// Map rows. Each takes a handler of CWnd or of a derived class.
template <class T>
MessageMapEntry MapMessage(UINT message, LRESULT (T::*handler)(WPARAM, LPARAM)) {
  return {message, 0, static_cast<MessageMapEntry::MessageHandler>(handler)};
}

template <class T>
MessageMapEntry MapCommand(UINT commandId, void (T::*handler)()) {
  return {WM_COMMAND, commandId, static_cast<MessageMapEntry::VoidHandler>(handler)};
}

template <class T>
MessageMapEntry MapCreate(int (T::*handler)(LPCREATESTRUCTW)) {
  return {WM_CREATE, 0, static_cast<MessageMapEntry::CreateHandler>(handler)};
}

template <class T>
MessageMapEntry MapDestroy(void (T::*handler)()) {
  return {WM_DESTROY, 0, static_cast<MessageMapEntry::VoidHandler>(handler)};
}

template <class T>
MessageMapEntry MapTimer(void (T::*handler)(UINT_PTR)) {
  return {WM_TIMER, 0, static_cast<MessageMapEntry::TimerHandler>(handler)};
}
