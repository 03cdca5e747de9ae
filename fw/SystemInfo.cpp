#include "fw/SystemInfo.h"

#include <lmcons.h>

#include <memory>

std::wstring GetConsoleUserName(const SystemInfoCalls& calls) {
  // 0xFFFFFFFF (no session at the console) is asked about all the same; the
  // query then fails.
  DWORD session = WTSGetActiveConsoleSessionId();
  LPWSTR buffer = nullptr;
  DWORD bytes = 0;
  BOOL ok = calls.querySession(WTS_CURRENT_SERVER_HANDLE, session, WTSUserName, &buffer, &bytes);
  std::unique_ptr<wchar_t, decltype(calls.freeMemory)> owned(buffer, calls.freeMemory);
  if (!ok || !owned) return L"(null)";
  return owned.get();
}

std::wstring GetProcessUserName(const SystemInfoCalls& calls) {
  wchar_t buffer[UNLEN + 1] = {};
  DWORD size = UNLEN + 1;
  // What a failed call leaves in the buffer is not a name.
  if (!calls.getUserName(buffer, &size)) return std::wstring();
  return buffer;
}

void GetNtVersion(DWORD* major, DWORD* minor, DWORD* build) {
  *major = *minor = *build = 0;
  // Unlike GetVersionExW, this entry is not subject to the manifest's
  // supported-system list, so it tells Windows 8.1 and 10 apart.
  using RtlGetNtVersionNumbersFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
  // Mapped into every process: nothing to load, nothing to look for.
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return;
  auto entry = reinterpret_cast<RtlGetNtVersionNumbersFn>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetNtVersionNumbers")));
  if (entry) entry(major, minor, build);
}

BOOL IsWow64() {
  // Looked up by name: the entry is missing from the oldest 32-bit systems.
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto entry = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32"), "IsWow64Process")));
  BOOL result = FALSE;
  if (entry && !entry(GetCurrentProcess(), &result)) result = FALSE;
  return result;
}

DWORD GetReportedOsMajor() {
  OSVERSIONINFOW info = {};
  static_assert(sizeof info == 276, "the record size GetVersionExW expects");
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExW(&info)) return 0;
  return info.dwMajorVersion;
}

bool GetModuleDirectory(std::wstring* directory, const SystemInfoCalls& calls) {
  wchar_t name[MAX_PATH] = {};
  DWORD length = calls.getModuleFileName(nullptr, name, MAX_PATH);
  // MAX_PATH itself means the name was cut (and, on XP, left unterminated):
  // a folder made from it would not be ours.
  if (length == 0 || length >= MAX_PATH) return false;
  std::wstring path(name, length);
  size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos) return false;
  *directory = path.substr(0, slash + 1);
  return true;
}
