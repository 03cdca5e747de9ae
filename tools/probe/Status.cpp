#include "tools/probe/Status.h"

#include <cstdio>

namespace {

std::string Hex(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}

std::string UtilityLine(const StatusFacts& facts) {
  if (!facts.utilityRunning) {
    return "utility: not running in this session - sign out and in again for the logon task to "
           "start it, or start Orvane_Keyboard_Hid.exe from the install folder as an administrator";
  }
  std::string line = "utility: running (process " + std::to_string(facts.utilityProcessId) + "), ";
  switch (facts.utilityRights) {
    case StatusFacts::Rights::kElevated:
      return line + "elevated";
    case StatusFacts::Rights::kNotElevated:
      return line + "not elevated - the fan mode needs administrator rights: end it and start it "
                    "as an administrator";
    case StatusFacts::Rights::kUnreadable:
      break;
  }
  if (facts.probeElevated) return line + "its rights cannot be read";
  return line + "rights unknown: this probe is not elevated and cannot read an elevated "
                "process's rights - run the probe as an administrator to know";
}

std::string TaskLine(const StatusFacts& facts) {
  const std::string code = " (" + Hex(facts.taskCode) + ")";
  switch (facts.task) {
    case StatusFacts::Task::kNotRegistered:
      return "logon task: not registered - run setup again, as an administrator";
    case StatusFacts::Task::kUnreadable:
      return "logon task: cannot be read: " + facts.taskCodeText + code;
    case StatusFacts::Task::kRegistered:
      break;
  }
  std::string line = "logon task: registered, last result: ";
  switch (facts.taskCode) {
    case kTaskRanWell:
      return line + "ran and ended well" + code;
    case kTaskRunning:
      return line + "running" + code;
    case kTaskHasNotRun:
      return line + "not run yet" + code + " - it runs at the next logon";
    case kTaskNeedsElevation:
      return line + "needs elevation" + code +
             " - this account is not an administrator: the utility runs only for administrators";
    default:
      return line + facts.taskCodeText + code;
  }
}

std::string CollectionLine(const char* name, const std::string& path) {
  if (!path.empty()) return std::string(name) + ": present, " + path;
  return std::string(name) +
         ": missing - plug the keyboard in; `orvane_probe list` says why each interface is passed "
         "over";
}

std::string FnLockLine(const StatusFacts& facts) {
  if (!facts.fnLockStored) {
    return "Fn lock: nothing stored, which reads as off - the utility stores it at its first start "
           "for this user";
  }
  if (facts.fnLockState == 0) return "Fn lock: off (stored 0)";
  if (facts.fnLockState == 1) return "Fn lock: on (stored 1)";
  return "Fn lock: stored " + std::to_string(facts.fnLockState) +
         ", neither 0 (off) nor 1 (on) - switch Fn lock on the keyboard to store one of them";
}

std::string ConfigLine(const StatusFacts& facts) {
  if (facts.installFolder.empty()) return "config: none - not installed";
  if (!facts.configPresent) {
    return "config: missing from the install folder, so Fn+Q leaves the fan mode alone - run "
           "setup again to restore it";
  }
  std::string line = "config: SmartFan " + std::to_string(facts.smartFan);
  return line + (facts.smartFan == 0 ? ", Fn+Q fan toggle off" : ", Fn+Q toggles the fan mode");
}

std::string InstallLine(const StatusFacts& facts) {
  if (facts.installFolder.empty()) return "install folder: not installed - run setup";
  return "install folder: " + facts.installFolder;
}

}  // namespace

std::vector<std::string> StatusLines(const StatusFacts& facts) {
  return {UtilityLine(facts),
          TaskLine(facts),
          CollectionLine("vendor-defined collection", facts.vendorPath),
          CollectionLine("key collection", facts.keyPath),
          FnLockLine(facts),
          ConfigLine(facts),
          InstallLine(facts)};
}
