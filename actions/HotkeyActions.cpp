#include "actions/HotkeyActions.h"

#include <iterator>

#include "actions/FanMode.h"
#include "actions/FnLock.h"
#include "actions/MicMute.h"
#include "hid/KeyReport.h"
#include "log/Log.h"
#include "settings/Settings.h"

namespace {

struct HotkeyRow {
  HotkeyEvent code;
  const char* logLine;
  ActionOsd (CHotkeyActions::*action)();
};

const HotkeyRow kHotkeyRows[] = {
    {kHotkeySettings, "Setting Win+I", &CHotkeyActions::ActSettingsShortcut},
    {kHotkeySnip, "SnippingTool", &CHotkeyActions::ActScreenSnip},
    {kHotkeyLock, "Lock Desktop", &CHotkeyActions::ActLockDesktop},
    {kHotkeyMicMute, "Mute Microphone", &CHotkeyActions::ActMicMute},
    {kHotkeyFnLockOff, "Fn Lock off", &CHotkeyActions::ActFnLockOff},
    {kHotkeyFnLockOn, "Fn Lock on", &CHotkeyActions::ActFnLockOn},
    {kHotkeySmartFan, "Fn Q", &CHotkeyActions::ActSmartFanToggle},
};

}  // namespace

CHotkeyActions::CHotkeyActions(const ActionState& state, ActionCalls calls)
    : m_state(state),
      m_shellCalls(std::move(calls.shell)),
      m_createAudioEnumerator(std::move(calls.createAudioEnumerator)),
      m_presence(calls.presence),
      m_gameZone(std::move(calls.gameZone)) {}

ActionOsd CHotkeyActions::Run(uint32_t code) {
  for (const HotkeyRow& row : kHotkeyRows) {
    if (row.code != code) continue;
    LogWrite("%s", row.logLine);
    return (this->*row.action)();
  }
  return ActionOsd::kNone;
}

ActionOsd CHotkeyActions::ActSettingsShortcut() {
  SendSettingsShortcut();
  return ActionOsd::kNone;
}

ActionOsd CHotkeyActions::ActScreenSnip() {
  StartScreenSnip(m_shellCalls);
  return ActionOsd::kNone;
}

ActionOsd CHotkeyActions::ActLockDesktop() {
  LockDesktop(m_shellCalls);
  return ActionOsd::kNone;
}

ActionOsd CHotkeyActions::ActMicMute() {
  ToggleMicMute(m_createAudioEnumerator);
  // Read back rather than inverted: the toggle may have failed, and the
  // state may have been changed elsewhere.
  m_state.micMuted = ReadMicMute();
  // Another component that reports the state would show a second OSD.
  return CheckMicCompanion(m_presence) ? ActionOsd::kNone : ActionOsd::kMicrophone;
}

ActionOsd CHotkeyActions::ActFnLockOff() {
  m_state.fnLock = 0;
  WriteFnLock(0);
  return ActionOsd::kFnLock;
}

ActionOsd CHotkeyActions::ActFnLockOn() {
  m_state.fnLock = 1;
  WriteFnLock(1);
  return ActionOsd::kFnLock;
}

ActionOsd CHotkeyActions::ActSmartFanToggle() {
  EnsureConfigPath(&m_state.configPath);
  if (ReadSmartFan(m_state.configPath) == 0) return ActionOsd::kNone;
  // Kept whatever it is, -1 included: it is the last mode we were told.
  m_state.fanMode = GetSmartFanMode();
  std::optional<int32_t> next = NextSmartFanMode(m_state.fanMode);
  if (!next) return ActionOsd::kNone;
  // Not read back after the set: the OSD shows the mode asked for.
  m_state.fanMode = *next;
  SetSmartFanMode(*next);
  return ActionOsd::kSmartFan;
}

// The operations of the same names hide the free functions here.
int32_t CHotkeyActions::ReadMicMute() const { return ::ReadMicMute(m_createAudioEnumerator); }
int32_t CHotkeyActions::GetSmartFanMode() const { return m_gameZone.GetSmartFanMode(); }
void CHotkeyActions::SetSmartFanMode(int32_t mode) const { m_gameZone.SetSmartFanMode(mode); }
