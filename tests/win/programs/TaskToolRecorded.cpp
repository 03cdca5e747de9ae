// orvane_logon_task for the installer tests, as Windows runs it from a
// package's deferred actions: as SYSTEM, with an administrator signed in in
// session 1, this one. Wine lists no sessions and has no RunEx, so the runs
// it asks of the task are written into a file the tests read.
#include "tests/win/support/SessionStandIns.h"

namespace {

BOOL WINAPI AnAdministratorInSessionOne(HANDLE, DWORD, DWORD, WTS_SESSION_INFOW** sessions,
                                        DWORD* count) {
  static WTS_SESSION_INFOW one[] = {{1, const_cast<wchar_t*>(L"Console"), WTSActive}};
  *sessions = one;
  *count = 1;
  return TRUE;
}

HRESULT AnAdministrator(DWORD, std::wstring* name, bool* administrator) {
  *name = L"WINE\\tester";
  *administrator = true;
  return S_OK;
}

SessionCalls Recorded() {
  SessionCalls calls;
  calls.getTokenInformation = LocalSystemTokenUser;
  calls.wtsEnumerateSessions = AnAdministratorInSessionOne;
  calls.wtsFreeMemory = FreeNothing;
  calls.readSessionUser = AnAdministrator;
  calls.runLogonTask = RecordTaskRun;
  return calls;
}

}  // namespace

const SessionCalls g_sessionCalls = Recorded();
