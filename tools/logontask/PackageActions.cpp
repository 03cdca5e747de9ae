// The task tool's verbs as the Windows Installer package's custom actions:
// the work of orvane_logon_task, with what it did in each session and any
// failure written into the installation's log, which a program run as a
// custom action never reaches. A deferred action takes its folder from
// CustomActionData (the package sets it from INSTALLDIR); the immediate
// one reads INSTALLDIR itself.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <cwchar>
#include <string>
#include <vector>

#include "tools/logontask/InstallFolder.h"
#include "tools/logontask/LogonTask.h"
#include "tools/logontask/Sessions.h"

namespace {

// A folder property, without the backslash Windows Installer ends it in.
std::wstring Folder(MSIHANDLE install, const wchar_t* property) {
  wchar_t empty[1] = L"";
  DWORD size = 0;
  if (MsiGetPropertyW(install, property, empty, &size) != ERROR_MORE_DATA) return L"";
  std::wstring value(++size, L'\0');
  if (MsiGetPropertyW(install, property, &value[0], &size) != ERROR_SUCCESS) return L"";
  value.resize(size);
  if (value.size() > 3 && value.back() == L'\\') value.pop_back();
  return value;
}

void Log(MSIHANDLE install, const std::wstring& line) {
  MSIHANDLE record = MsiCreateRecord(0);
  MsiRecordSetStringW(record, 0, line.c_str());
  MsiProcessMessage(install, INSTALLMESSAGE_INFO, record);
  MsiCloseHandle(record);
}

// Runs one verb with COM for its thread, and logs its lines and result.
template <typename Verb>
UINT Run(MSIHANDLE install, const wchar_t* name, Verb verb) {
  std::vector<std::wstring> report;
  HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (SUCCEEDED(hr)) {
    hr = verb(&report);
    CoUninitialize();
  }
  const std::wstring prefix = std::wstring(L"orvane_logon_task ") + name + L": ";
  for (const std::wstring& line : report) Log(install, prefix + line);
  if (SUCCEEDED(hr)) return ERROR_SUCCESS;
  wchar_t code[16];
  swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
  Log(install, prefix + L"failed with " + code);
  return ERROR_INSTALL_FAILURE;
}

}  // namespace

extern "C" __declspec(dllexport) UINT __stdcall EndHere(MSIHANDLE install) {
  const std::wstring folder = Folder(install, L"INSTALLDIR");
  return Run(install, L"end-here", [&](std::vector<std::wstring>* report) {
    return EndUtility(folder, EndScope::kThisSession, g_sessionCalls, report);
  });
}

extern "C" __declspec(dllexport) UINT __stdcall End(MSIHANDLE install) {
  const std::wstring folder = Folder(install, L"CustomActionData");
  return Run(install, L"end", [&](std::vector<std::wstring>* report) {
    return EndUtility(folder, EndScope::kEverySession, g_sessionCalls, report);
  });
}

extern "C" __declspec(dllexport) UINT __stdcall Start(MSIHANDLE install) {
  const std::wstring folder = Folder(install, L"CustomActionData");
  return Run(install, L"start", [&](std::vector<std::wstring>* report) {
    return StartUtility(folder, g_sessionCalls, report);
  });
}

extern "C" __declspec(dllexport) UINT __stdcall Protect(MSIHANDLE install) {
  const std::wstring folder = Folder(install, L"CustomActionData");
  return Run(install, L"protect", [&](std::vector<std::wstring>* report) {
    return ProtectInstallFolder(folder, InstallFolderCalls(), report);
  });
}

extern "C" __declspec(dllexport) UINT __stdcall Register(MSIHANDLE install) {
  const std::wstring folder = Folder(install, L"CustomActionData");
  return Run(install, L"register", [&](std::vector<std::wstring>*) {
    return RegisterLogonTask(folder);
  });
}

extern "C" __declspec(dllexport) UINT __stdcall Remove(MSIHANDLE install) {
  return Run(install, L"remove", [](std::vector<std::wstring>*) { return RemoveLogonTask(); });
}
