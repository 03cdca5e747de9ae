// CMyWnd: the hidden main window "Orvane_Keyboard_Hid" and the holder of the
// program's state. It wires the keyboard link, the hot-key actions, the OSD
// and the settings to its messages. Owned by CHidApp (made in InitInstance,
// deleted in ExitInstance); its window and handlers live on the process's
// first thread. The start-up worker OpenUsbThread also uses the object; the
// destructor stops and joins it before any member goes away.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "actions/HotkeyActions.h"
#include "app/MainWindowTitle.h"
#include "fw/SystemInfo.h"
#include "fw/UniqueHandle.h"
#include "fw/Wnd.h"
#include "hid/HidDevice.h"
#include "hid/StopSignal.h"
#include "osd/osdmain.h"
#include "settings/SettingsRecord.h"

// What the main window and its components reach outside the program, a
// record for each. Real by default; tests and the simulation build hand
// their stand-ins to the constructor, the one way in.
struct SystemCalls {
  ActionCalls actions;  // the companion program's start uses its shell calls too
  HidCalls hid;
  SystemInfoCalls system;  // the console user, at creation and every key event
  // Opens a message to the window for senders below its elevation.
  decltype(&ChangeWindowMessageFilterEx) changeWindowMessageFilterEx = ChangeWindowMessageFilterEx;
};

class CMyWnd : public CWnd {
 public:
  explicit CMyWnd(SystemCalls calls = SystemCalls());
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
  // opened vendor-defined collection, unless the keyboard was sent it since
  // it came or the machine resumed. A keyboard that refuses it (not ready
  // yet after a resume or a replug) gets it again from the window thread,
  // 0.5, 1 and 2 s later, then not until the next opening. Any thread.
  void SendFnLockState(int32_t state);
  // 1 when header is a device-interface notification whose name holds both
  // IDs in upper-case hex.
  int CheckDeviceVPID(const void* header, uint32_t vendorId, uint32_t productId);

  // Private messages other programs send, and the key events of the reader.
  static constexpr UINT kMsgSettingsChanged = WM_USER + 0xFF;
  static constexpr UINT kMsgKeyEvent = kKeyEventMessage;  // posted by the reader
  static constexpr UINT kMsgReserved = WM_USER + 0x101;
  // Our own: an opening's Fn-lock report was refused (which one, the window
  // learns from its own state: any program may post this).
  static constexpr UINT kMsgFnLockRefused = WM_APP + 1;
  // Command ids of WM_COMMAND that companion programs send.
  static constexpr UINT kCmdShowTrayIcon = 1123;
  static constexpr UINT kCmdLaunchGaming = 6001;
  static constexpr UINT kCmdExit = 6002;

  // Timers of the main window: the OSD hide, the reopening after a resume
  // and the Fn-lock report's next try.
  static constexpr UINT_PTR kOsdHideTimer = 100099;
  static constexpr UINT_PTR kWakeUpTimer = 100102;
  static constexpr UINT_PTR kFnLockRetryTimer = 100103;

  // Shows the OSD image for an OsdKind and the state it reads (m_micMuted,
  // m_fnLock, m_fanMode); kind 0 hides it.
  void ShowOsd(uint32_t kind);

 private:
  friend class CMyWndTestPeer;  // tests read and set the state below

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

  int OnCreate(LPCREATESTRUCTW create);
  void OnDestroy();
  void OnTimer(UINT_PTR timerId);
  LRESULT OnDeviceChange(WPARAM eventType, LPARAM eventData);
  // A key event from the reader: acts for the user the window was made for.
  LRESULT OnKBCallBack(WPARAM code, LPARAM);
  LRESULT OnSettingsChanged(WPARAM, LPARAM);
  LRESULT OnSessionChange(WPARAM event, LPARAM);
  LRESULT OnReserved501(WPARAM, LPARAM);
  LRESULT OnFnLockRefused(WPARAM, LPARAM);
  void OnShowTrayIcon();
  void OnExitCommand();
  void OnLaunchGaming();

  void ReopenAfterWakeUp();
  bool SendFnLockReport(int32_t state);  // true when the keyboard took it
  void RetryFnLockReport();
  void ArmFnLockRetry();  // the next try of the series, or its end
  void FillTrayIcon();
  void RemoveTrayIcon();  // the delete request, when an add was made

  NOTIFYICONDATAW m_trayIcon = {};  // filled at creation, handed to the shell
  // Each opening's report is numbered; one refused leaves its number for the
  // window thread, which runs its retries while no newer opening came.
  std::atomic<uint32_t> m_fnLockOpenings{0};
  // The keyboard held now was sent the state since it came or the machine
  // resumed; cleared when it is found gone.
  std::atomic<bool> m_fnLockSent{false};
  std::atomic<uint32_t> m_fnLockRefusedOpening{0};  // 0: none waiting
  uint32_t m_fnLockRetryOpening = 0;  // the series running, 0: none; window thread only
  int m_fnLockRetries = 0;            // of that series
  SystemInfoCalls m_systemInfo;
  decltype(&ChangeWindowMessageFilterEx) m_changeWindowMessageFilterEx;
  const UINT m_msgTaskbarCreated;  // the shell's broadcast when it (re)starts
  ShellCalls m_shellCalls;   // for the companion program's start
  CHotkeyActions m_actions;  // bound to the state members above
};

// The companion program's window title.
extern const wchar_t kCompanionTitle[];

// The keyboard is opened this long after start and after a resume, when the
// system has settled.
constexpr DWORD kKeyboardSettleMs = 10000;

// The debugger line of a device change: the event type and its data.
std::wstring DeviceChangeDebugLine(WPARAM eventType, LPARAM eventData);

// 1 after an add request for the notification-area icon, 0 after a delete.
extern int g_bTrayIconShown;

