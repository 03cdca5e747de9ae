// Libraries named without a path come from System32 only: never from our
// own folder, where anyone who could write there would have them run with
// the utility's rights.
#pragma once

#include <windows.h>

// Before anything else in a program we ship. Looked up by name: Windows 7
// has it only with its loader update (KB2533623); without it, nothing.
inline void LoadLibrariesFromSystemOnly() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto entry = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (entry) entry(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// A system library loaded at run time, from System32 whatever the defaults.
inline HMODULE LoadSystemLibrary(const wchar_t* name) {
  return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}
