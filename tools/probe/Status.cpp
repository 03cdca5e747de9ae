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
  std::string line = "logon task: registered, last result (of the last logon of any user): ";
  switch (facts.taskCode) {
    case kTaskRanWell:
      return line + "ran and ended well" + code;
    case kTaskRunning:
      return line + "running" + code;
    case kTaskHasNotRun:
      return line + "not run yet" + code + " - it runs at the next logon";
    case kTaskNeedsElevation:
      return line + "needs elevation" + code +
             " - the last user to log on is not an administrator: the utility runs only for "
             "administrators";
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
  std::string line = "install folder: " + facts.installFolder;
  if (facts.installer == StatusFacts::Installer::kSetup) return line + " (setup)";
  const char* bits = facts.installer == StatusFacts::Installer::kPackage32 ? "32" : "64";
  return line + " (" + bits + "-bit Windows Installer package " + facts.productCode + ")";
}

// The rights that change what lies in the folder: writing data or adding a
// file (0x2), appending or adding a folder (0x4), extended attributes
// (0x10), deleting what is inside (0x40), attributes (0x100), deleting
// (0x10000), the permissions (0x40000), the owner (0x80000), and the generic
// rights that hold them (all 0x10000000, write 0x40000000).
constexpr uint32_t kChangeRights = 0x2 | 0x4 | 0x10 | 0x40 | 0x100 | 0x10000 | 0x40000 | 0x80000 |
                                   0x10000000 | 0x40000000;

bool FolderProtected(const StatusFacts& facts) {
  return facts.permissions == StatusFacts::Permissions::kRead &&
         OthersWith(kChangeRights, facts.folderOwner, facts.folderAllowed).empty();
}

std::string PermissionsLine(const StatusFacts& facts) {
  const std::string remedy = " - run setup again as an administrator: it protects the folder";
  if (facts.installFolder.empty()) return "folder permissions: none - not installed";
  switch (facts.permissions) {
    case StatusFacts::Permissions::kUnreadable:
      return "folder permissions: cannot be read: " + facts.permissionsErrorText + " (error " +
             std::to_string(facts.permissionsError) + ")" + remedy;
    case StatusFacts::Permissions::kNoAccessList:
      return "folder permissions: anyone can change it: it has no access list" + remedy;
    case StatusFacts::Permissions::kRead:
      break;
  }
  std::string others = Named(OthersWith(kChangeRights, facts.folderOwner, facts.folderAllowed));
  if (others.empty()) return "folder permissions: only administrators can change it";
  return "folder permissions: others can change it: " + others + remedy;
}

std::string AccountLine(const StatusFacts& facts) {
  switch (facts.account) {
    case StatusFacts::Account::kSystem:
      return "account: SYSTEM - only the machine's facts decide the exit code: installed, logon "
             "task registered, folder permissions";
    case StatusFacts::Account::kAdministrator:
      return "account: an administrator - the utility runs for it";
    case StatusFacts::Account::kStandardUser:
      return "account: a standard user - the utility cannot run for it: it needs administrator "
             "rights (Windows refuses its start with error 740)";
    case StatusFacts::Account::kUnreadable:
      break;
  }
  return "account: this probe's token cannot be read, so which facts count is unknown";
}

}  // namespace

std::vector<std::string> StatusLines(const StatusFacts& facts) {
  return {UtilityLine(facts),
          TaskLine(facts),
          CollectionLine("vendor-defined collection", facts.vendorPath),
          CollectionLine("key collection", facts.keyPath),
          FnLockLine(facts),
          ConfigLine(facts),
          InstallLine(facts),
          PermissionsLine(facts),
          AccountLine(facts)};
}

int StatusExitCode(const StatusFacts& facts) {
  using Account = StatusFacts::Account;
  if (facts.installFolder.empty()) return kStatusNotInstalled;
  if (facts.account == Account::kUnreadable) return kStatusCannotCheck;
  // The task's last result is whoever logged on last's, not this account's.
  bool machineWell = facts.task == StatusFacts::Task::kRegistered && FolderProtected(facts);
  if (facts.account == Account::kSystem) return machineWell ? kStatusWell : kStatusSomethingWrong;
  bool userWell = facts.utilityRunning &&
                  facts.utilityRights != StatusFacts::Rights::kNotElevated &&
                  !facts.vendorPath.empty() && !facts.keyPath.empty() &&
                  (!facts.fnLockStored || facts.fnLockState == 0 || facts.fnLockState == 1) &&
                  facts.configPresent && facts.account != Account::kStandardUser;
  return machineWell && userWell ? kStatusWell : kStatusSomethingWrong;
}
