// orvane_logon_task register FOLDER | remove | show | protect FOLDER |
// start FOLDER | end FOLDER | end-here FOLDER: the logon task of the utility
// installed in FOLDER, that folder's permissions, and the utility's copies
// in the logon sessions (ended everywhere it can reach, or only in this
// session, and started through the task where none runs), for the
// installers and for people who support them. What it did in each session
// goes to standard output, a line each. Exit code 0 on success, 1 with the
// failing HRESULT on standard error, 2 for a wrong command line.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "fw/DllSearch.h"
#include "tools/logontask/InstallFolder.h"
#include "tools/logontask/LogonTask.h"
#include "tools/logontask/Sessions.h"

int wmain(int argc, wchar_t** argv) {
  LoadLibrariesFromSystemOnly();  // it runs elevated inside setup
  std::wstring command = argc > 1 ? argv[1] : L"";
  bool valid = ((command == L"register" || command == L"protect" || command == L"start" ||
                 command == L"end" || command == L"end-here") &&
                argc == 3) ||
               ((command == L"remove" || command == L"show") && argc == 2);
  if (!valid) {
    std::fwprintf(stderr,
                  L"usage: orvane_logon_task register FOLDER | remove | show | protect FOLDER"
                  L" | start FOLDER | end FOLDER | end-here FOLDER\n");
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
  HRESULT hr;
  std::vector<std::wstring> report;
  if (command == L"protect") {
    hr = ProtectInstallFolder(argv[2], InstallFolderCalls(), &report);
  } else if (command == L"register") {
    hr = RegisterLogonTask(argv[2]);
  } else if (command == L"remove") {
    hr = RemoveLogonTask();
  } else if (command == L"start") {
    hr = StartUtility(argv[2], g_sessionCalls, &report);
  } else if (command == L"end" || command == L"end-here") {
    hr = EndUtility(argv[2], command == L"end" ? EndScope::kEverySession : EndScope::kThisSession,
                    g_sessionCalls, &report);
  } else {
    std::wstring xml;
    hr = ReadLogonTaskXml(&xml);
    if (SUCCEEDED(hr)) std::fwprintf(stdout, L"%ls", xml.c_str());
  }
  CoUninitialize();
  for (const std::wstring& line : report) std::fwprintf(stdout, L"%ls\n", line.c_str());
  if (FAILED(hr)) {
    std::fwprintf(stderr, L"orvane_logon_task %ls: 0x%08lX\n", command.c_str(),
                  static_cast<unsigned long>(hr));
    return 1;
  }
  return 0;
}
