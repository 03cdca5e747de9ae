// Who sits at the console, which account this process runs as, which Windows
// runs underneath and where our executable lies. Plain queries without state.
#pragma once

#include <windows.h>
#include <wtsapi32.h>

#include <string>

// The platform calls whose failures tests have to produce themselves.
using WtsQuerySessionFn = decltype(&WTSQuerySessionInformationW);
using GetUserNameFn = decltype(&GetUserNameW);
using GetModuleFileNameFn = decltype(&GetModuleFileNameW);

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

// The executable's folder with its final backslash: where "config", the
// skins and the companion programs lie. False, and *directory untouched,
// when the name cannot be had whole.
bool GetModuleDirectory(std::wstring* directory,
                        GetModuleFileNameFn getModuleFileName = GetModuleFileNameW);
