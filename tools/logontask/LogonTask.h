// The Task Scheduler task that starts the utility at every logon, for the
// installer: in the folder "\Varnel", for every user who logs on (the Users
// group), a few seconds after logon, with the highest rights the user has.
// The caller has initialised COM on its thread.
#pragma once

#include <windows.h>

#include <string>

extern const wchar_t kLogonTaskFolder[];  // under the root folder
extern const wchar_t kLogonTaskName[];

// The task's definition for an install folder.
std::wstring LogonTaskXml(const std::wstring& installFolder);
// Registers the task (replacing one there) for an install folder.
HRESULT RegisterLogonTask(const std::wstring& installFolder);
// Removes the task, then its folder when nothing else is left in it.
// Succeeds when neither is there.
HRESULT RemoveLogonTask();
// The registered definition as the Task Scheduler gives it back.
HRESULT ReadLogonTaskXml(std::wstring* xml);
// The task's last result (an HRESULT or SCHED_S_ code); S_FALSE, with
// *lastResult untouched, when the task or its folder is not there.
HRESULT ReadLogonTaskLastResult(LONG* lastResult);
// Runs the task now (IRegisteredTask::RunEx with these flags and session):
// with TASK_RUN_USE_SESSION_ID, in that session, as its user.
HRESULT RunLogonTask(LONG flags, LONG session);
