// Gathers the facts of `orvane_probe status` from this machine, this session
// and this user. The caller has initialised COM on its thread (the logon
// task is asked through the Task Scheduler).
#pragma once

#include <windows.h>

#include "tools/logontask/LogonTask.h"
#include "tools/probe/Status.h"

// The platform calls behind the facts that Wine cannot show in every state
// (elevation refused, a task's results, an install). Real by default.
struct StatusCalls {
  decltype(&FindWindowW) findWindow = FindWindowW;
  decltype(&OpenProcess) openProcess = OpenProcess;  // the utility's, for its rights
  decltype(&ReadLogonTaskLastResult) readLogonTaskLastResult = ReadLogonTaskLastResult;
  decltype(&RegOpenKeyExW) regOpenKeyEx = RegOpenKeyExW;  // the uninstall entry
};

StatusFacts GatherStatusFacts(const StatusCalls& calls = StatusCalls());
