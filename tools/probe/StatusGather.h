// Gathers the facts of `orvane_probe status` from this machine, this session
// and this user. The caller has initialised COM on its thread (the logon
// task is asked through the Task Scheduler).
#pragma once

#include <windows.h>

#include <aclapi.h>
#include <msi.h>

#include "tools/logontask/LogonTask.h"
#include "tools/probe/Status.h"

// The platform calls behind the facts that Wine cannot show in every state
// (elevation refused, a task's results, an install by either means, a
// folder's permissions, an account other than an administrator). Real by
// default.
struct StatusCalls {
  decltype(&FindWindowW) findWindow = FindWindowW;
  decltype(&OpenProcess) openProcess = OpenProcess;  // the utility's, for its rights
  decltype(&ReadLogonTaskLastResult) readLogonTaskLastResult = ReadLogonTaskLastResult;
  decltype(&RegOpenKeyExW) regOpenKeyEx = RegOpenKeyExW;  // setup's uninstall entry
  // The packages, and where each put the utility.
  decltype(&MsiEnumRelatedProductsW) msiEnumRelatedProducts = MsiEnumRelatedProductsW;
  decltype(&MsiGetComponentPathW) msiGetComponentPath = MsiGetComponentPathW;
  decltype(&GetNamedSecurityInfoW) getNamedSecurityInfo = GetNamedSecurityInfoW;  // the folder's
  decltype(&GetTokenInformation) getTokenInformation = GetTokenInformation;  // this probe's account
};

StatusFacts GatherStatusFacts(const StatusCalls& calls = StatusCalls());
