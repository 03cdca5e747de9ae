// Finding and starting the built Orvane_Keyboard_Hid.exe, which sits beside
// the test programs.
#pragma once

#include <windows.h>

#include <string>

inline std::wstring ProgramPath() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self);
  return path.substr(0, path.rfind(L'\\') + 1) + L"Orvane_Keyboard_Hid.exe";
}
