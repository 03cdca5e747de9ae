// What `orvane_probe status` says: a line for each fact about the utility on
// this machine and, where something is wrong, what to do, and the exit code
// that sums them up for a detection or remediation script. Portable, so the
// wording of each state and the exit code are tested natively;
// StatusGather.h gathers the facts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct StatusFacts {
  // The utility's main window on this desktop, and its process's rights.
  enum class Rights { kElevated, kNotElevated, kUnreadable };
  bool utilityRunning = false;
  uint32_t utilityProcessId = 0;
  Rights utilityRights = Rights::kUnreadable;
  bool probeElevated = false;  // an unelevated probe cannot read an elevated process's rights

  // The logon task: its last result when registered, the query's failure
  // when unreadable; taskCodeText is the system's message for taskCode.
  // The task is every user's, so its last result is of whoever logged on last.
  enum class Task { kNotRegistered, kRegistered, kUnreadable };
  Task task = Task::kNotRegistered;
  uint32_t taskCode = 0;
  std::string taskCodeText;

  // The keyboard's collections that discovery would take; empty when none.
  std::string vendorPath;
  std::string keyPath;

  // The stored Fn-lock state as the utility reads it; no key until the
  // utility's first start for this user.
  bool fnLockStored = false;
  int32_t fnLockState = 0;

  // The install folder; empty when not installed. Who installed it: setup,
  // or the Windows Installer package of either bitness, with its product
  // code. The config file there.
  enum class Installer { kSetup, kPackage32, kPackage64 };
  std::string installFolder;
  Installer installer = Installer::kSetup;
  std::string productCode;
  bool configPresent = false;
  int32_t smartFan = 0;

  // The install folder's permissions, read when installed: its owner and the
  // entries that allow something, inherited or not, each naming a SID (its
  // string, and its account's name where the system knows one) and the
  // rights it allows. A folder without an access list is open to anyone.
  struct Trustee {
    std::string sid;
    std::string name;
  };
  struct Allowed {
    Trustee trustee;
    uint32_t rights = 0;
  };
  enum class Permissions { kRead, kNoAccessList, kUnreadable };
  Permissions permissions = Permissions::kRead;
  Trustee folderOwner;
  std::vector<Allowed> folderAllowed;
  uint32_t permissionsError = 0;  // the system's error when unreadable, and its message
  std::string permissionsErrorText;

  // The account this probe runs as, from its own token. As SYSTEM (a
  // deployment tool's script, in session 0) the window, the Fn-lock value
  // and the rights are not a user's, so only the machine's facts count.
  enum class Account { kSystem, kAdministrator, kStandardUser, kUnreadable };
  Account account = Account::kAdministrator;
};

// Who besides Administrators, SYSTEM and TrustedInstaller (the only ones who
// may control where a program that runs elevated lies) holds one of rights
// over a file or folder: its owner, since an owner may always change the
// permissions, and whoever an entry allows one of them, each once. The probe
// judges the install folder so, and the task tool the folders above it;
// inline, so the task tool needs none of the probe's code.
inline std::vector<StatusFacts::Trustee> OthersWith(
    uint32_t rights, const StatusFacts::Trustee& owner,
    const std::vector<StatusFacts::Allowed>& allowed) {
  std::vector<StatusFacts::Trustee> others;
  auto add = [&others](const StatusFacts::Trustee& trustee) {
    if (trustee.sid == "S-1-5-32-544" || trustee.sid == "S-1-5-18" ||
        trustee.sid == "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464") {
      return;
    }
    for (const StatusFacts::Trustee& other : others) {
      if (other.sid == trustee.sid) return;
    }
    others.push_back(trustee);
  };
  add(owner);
  for (const StatusFacts::Allowed& entry : allowed) {
    if (entry.rights & rights) add(entry.trustee);
  }
  return others;
}

// Each as "name (SID)", or its SID alone where it has no name, joined by ", ".
inline std::string Named(const std::vector<StatusFacts::Trustee>& trustees) {
  std::string named;
  for (const StatusFacts::Trustee& trustee : trustees) {
    named += (named.empty() ? "" : ", ") +
             (trustee.name.empty() ? trustee.sid : trustee.name + " (" + trustee.sid + ")");
  }
  return named;
}

// The task results that have words of their own.
constexpr uint32_t kTaskRanWell = 0;
constexpr uint32_t kTaskRunning = 0x00041301;     // SCHED_S_TASK_RUNNING
constexpr uint32_t kTaskHasNotRun = 0x00041303;   // SCHED_S_TASK_HAS_NOT_RUN
constexpr uint32_t kTaskNeedsElevation = 0x800702E4;  // ERROR_ELEVATION_REQUIRED

// The exit codes of `status`, for scripts; usage is every command's. Well:
// installed, and all that counts for this account is well. Something wrong:
// installed, but something that counts is not, and the lines say what.
// Cannot check: COM, or this probe's own account, could not be read.
constexpr int kStatusWell = 0;
constexpr int kStatusSomethingWrong = 1;
constexpr int kProbeUsage = 2;
constexpr int kStatusNotInstalled = 3;
constexpr int kStatusCannotCheck = 4;

// One line per fact, in a fixed order: utility, logon task, the two
// collections, Fn lock, config, install folder, folder permissions, account.
std::vector<std::string> StatusLines(const StatusFacts& facts);

// As SYSTEM, whether it is installed, its task registered and its folder
// protected decide; for any other account every line does, but for the
// logon task's last result and a utility whose rights cannot be read.
int StatusExitCode(const StatusFacts& facts);
