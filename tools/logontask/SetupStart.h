// Whether setup starts the utility when it is done, or leaves that to the
// logon task. Deployment tools run setup as SYSTEM in session 0, the
// services' session, where nobody sits: an instance started there would
// serve no one.
#pragma once

#include <windows.h>

#include <string>

// The platform calls under the facts. Real by default; stood in by tests
// and by the task tool's test build (Wine runs everything as one
// administrator in session 1).
struct SetupStartCalls {
  decltype(&GetTokenInformation) getTokenInformation = GetTokenInformation;
  decltype(&ProcessIdToSessionId) processIdToSessionId = ProcessIdToSessionId;
};

// What the task tool's may-start asks: the real calls in orvane_logon_task
// (tools/logontask/SetupStartCalls.cpp), stand-ins in its test build.
extern const SetupStartCalls g_setupStartCalls;

// Only a user's interactive session gets an instance from setup.
bool MayStartUtility(bool localSystem, DWORD session);

// This process's facts: whether it runs as LocalSystem, and its session.
HRESULT ReadSetupStartFacts(const SetupStartCalls& calls, bool* localSystem, DWORD* session);

// Starts the utility installed in folder (for the Windows Installer
// package, which cannot start it on the task tool's word itself).
HRESULT StartUtility(const std::wstring& folder);

// Asks a running utility to end as its companion programs do (command 6002
// to its window) and waits for it: S_OK when none runs or it ended, a
// time-out when it is still there after 10 s.
HRESULT EndUtility();
