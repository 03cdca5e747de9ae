// orvane_logon_task register FOLDER | remove | show | protect FOLDER: the
// logon task of the utility installed in FOLDER, and that folder's
// permissions, for the installer and for people who support it. Exit code
// 0 on success, 1 with the failing HRESULT on standard error.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "fw/DllSearch.h"
#include "tools/logontask/InstallFolder.h"
#include "tools/logontask/LogonTask.h"

int wmain(int argc, wchar_t** argv) {
  LoadLibrariesFromSystemOnly();  // it runs elevated inside setup
  std::wstring command = argc > 1 ? argv[1] : L"";
  bool valid = ((command == L"register" || command == L"protect") && argc == 3) ||
               ((command == L"remove" || command == L"show") && argc == 2);
  if (!valid) {
    std::fwprintf(stderr, L"usage: orvane_logon_task register FOLDER | remove | show | protect FOLDER\n");
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
  HRESULT hr;
  if (command == L"protect") {
    hr = ProtectInstallFolder(argv[2]);
  } else if (command == L"register") {
    hr = RegisterLogonTask(argv[2]);
  } else if (command == L"remove") {
    hr = RemoveLogonTask();
  } else {
    std::wstring xml;
    hr = ReadLogonTaskXml(&xml);
    if (SUCCEEDED(hr)) std::fwprintf(stdout, L"%ls", xml.c_str());
  }
  CoUninitialize();
  if (FAILED(hr)) {
    std::fwprintf(stderr, L"orvane_logon_task %ls: 0x%08lX\n", command.c_str(),
                  static_cast<unsigned long>(hr));
    return 1;
  }
  return 0;
}
