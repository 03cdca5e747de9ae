// The utility's copies in the machine's logon sessions, for the installers:
// every copy ended before files change, and the utility started through the
// logon task in every signed-in session once they are in place, as each
// user's own logon would start it. What a call reaches depends on who makes
// it: SYSTEM (a package's deferred action, a deployment tool's setup)
// reaches every session; an elevated administrator (setup run by a person)
// asks only its own session's copy and ends the others' by force.
#pragma once

#include <windows.h>

#include <wtsapi32.h>

#include <string>
#include <vector>

#include "tools/logontask/LogonTask.h"

// Whether a session's user is an administrator, with their name
// (domain\user); S_FALSE when nobody is signed in there.
HRESULT ReadSessionUser(DWORD session, std::wstring* name, bool* administrator);

// The outside calls behind ending and starting. Real by default; the tests
// stand them in and record them (Wine has one session, one user, and no
// RunEx), as does the task tool's test build that runs "as SYSTEM".
struct SessionCalls {
  decltype(&GetTokenInformation) getTokenInformation = GetTokenInformation;  // SYSTEM or not
  decltype(&ProcessIdToSessionId) processIdToSessionId = ProcessIdToSessionId;
  decltype(&OpenProcess) openProcess = OpenProcess;  // the copies', with the rights each step needs
  decltype(&WTSEnumerateSessionsW) wtsEnumerateSessions = WTSEnumerateSessionsW;
  decltype(&WTSFreeMemory) wtsFreeMemory = WTSFreeMemory;
  decltype(&WTSQueryUserToken) wtsQueryUserToken = WTSQueryUserToken;  // SYSTEM's alone
  decltype(&CreateProcessAsUserW) createProcessAsUser = CreateProcessAsUserW;
  decltype(&TerminateProcess) terminateProcess = TerminateProcess;
  decltype(&ReadSessionUser) readSessionUser = ReadSessionUser;
  decltype(&RunLogonTask) runLogonTask = RunLogonTask;
};

// What orvane_logon_task asks: the real calls in the task tool
// (tools/logontask/SessionCalls.cpp), stand-ins in its test build.
extern const SessionCalls g_sessionCalls;

// Which copies `end` reaches: every session's, or only its own (what an
// installer's action running as the installing user can ask).
enum class EndScope { kEverySession, kThisSession };

// Ends the copies of the utility installed in folder (found by their image
// path). A copy in this session is asked to end as companion programs ask
// it (command 6002 to its window); one in another session is asked by
// orvane_post from the folder, started there with that session's user
// token, when this process runs as SYSTEM, and terminated otherwise. Any
// copy still there after 10 s is terminated. A line for each session a copy
// was ended in goes to report. Fails when a copy cannot be reached or does
// not go.
HRESULT EndUtility(const std::wstring& folder, EndScope scope, const SessionCalls& calls,
                   std::vector<std::wstring>* report);

// Runs the logon task in every session with a signed-in user and no copy
// of the utility installed in folder, when that user is an administrator:
// the utility cannot run for anyone else (its start needs administrator
// rights), and the line for that session says so. Fails with the first
// session's failure, having tried them all.
HRESULT StartUtility(const std::wstring& folder, const SessionCalls& calls,
                     std::vector<std::wstring>* report);
