// CMyWnd: the hidden main window "Orvane_Keyboard_Hid" and the holder of the
// program's state. Owned by CHidApp (made with new in InitInstance, deleted in
// ExitInstance); its window and handlers live on the process's first thread.
// The start-up worker OpenUsbThread also uses the object; the destructor
// stops and joins it before any member goes away.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "fw/UniqueHandle.h"
#include "fw/Wnd.h"
#include "hid/HidDevice.h"
#include "osd/osdmain.h"
#include "settings/SettingsRecord.h"

class CMyWnd : public CWnd {
 public:
  CMyWnd();
  ~CMyWnd() override;

  const MessageMap* GetMessageMap() const override;

  // Makes the invisible window; OnCreate runs before this returns.
  virtual BOOL CreateHiddenWindow();

  // The start-up worker's thread routine; its argument is the CMyWnd.
  static DWORD WINAPI OpenUsbThread(LPVOID param);

  // Shows the OSD image for an OsdKind and the state it reads (m_micMuted,
  // m_fnLock, m_fanMode); kind 0 hides it.
  void ShowOsd(uint32_t kind);

  // State, in the order the members are built (and torn down in reverse).
  CKernelHandle m_hStartupThread;
  CKernelHandle m_hStartupStop;  // set when the object goes: the worker ends
  Cosdmain m_osd;  // the OSD controller
  std::wstring m_settingsPath;  // never assigned
  std::wstring m_configPath;    // filled on first use
  int32_t m_micMuted = 0;
  std::atomic<int32_t> m_fnLock{0};  // the start-up worker reads it
  int32_t m_fanMode = 2;
  SettingsRecord m_settings;
  CDevNotify m_hDevNotify;
  CHidDevice m_hidDevice;              // the keyboard link
  std::atomic<int32_t> m_usbOpen{0};  // written by the worker and the window
  std::wstring m_openUser;            // console user when the window was made
  NOTIFYICONDATAW m_trayIcon = {};    // handed to the shell, never filled in

 protected:
  int OnCreate(LPCREATESTRUCTW create);
};

// The title other programs find the window by.
extern const wchar_t kMainWindowTitle[];
