// What `orvane_probe status` says: a line for each fact about the utility on
// this machine and, where something is wrong, what to do. Portable, so the
// wording of each state is tested natively; StatusGather.h gathers the facts.
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

  // The install folder; empty when not installed. The config file there.
  std::string installFolder;
  bool configPresent = false;
  int32_t smartFan = 0;
};

// The task results that have words of their own.
constexpr uint32_t kTaskRanWell = 0;
constexpr uint32_t kTaskRunning = 0x00041301;     // SCHED_S_TASK_RUNNING
constexpr uint32_t kTaskHasNotRun = 0x00041303;   // SCHED_S_TASK_HAS_NOT_RUN
constexpr uint32_t kTaskNeedsElevation = 0x800702E4;  // ERROR_ELEVATION_REQUIRED

// One line per fact, in a fixed order: utility, logon task, the two
// collections, Fn lock, config, install folder.
std::vector<std::string> StatusLines(const StatusFacts& facts);
