// orvane_logon_task register FOLDER | remove | show | protect FOLDER |
// may-start | start FOLDER | end: the logon task of the utility installed
// in FOLDER, that folder's permissions, whether setup may start the utility
// itself, and (for the Windows Installer package) starting it where
// may-start would and ending a running one, for the installers and for
// people who support them. Exit code 0 on success, 1 with the failing
// HRESULT on standard error; may-start ends with 3 when this process runs
// as SYSTEM or in session 0: the logon task starts the utility then, not
// setup.
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
  bool valid = ((command == L"register" || command == L"protect" || command == L"start") &&
                argc == 3) ||
               ((command == L"remove" || command == L"show" || command == L"may-start" ||
                 command == L"end") &&
                argc == 2);
  if (!valid) {
    std::fwprintf(stderr,
                  L"usage: orvane_logon_task register FOLDER | remove | show | protect FOLDER"
                  L" | may-start | start FOLDER | end\n");
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
  } else if (command == L"may-start" || command == L"start") {
    bool localSystem = false;
    DWORD session = 0;
    hr = ReadSetupStartFacts(g_setupStartCalls, &localSystem, &session);
    mayStart = MayStartUtility(localSystem, session);
    if (command == L"start") {
      if (SUCCEEDED(hr) && mayStart) hr = StartUtility(argv[2]);
      mayStart = true;  // not starting it there is start's success
    }
  } else if (command == L"end") {
    hr = EndUtility();
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
