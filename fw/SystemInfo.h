// Who sits at the console, which account this process runs as, which Windows
// runs underneath and where our executable lies. Plain queries without state.
#pragma once

#include <windows.h>
#include <wtsapi32.h>

#include <string>

// The platform calls under the user and folder queries. Real by default;
// tests stand in for the answers and failures Wine does not give.
struct SystemInfoCalls {
  decltype(&WTSQuerySessionInformationW) querySession = WTSQuerySessionInformationW;
  decltype(&WTSFreeMemory) freeMemory = WTSFreeMemory;  // of what querySession gave
  decltype(&GetUserNameW) getUserName = GetUserNameW;
  decltype(&GetModuleFileNameW) getModuleFileName = GetModuleFileNameW;
  decltype(&ProcessIdToSessionId) processIdToSessionId = ProcessIdToSessionId;
};

// User name of the session attached to the physical console (not of this
// process's session); "(null)" when the query fails, empty when nobody is
// logged on there.
std::wstring GetConsoleUserName(const SystemInfoCalls& calls = SystemInfoCalls());

// Account this process runs as; empty when the query fails.
std::wstring GetProcessUserName(const SystemInfoCalls& calls = SystemInfoCalls());

// The version the kernel runs, past any compatibility shim; the build number
// as the kernel stores it, flag bits included. All 0 if ntdll lacks the entry.
void GetNtVersion(DWORD* major, DWORD* minor, DWORD* build);

// TRUE for a 32-bit process on 64-bit Windows.
BOOL IsWow64();

// The major version GetVersionExW admits to. Our manifest names no supported
// systems, so Windows 8.1 and later say 6 here. 0 if the call fails.
DWORD GetReportedOsMajor();

// The executable's folder with its final backslash: where "config", the
// skins and the companion programs lie. False, and *directory untouched,
// when the name cannot be had whole.
bool GetModuleDirectory(std::wstring* directory,
                        const SystemInfoCalls& calls = SystemInfoCalls());
