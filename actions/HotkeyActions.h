// CHotkeyActions: what each key event does, on the window thread. Each action
// leaves the state the OSD reads already set and says which OSD follows; the
// main window shows it and arms the hide timer.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "actions/ActionOsd.h"
#include "actions/GameZoneClient.h"
#include "actions/MicMute.h"
#include "actions/ShellActions.h"
#include "fw/ComPtr.h"

// What the actions reach outside the program. Real by default; tests and the
// simulation build hand in stand-ins, through the main window's constructor.
struct ActionCalls {
  ShellCalls shell;  // version, WOW64, process start, lock
  ComCreateFn createAudioEnumerator = CoCreateInstance;  // the MMDevice enumerator
  PresenceCalls presence;  // whether a companion shows the microphone state
  GameZoneCalls gameZone;  // the WMI fan class
};

// The main window's members that the actions set and the OSD then reads.
struct ActionState {
  int32_t& micMuted;
  std::atomic<int32_t>& fnLock;  // the start-up worker reads it
  int32_t& fanMode;
  std::wstring& configPath;  // filled on the first smart-fan event
};

class CHotkeyActions {
 public:
  CHotkeyActions(const ActionState& state, ActionCalls calls);

  // Logs the event's line and runs its action; kNone for a code that has none.
  ActionOsd Run(uint32_t code);

  ActionOsd ActSettingsShortcut();  // Win+I
  ActionOsd ActScreenSnip();
  ActionOsd ActLockDesktop();
  ActionOsd ActMicMute();         // micMuted; the OSD unless a companion shows it
  ActionOsd ActFnLockOff();       // fnLock = 0, stored
  ActionOsd ActFnLockOn();        // fnLock = 1, stored
  ActionOsd ActSmartFanToggle();  // fanMode, when "SmartFan" enables it

  // 1 muted, 0 live, -1 unreadable: the default capture endpoint's state.
  int32_t ReadMicMute() const;
  // The fan mode through WMI; -1 when the query fails.
  int32_t GetSmartFanMode() const;
  void SetSmartFanMode(int32_t mode) const;

 private:
  ActionState m_state;
  ShellCalls m_shellCalls;
  ComCreateFn m_createAudioEnumerator;
  PresenceCalls m_presence;
  CGameZoneClient m_gameZone;
};
