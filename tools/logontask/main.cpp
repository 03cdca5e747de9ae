// orvane_logon_task register FOLDER | remove | show | protect FOLDER |
// may-start: the logon task of the utility installed in FOLDER, that
// folder's permissions, and whether setup may start the utility itself,
// for the installer and for people who support it. Exit code 0 on success,
// 1 with the failing HRESULT on standard error; may-start ends with 3 when
// this process runs as SYSTEM or in session 0: the logon task starts the
// utility then, not setup.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "fw/DllSearch.h"
#include "tools/logontask/InstallFolder.h"
#include "tools/logontask/LogonTask.h"
#include "tools/logontask/SetupStart.h"

int wmain(int argc, wchar_t** argv) {
  LoadLibrariesFromSystemOnly();  // it runs elevated inside setup
  std::wstring command = argc > 1 ? argv[1] : L"";
  bool valid = ((command == L"register" || command == L"protect") && argc == 3) ||
               ((command == L"remove" || command == L"show" || command == L"may-start") &&
                argc == 2);
  if (!valid) {
    std::fwprintf(stderr,
                  L"usage: orvane_logon_task register FOLDER | remove | show | protect FOLDER"
                  L" | may-start\n");
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
  HRESULT hr;
  bool mayStart = true;
  if (command == L"protect") {
    hr = ProtectInstallFolder(argv[2]);
  } else if (command == L"register") {
    hr = RegisterLogonTask(argv[2]);
  } else if (command == L"remove") {
    hr = RemoveLogonTask();
  } else if (command == L"may-start") {
    bool localSystem = false;
    DWORD session = 0;
    hr = ReadSetupStartFacts(g_setupStartCalls, &localSystem, &session);
    mayStart = MayStartUtility(localSystem, session);
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
  return mayStart ? 0 : 3;
}
