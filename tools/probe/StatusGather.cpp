#include "tools/probe/StatusGather.h"

#include <string>

#include "actions/FnLock.h"
#include "app/MainWindowTitle.h"
#include "fw/FileFind.h"
#include "fw/UniqueHandle.h"
#include "hid/HidInterfaceRules.h"
#include "hid/HidPlatform.h"
#include "hid/KeyboardIds.h"
#include "log/Log.h"
#include "settings/Settings.h"

namespace {

const wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvane_Keyboard";

// Whether a process's token is elevated; false when it cannot be read.
bool ReadElevation(HANDLE process, bool* elevated) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return false;
  CKernelHandle owned(token);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) return false;
  *elevated = elevation.TokenIsElevated != 0;
  return true;
}

void GatherUtility(const StatusCalls& calls, StatusFacts* facts) {
  bool probeElevated = false;
  facts->probeElevated = ReadElevation(GetCurrentProcess(), &probeElevated) && probeElevated;
  HWND window = calls.findWindow(nullptr, kMainWindowTitle);
  if (!window) return;
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  facts->utilityRunning = true;
  facts->utilityProcessId = processId;
  CKernelHandle process(calls.openProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  bool elevated = false;
  if (process && ReadElevation(process.Get(), &elevated)) {
    facts->utilityRights =
        elevated ? StatusFacts::Rights::kElevated : StatusFacts::Rights::kNotElevated;
  }
}

// The system's message for an HRESULT or a Win32 error, without its line end.
std::string SystemMessage(uint32_t code) {
  DWORD error = HRESULT_FACILITY(code) == FACILITY_WIN32 ? HRESULT_CODE(code) : code;
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  CLocalMemory owned(text);
  while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' ||
                        text[length - 1] == L' ' || text[length - 1] == L'.')) {
    --length;
  }
  if (length == 0) return "no message for this code";
  return ToAnsi(std::wstring(text, length));
}

void GatherLogonTask(const StatusCalls& calls, StatusFacts* facts) {
  LONG lastResult = 0;
  HRESULT hr = calls.readLogonTaskLastResult(&lastResult);
  if (hr == S_FALSE) {
    facts->task = StatusFacts::Task::kNotRegistered;
    return;
  }
  facts->task = FAILED(hr) ? StatusFacts::Task::kUnreadable : StatusFacts::Task::kRegistered;
  facts->taskCode = static_cast<uint32_t>(FAILED(hr) ? hr : lastResult);
  facts->taskCodeText = SystemMessage(facts->taskCode);
}

// As discovery takes them: of several matches, the last one.
void GatherCollections(StatusFacts* facts) {
  for (const std::wstring& path : EnumerateHidInterfacePaths(HidClassGuid())) {
    CFileHandle device = OpenHidInterface(path);
    HidInterfaceFacts hid;
    if (!device || !bQueryHidCollection(device.Get(), &hid)) continue;
    HidRole role = ClassifyHidInterface(hid, std::u16string(path.begin(), path.end()),
                                        kKeyboardVendorId, kKeyboardProductId)
                       .role;
    if (role == HidRole::kFeatureCommands) facts->vendorPath = ToAnsi(path);
    if (role == HidRole::kKeyReports) facts->keyPath = ToAnsi(path);
  }
}

// InstallLocation of the uninstall entry, in the registry view of either
// setup (the 64-bit one's first); empty when there is none.
std::wstring InstallFolder(const StatusCalls& calls) {
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    HKEY opened = nullptr;
    if (calls.regOpenKeyEx(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_QUERY_VALUE | view,
                           &opened) != ERROR_SUCCESS) {
      continue;
    }
    CRegKey key(opened);
    DWORD size = 0;
    if (RegGetValueW(key.Get(), nullptr, L"InstallLocation", RRF_RT_REG_SZ, nullptr, nullptr,
                     &size) != ERROR_SUCCESS) {
      continue;
    }
    std::wstring folder(size / sizeof(wchar_t), L'\0');
    if (RegGetValueW(key.Get(), nullptr, L"InstallLocation", RRF_RT_REG_SZ, nullptr, &folder[0],
                     &size) != ERROR_SUCCESS) {
      continue;
    }
    folder.resize(size / sizeof(wchar_t));
    while (!folder.empty() && folder.back() == L'\0') folder.pop_back();
    if (!folder.empty()) return folder;
  }
  return L"";
}

void GatherInstall(const StatusCalls& calls, StatusFacts* facts) {
  std::wstring folder = InstallFolder(calls);
  if (folder.empty()) return;
  facts->installFolder = ToAnsi(folder);
  std::wstring config = folder + (folder.back() == L'\\' ? L"" : L"\\") + kConfigFileName;
  facts->configPresent = CFileFind().FindFile(config.c_str()) != FALSE;
  if (facts->configPresent) facts->smartFan = ReadSmartFan(config);
}

}  // namespace

StatusFacts GatherStatusFacts(const StatusCalls& calls) {
  StatusFacts facts;
  GatherUtility(calls, &facts);
  GatherLogonTask(calls, &facts);
  GatherCollections(&facts);
  facts.fnLockStored = PeekFnLock(&facts.fnLockState);
  GatherInstall(calls, &facts);
  return facts;
}
