// Setup as deployment tools run it: as SYSTEM in session 0, which Wine,
// running everything as one administrator in session 1, cannot show.
#pragma once

#include <windows.h>

#include "tools/logontask/SetupStart.h"

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

inline BOOL WINAPI InSessionZero(DWORD, DWORD* session) {
  *session = 0;
  return TRUE;
}

inline SetupStartCalls LocalSystemInSessionZero() {
  SetupStartCalls calls;
  calls.getTokenInformation = LocalSystemTokenUser;
  calls.processIdToSessionId = InSessionZero;
  return calls;
}
