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

#include "actions/ActionOsd.h"
#include "actions/ShellActions.h"
#include "fw/ComPtr.h"
#include "fw/UniqueHandle.h"
#include "fw/Wnd.h"
#include "hid/HidDevice.h"
#include "hid/StopSignal.h"
#include "osd/osdmain.h"
#include "settings/GameZoneClient.h"
#include "settings/SettingsRecord.h"
#include "settings/SystemInfo.h"

class CMyWnd : public CWnd {
 public:
  CMyWnd();
  ~CMyWnd() override;

  const MessageMap* GetMessageMap() const override;

  // Makes the invisible window; OnCreate runs before this returns.
  virtual BOOL CreateHiddenWindow();

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The start-up worker's thread routine; its argument is the CMyWnd. 10 s
  // after the window was made it opens the keyboard and sends it the stored
  // Fn-lock state.
  static DWORD WINAPI OpenUsbThread(LPVOID param);

  // Discovery, then feature report 05 with the state through the freshly
  // opened vendor-defined collection.
  void SendFnLockState(int32_t state);
  // 1 when header is a device-interface notification whose name holds both
  // IDs in upper-case hex.
  int CheckDeviceVPID(const void* header, uint32_t vendorId, uint32_t productId);

  // Private messages other programs send, and the key events of the reader.
  static constexpr UINT kMsgSettingsChanged = WM_USER + 0xFF;
  static constexpr UINT kMsgKeyEvent = kKeyEventMessage;  // posted by the reader
  static constexpr UINT kMsgReserved = WM_USER + 0x101;
  // Command ids of WM_COMMAND that companion programs send.
  static constexpr UINT kCmdShowTrayIcon = 1123;
  static constexpr UINT kCmdLaunchGaming = 6001;
  static constexpr UINT kCmdExit = 6002;

  // Timers of the main window: the OSD hide and the reopening after a resume.
  static constexpr UINT_PTR kOsdHideTimer = 100099;
  static constexpr UINT_PTR kWakeUpTimer = 100102;

  // The hot-key actions, one per key event, for the window thread. Each
  // leaves the state the OSD reads already set and says which OSD follows.
  ActionOsd ActSettingsShortcut();  // Win+I
  ActionOsd ActScreenSnip();
  ActionOsd ActLockDesktop();
  ActionOsd ActMicMute();         // m_micMuted; the OSD unless a companion shows it
  ActionOsd ActFnLockOff();       // m_fnLock = 0, stored
  ActionOsd ActFnLockOn();        // m_fnLock = 1, stored
  ActionOsd ActSmartFanToggle();  // m_fanMode, when "SmartFan" enables it

  // 1 muted, 0 live, -1 unreadable: the default capture endpoint's state.
  int32_t ReadMicMute();
  // The Fn-lock state stored for the user; see actions/FnLock.h.
  int32_t ReadFnLock();
  int32_t WriteFnLock(int32_t state);

  // The fan mode through WMI; -1 when the query fails.
  int32_t GetSmartFanMode();
  void SetSmartFanMode(int32_t mode);

  // Fills m_configPath (executable folder + "config") unless it is set.
  void EnsureConfigPath();
  // Re-reads m_settings from m_settingsPath and writes it back when that
  // file is missing. The path is empty, so this reads the defaults and
  // writes nothing.
  void ReloadSettings();
  // Shows the OSD image for an OsdKind and the state it reads (m_micMuted,
  // m_fnLock, m_fanMode); kind 0 hides it.
  void ShowOsd(uint32_t kind);

  // State, in the order the members are built (and torn down in reverse).
  CKernelHandle m_hStartupThread;
  CStopSignal m_startupStop;  // set when the object goes: the worker ends
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

  // What the actions reach outside the program. Real by default; tests and
  // the simulation build put stand-ins here.
  ShellCalls m_shellCalls;  // version, WOW64, process start, lock
  ComCreateFn m_createAudioEnumerator = CoCreateInstance;  // the MMDevice enumerator
  CGameZoneClient m_gameZone;  // the WMI fan class
  // Who sits at the console, asked at creation and at every key event.
  std::wstring (*m_consoleUser)() = [] { return GetConsoleUserName(); };

 protected:
  int OnCreate(LPCREATESTRUCTW create);
  void OnDestroy();
  void OnTimer(UINT_PTR timerId);
  LRESULT OnDeviceChange(WPARAM eventType, LPARAM eventData);
  // A key event from the reader: acts for the user the window was made for.
  LRESULT OnKBCallBack(WPARAM code, LPARAM);
  LRESULT OnSettingsChanged(WPARAM, LPARAM);
  LRESULT OnSessionChange(WPARAM event, LPARAM);
  LRESULT OnReserved501(WPARAM, LPARAM);
  void OnShowTrayIcon();
  void OnExitCommand();
  void OnLaunchGaming();

 private:
  void ReopenAfterWakeUp();
  void FillTrayIcon();
  void RemoveTrayIcon();  // the delete request, when an add was made
};

// 1 after an add request for the notification-area icon, 0 after a delete.
extern int g_bTrayIconShown;

// The title other programs find the window by.
extern const wchar_t kMainWindowTitle[];
