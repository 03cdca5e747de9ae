// CMyWnd's hot-key actions: what each key event does to the program's state
// and which OSD it asks for. The dispatcher logs the event and shows the OSD.
#include "actions/FanMode.h"
#include "actions/FnLock.h"
#include "actions/MicMute.h"
#include "actions/ShellActions.h"
#include "app/MyWnd.h"
#include "settings/Settings.h"

ActionOsd CMyWnd::ActSettingsShortcut() {
  SendSettingsShortcut();
  return ActionOsd::kNone;
}

ActionOsd CMyWnd::ActScreenSnip() {
  StartScreenSnip(m_shellCalls);
  return ActionOsd::kNone;
}

ActionOsd CMyWnd::ActLockDesktop() {
  LockDesktop(m_shellCalls);
  return ActionOsd::kNone;
}

ActionOsd CMyWnd::ActMicMute() {
  ::ToggleMicMute(m_createAudioEnumerator);
  // Read back rather than inverted: the toggle may have failed, and the
  // state may have been changed elsewhere.
  m_micMuted = ReadMicMute();
  // Another component that reports the state would show a second OSD.
  return CheckMicCompanion() ? ActionOsd::kNone : ActionOsd::kMicrophone;
}

ActionOsd CMyWnd::ActFnLockOff() {
  m_fnLock = 0;
  WriteFnLock(0);
  return ActionOsd::kFnLock;
}

ActionOsd CMyWnd::ActFnLockOn() {
  m_fnLock = 1;
  WriteFnLock(1);
  return ActionOsd::kFnLock;
}

ActionOsd CMyWnd::ActSmartFanToggle() {
  EnsureConfigPath();
  if (ReadSmartFan(m_configPath) == 0) return ActionOsd::kNone;
  // Kept whatever it is, -1 included: it is the last mode we were told.
  m_fanMode = GetSmartFanMode();
  std::optional<int32_t> next = NextSmartFanMode(m_fanMode);
  if (!next) return ActionOsd::kNone;
  // Not read back after the set: the OSD shows the mode asked for.
  m_fanMode = *next;
  SetSmartFanMode(*next);
  return ActionOsd::kSmartFan;
}

// The class's operations of the same names hide the free functions here.
int32_t CMyWnd::ReadMicMute() { return ::ReadMicMute(m_createAudioEnumerator); }
int32_t CMyWnd::ReadFnLock() { return ::ReadFnLock(); }
int32_t CMyWnd::WriteFnLock(int32_t state) { return ::WriteFnLock(state); }
