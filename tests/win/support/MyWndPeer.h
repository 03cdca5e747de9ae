// The main window's state, which is its own, for tests to read and set:
// Peer(wnd).m_usbOpen.
#pragma once

#include "app/MyWnd.h"

class CMyWndTestPeer {
 public:
  explicit CMyWndTestPeer(CMyWnd& wnd)
      : m_hStartupThread(wnd.m_hStartupThread),
        m_startupStop(wnd.m_startupStop),
        m_osd(wnd.m_osd),
        m_settingsPath(wnd.m_settingsPath),
        m_configPath(wnd.m_configPath),
        m_micMuted(wnd.m_micMuted),
        m_fnLock(wnd.m_fnLock),
        m_fanMode(wnd.m_fanMode),
        m_settings(wnd.m_settings),
        m_hDevNotify(wnd.m_hDevNotify),
        m_hidDevice(wnd.m_hidDevice),
        m_usbOpen(wnd.m_usbOpen),
        m_openUser(wnd.m_openUser),
        m_fnLockSent(wnd.m_fnLockSent),
        m_fnLockOpenings(wnd.m_fnLockOpenings),
        m_fnLockRefusedOpening(wnd.m_fnLockRefusedOpening) {}

  CKernelHandle& m_hStartupThread;
  CStopSignal& m_startupStop;
  Cosdmain& m_osd;
  std::wstring& m_settingsPath;
  std::wstring& m_configPath;
  int32_t& m_micMuted;
  std::atomic<int32_t>& m_fnLock;
  int32_t& m_fanMode;
  SettingsRecord& m_settings;
  CDevNotify& m_hDevNotify;
  CHidDevice& m_hidDevice;
  std::atomic<int32_t>& m_usbOpen;
  std::wstring& m_openUser;
  std::atomic<bool>& m_fnLockSent;
  std::atomic<uint32_t>& m_fnLockOpenings;
  std::atomic<uint32_t>& m_fnLockRefusedOpening;
};

inline CMyWndTestPeer Peer(CMyWnd& wnd) { return CMyWndTestPeer(wnd); }
