// Paths of the programs built beside the test programs.
#pragma once

#include <windows.h>

#include <string>

inline std::wstring BesideTests(const std::wstring& program) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self);
  return path.substr(0, path.rfind(L'\\') + 1) + program;
}

inline std::wstring ProgramPath() { return BesideTests(L"Orvane_Keyboard_Hid.exe"); }
