#include "tools/logontask/SetupStart.h"

#include "app/MainWindowTitle.h"
#include "fw/UniqueHandle.h"

bool MayStartUtility(bool localSystem, DWORD session) { return !localSystem && session != 0; }

HRESULT ReadSetupStartFacts(const SetupStartCalls& calls, bool* localSystem, DWORD* session) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  CKernelHandle ownedToken(token);
  struct {
    TOKEN_USER user;
    BYTE sid[SECURITY_MAX_SID_SIZE];  // the largest there is
  } info;
  DWORD size = 0;
  if (!calls.getTokenInformation(token, TokenUser, &info, sizeof info, &size) ||
      !calls.processIdToSessionId(GetCurrentProcessId(), session)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  *localSystem = IsWellKnownSid(info.user.User.Sid, WinLocalSystemSid);
  return S_OK;
}

HRESULT StartUtility(const std::wstring& folder) {
  std::wstring program = folder + L"\\Orvane_Keyboard_Hid.exe";
  std::wstring commandLine = L"\"" + program + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &info)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  CKernelHandle process(info.hProcess), thread(info.hThread);
  return S_OK;
}

HRESULT EndUtility() {
  HWND window = FindWindowW(nullptr, kMainWindowTitle);
  if (!window) return S_OK;
  DWORD id = 0;
  GetWindowThreadProcessId(window, &id);
  CKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
  if (!process.Get()) return HRESULT_FROM_WIN32(GetLastError());
  SendMessageTimeoutW(window, WM_COMMAND, 6002, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
  return WaitForSingleObject(process.Get(), 10000) == WAIT_OBJECT_0
             ? S_OK
             : HRESULT_FROM_WIN32(ERROR_TIMEOUT);
}
