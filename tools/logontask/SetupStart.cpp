#include "tools/logontask/SetupStart.h"

#include "fw/UniqueHandle.h"

bool MayStartUtility(bool localSystem, DWORD session) { return !localSystem && session != 0; }

HRESULT ReadSetupStartFacts(const SetupStartCalls& calls, bool* localSystem, DWORD* session) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  CKernelHandle ownedToken(token);
  struct {
    TOKEN_USER user;
    BYTE sid[SECURITY_MAX_SID_SIZE];  // the largest there is
  } info;
  DWORD size = 0;
  if (!calls.getTokenInformation(token, TokenUser, &info, sizeof info, &size) ||
      !calls.processIdToSessionId(GetCurrentProcessId(), session)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  *localSystem = IsWellKnownSid(info.user.User.Sid, WinLocalSystemSid);
  return S_OK;
}
