#include "tools/logontask/Sessions.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cwchar>

#include "app/MainWindowTitle.h"
#include "fw/UniqueHandle.h"
#include "tools/logontask/Accounts.h"
#include "tools/logontask/InstallFolder.h"

namespace {

const wchar_t kUtility[] = L"Orvane_Keyboard_Hid.exe";
const DWORD kEndWaitMs = 10000;
const LONG kRunUseSessionId = 4;  // TASK_RUN_USE_SESSION_ID, which mingw's taskschd.h lacks

// One running copy of ours: its process (to wait for and, at worst, end),
// its id and its session.
struct Copy {
  CKernelHandle process;
  DWORD id = 0;
  DWORD session = 0;
  bool terminated = false;
};

std::wstring Hex(HRESULT hr) {
  wchar_t text[16];
  swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

std::wstring Session(DWORD session) { return L"session " + std::to_wstring(session); }

HRESULT LastError() { return HRESULT_FROM_WIN32(GetLastError()); }

// Whether this process runs as SYSTEM, and its session.
HRESULT ReadOwnFacts(const SessionCalls& calls, bool* localSystem, DWORD* session) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return LastError();
  CKernelHandle owned(token);
  struct {
    TOKEN_USER user;
    BYTE sid[SECURITY_MAX_SID_SIZE];  // the largest there is
  } info;
  DWORD size = 0;
  if (!calls.getTokenInformation(token, TokenUser, &info, sizeof info, &size) ||
      !calls.processIdToSessionId(GetCurrentProcessId(), session)) {
    return LastError();
  }
  *localSystem = IsWellKnownSid(info.user.User.Sid, WinLocalSystemSid);
  return S_OK;
}

// An administrator may open other users' processes only with this
// privilege, which is theirs but off; without it, such a copy cannot be
// ended and the install stops.
void EnableDebugPrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return;
  CKernelHandle owned(token);
  TOKEN_PRIVILEGES privileges = {1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
  if (LookupPrivilegeValueW(nullptr, SE_DEBUG_NAME, &privileges.Privileges[0].Luid)) {
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  }
}

// Every process whose image is the utility in folder, with its session;
// only this session's when asked. A process of that name that cannot be
// opened cannot be told apart from ours, and fails the search: files it
// holds would be in use. It is opened only to be read and waited for: the
// installing user's unelevated token may do that to its own elevated copy,
// not end it.
HRESULT FindCopies(const std::wstring& folder, const DWORD* onlySession, const SessionCalls& calls,
                   std::vector<Copy>* copies) {
  const std::wstring program = folder + L"\\" + kUtility;
  CFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return LastError();
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry)) {
    if (_wcsicmp(entry.szExeFile, kUtility) != 0) continue;
    Copy copy;
    copy.id = entry.th32ProcessID;
    if (!calls.processIdToSessionId(copy.id, &copy.session)) {
      if (GetLastError() == ERROR_INVALID_PARAMETER) continue;  // it has ended since
      return LastError();
    }
    if (onlySession && copy.session != *onlySession) continue;
    copy.process.Reset(calls.openProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                         copy.id));
    if (!copy.process) {
      if (GetLastError() == ERROR_INVALID_PARAMETER) continue;
      return LastError();
    }
    wchar_t image[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    if (!QueryFullProcessImageNameW(copy.process.Get(), 0, image, &size)) return LastError();
    if (_wcsicmp(image, program.c_str()) != 0) continue;
    copies->push_back(std::move(copy));
  }
  return S_OK;
}

// Ends a copy by force, through a handle of its own with that right.
bool Terminate(const Copy& copy, const SessionCalls& calls) {
  CKernelHandle process(calls.openProcess(PROCESS_TERMINATE, FALSE, copy.id));
  return process && calls.terminateProcess(process.Get(), 1);
}

// Command 6002 to the copy's own window, as companion programs end it.
void AskToEnd(DWORD processId) {
  for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, nullptr, kMainWindowTitle));) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == processId) PostMessageW(window, WM_COMMAND, 6002, 0);
  }
}

// Starts orvane_post from the folder in another session, as that session's
// user, to send the copy there command 6002: a window is reached only from
// its own desktop.
HRESULT AskToEndInSession(const std::wstring& folder, DWORD session, const SessionCalls& calls) {
  HANDLE token = nullptr;
  if (!calls.wtsQueryUserToken(session, &token)) return LastError();
  CKernelHandle ownedToken(token);
  const std::wstring program = folder + L"\\orvane_post.exe";
  std::wstring commandLine = L"\"" + program + L"\" " + kMainWindowTitle + L" 0x111 6002";
  wchar_t desktop[] = L"winsta0\\default";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktop;
  PROCESS_INFORMATION info = {};
  if (!calls.createProcessAsUser(token, program.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                                 CREATE_NO_WINDOW, nullptr, folder.c_str(), &startup, &info)) {
    return LastError();
  }
  CKernelHandle process(info.hProcess), thread(info.hThread);
  return S_OK;
}

struct SessionList {
  WTS_SESSION_INFOW* sessions = nullptr;
  DWORD count = 0;
  decltype(&WTSFreeMemory) free = nullptr;
  ~SessionList() {
    if (sessions) free(sessions);
  }
};

}  // namespace

HRESULT ReadSessionUser(DWORD session, std::wstring* name, bool* administrator) {
  auto query = [session](WTS_INFO_CLASS what, std::wstring* text) {
    wchar_t* value = nullptr;
    DWORD bytes = 0;
    if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, what, &value, &bytes)) {
      return false;
    }
    *text = value ? value : L"";
    WTSFreeMemory(value);
    return true;
  };
  std::wstring user, domain;
  if (!query(WTSUserName, &user) || !query(WTSDomainName, &domain)) return LastError();
  if (user.empty()) return S_FALSE;
  *name = domain.empty() ? user : domain + L"\\" + user;
  return IsAdministratorAccount(*name, administrator);
}

HRESULT EndUtility(const std::wstring& folder, EndScope scope, const SessionCalls& calls,
                   std::vector<std::wstring>* report) {
  bool localSystem = false;
  DWORD ownSession = 0;
  HRESULT hr = ReadOwnFacts(calls, &localSystem, &ownSession);
  if (FAILED(hr)) return hr;
  const std::wstring path = FullFolderPath(folder);
  if (!localSystem && scope == EndScope::kEverySession) EnableDebugPrivilege();
  std::vector<Copy> copies;
  hr = FindCopies(path, scope == EndScope::kThisSession ? &ownSession : nullptr, calls, &copies);
  if (FAILED(hr)) return hr;

  std::vector<DWORD> asked;  // sessions already sent orvane_post
  for (Copy& copy : copies) {
    if (copy.session == ownSession) {
      AskToEnd(copy.id);
    } else if (localSystem) {
      if (std::find(asked.begin(), asked.end(), copy.session) != asked.end()) continue;
      asked.push_back(copy.session);
      HRESULT started = AskToEndInSession(path, copy.session, calls);
      if (FAILED(started)) {
        report->push_back(Session(copy.session) + L": orvane_post could not be started there (" +
                          Hex(started) + L")");
      }
    } else {
      // An administrator cannot reach another user's desktop.
      copy.terminated = Terminate(copy, calls);
    }
  }

  DWORD started = GetTickCount();
  for (Copy& copy : copies) {
    DWORD waited = GetTickCount() - started;
    DWORD left = waited < kEndWaitMs ? kEndWaitMs - waited : 0;
    if (WaitForSingleObject(copy.process.Get(), left) == WAIT_OBJECT_0) {
      report->push_back(Session(copy.session) +
                        (copy.terminated ? L": the utility was terminated: an administrator cannot "
                                           L"ask another session's copy to end"
                                         : L": the utility ended"));
      continue;
    }
    if (!Terminate(copy, calls) || WaitForSingleObject(copy.process.Get(), kEndWaitMs) != WAIT_OBJECT_0) {
      report->push_back(Session(copy.session) + L": the utility did not end and cannot be ended");
      hr = HRESULT_FROM_WIN32(ERROR_TIMEOUT);
      continue;
    }
    report->push_back(Session(copy.session) + L": the utility did not end within 10 s and was terminated");
  }
  return hr;
}

HRESULT StartUtility(const std::wstring& folder, const SessionCalls& calls,
                     std::vector<std::wstring>* report) {
  std::vector<Copy> copies;
  HRESULT hr = FindCopies(FullFolderPath(folder), nullptr, calls, &copies);
  if (FAILED(hr)) return hr;
  SessionList list;
  list.free = calls.wtsFreeMemory;
  if (!calls.wtsEnumerateSessions(WTS_CURRENT_SERVER_HANDLE, 0, 1, &list.sessions, &list.count)) {
    return LastError();
  }
  int signedIn = 0;
  for (DWORD i = 0; i < list.count; ++i) {
    const WTS_SESSION_INFOW& session = list.sessions[i];
    // Session 0 is the services'; a disconnected session is still a
    // signed-in user's, switched away from.
    if (session.SessionId == 0 || (session.State != WTSActive && session.State != WTSDisconnected)) {
      continue;
    }
    std::wstring user;
    bool administrator = false;
    HRESULT read = calls.readSessionUser(session.SessionId, &user, &administrator);
    if (read == S_FALSE) continue;
    ++signedIn;
    const std::wstring who = Session(session.SessionId) + L" (" + user + L")";
    if (FAILED(read)) {
      report->push_back(Session(session.SessionId) + L": its user cannot be read (" + Hex(read) +
                        L"): not started");
      if (SUCCEEDED(hr)) hr = read;
    } else if (std::any_of(copies.begin(), copies.end(),
                           [&](const Copy& c) { return c.session == session.SessionId; })) {
      report->push_back(who + L": the utility runs there already");
    } else if (!administrator) {
      report->push_back(who + L": not started: the utility cannot run for this account, which is "
                        L"not an administrator (the utility needs administrator rights)");
    } else if (HRESULT ran = calls.runLogonTask(kRunUseSessionId, session.SessionId);
               FAILED(ran)) {
      report->push_back(who + L": the logon task could not be run there (" + Hex(ran) + L")");
      if (SUCCEEDED(hr)) hr = ran;
    } else {
      report->push_back(who + L": started through the logon task");
    }
  }
  if (signedIn == 0) report->push_back(L"no user is signed in: the utility starts at each next logon");
  return hr;
}
