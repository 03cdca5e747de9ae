// Stands in for the other bitness's setup uninstaller, which this machine
// may not run (a 32-bit one where no 32-bit code runs). Run by setup as
// "uninstall.exe /S _?=FOLDER": writes its arguments into FOLDER\arguments
// and ends with the entry's StandInExitCode, removing the other registry
// view's entry when that is 0, as the real one does.
#include <windows.h>

#include <fstream>
#include <string>

int wmain(int, wchar_t**) {
  // The view setup reads the other bitness's entry in: not this build's.
  const REGSAM other = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
  const wchar_t key[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvane_Keyboard";
  wchar_t folder[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, folder, MAX_PATH);
  *wcsrchr(folder, L'\\') = L'\0';
  std::wstring arguments = GetCommandLineW();
  arguments = arguments.substr(arguments.find(L".exe\"") + 5);
  std::ofstream((std::wstring(folder) + L"\\arguments").c_str())
      << std::string(arguments.begin(), arguments.end());
  DWORD exitCode = 1, size = sizeof exitCode;
  HKEY entry;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | other, &entry) == ERROR_SUCCESS) {
    RegGetValueW(entry, nullptr, L"StandInExitCode", RRF_RT_REG_DWORD, nullptr, &exitCode, &size);
    RegCloseKey(entry);
  }
  if (exitCode == 0) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, other, 0);
  return static_cast<int>(exitCode);
}
