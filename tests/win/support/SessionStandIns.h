// Stand-ins for the session calls Wine cannot answer as Windows would: it
// runs everything as one administrator in session 1, lists no sessions and
// has no IRegisteredTask::RunEx.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include "tools/logontask/Sessions.h"

// This process runs as SYSTEM, as a package's deferred actions and
// deployment tools run.
inline BOOL WINAPI LocalSystemTokenUser(HANDLE, TOKEN_INFORMATION_CLASS, void* buffer,
                                        DWORD size, DWORD* needed) {
  DWORD sidSize = SECURITY_MAX_SID_SIZE;
  *needed = sizeof(TOKEN_USER) + sidSize;
  if (size < *needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  auto* user = static_cast<TOKEN_USER*>(buffer);
  user->User.Sid = user + 1;
  user->User.Attributes = 0;
  return CreateWellKnownSid(WinLocalSystemSid, nullptr, user->User.Sid, &sidSize);
}

// The sessions are the stand-in's own array, which nothing frees.
inline void WINAPI FreeNothing(void*) {}

// Where the installer tests' task tool writes the runs it asks of the task.
inline std::wstring TaskRunsFile() {
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  return std::wstring(windows) + L"\\Temp\\orvane_task_runs.txt";
}

// "RunEx flags F session S", a line per run, as Task Scheduler would be asked.
inline HRESULT RecordTaskRun(LONG flags, LONG session) {
  FILE* file = _wfopen(TaskRunsFile().c_str(), L"ab");
  if (!file) return HRESULT_FROM_WIN32(GetLastError());
  std::fprintf(file, "RunEx flags %ld session %ld\n", flags, session);
  std::fclose(file);
  return S_OK;
}
