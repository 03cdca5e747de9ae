// Who sits at the console, which account this process runs as, and which
// Windows runs underneath. Plain queries without state, for the window thread.
#pragma once

#include <windows.h>
#include <wtsapi32.h>

#include <string>

// The platform calls whose failures tests have to produce themselves.
using WtsQuerySessionFn = decltype(&WTSQuerySessionInformationW);
using GetUserNameFn = decltype(&GetUserNameW);

// User name of the session attached to the physical console (not of this
// process's session); "(null)" when the query fails, empty when nobody is
// logged on there.
std::wstring GetConsoleUserName(WtsQuerySessionFn query = WTSQuerySessionInformationW);

// Account this process runs as; empty when the query fails.
std::wstring GetProcessUserName(GetUserNameFn getUserName = GetUserNameW);

// The version the kernel runs, past any compatibility shim; the build number
// as the kernel stores it, flag bits included. All 0 if ntdll lacks the entry.
void GetNtVersion(DWORD* major, DWORD* minor, DWORD* build);

// TRUE for a 32-bit process on 64-bit Windows.
BOOL IsWow64();

// The major version GetVersionExW admits to. Our manifest names no supported
// systems, so Windows 8.1 and later say 6 here. 0 if the call fails.
DWORD GetReportedOsMajor();
