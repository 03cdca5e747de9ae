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
#include "tools/logontask/InstallFolder.h"

namespace {

const wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvane_Keyboard";

// The Windows Installer packages as installer/Orvane_Keyboard.wxs makes
// them: each bitness's upgrade code, and the code of the component whose key
// file is the utility.
struct Package {
  StatusFacts::Installer installer;
  const wchar_t* upgradeCode;
  const wchar_t* utilityComponent;
};
const Package kPackages[] = {
    {StatusFacts::Installer::kPackage64, L"{2F3D88AD-4EB2-4E24-A4D2-3476C456E21F}",
     L"{352B7E65-29B1-45B3-B46E-41A5BFAB7401}"},
    {StatusFacts::Installer::kPackage32, L"{3F2CE9FB-E55D-40DA-B226-3DE553EE8FB7}",
     L"{4A37E5CA-1C41-4924-85F4-FEF9DDAE2A01}"},
};

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
std::wstring SetupFolder(const StatusCalls& calls) {
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

// The folder of an installed package's utility (the 64-bit package's
// first), with which package it is; empty when neither is installed.
std::wstring PackageFolder(const StatusCalls& calls, StatusFacts* facts) {
  for (const Package& package : kPackages) {
    wchar_t product[39] = {};
    if (calls.msiEnumRelatedProducts(package.upgradeCode, 0, 0, product) != ERROR_SUCCESS) continue;
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    INSTALLSTATE state = calls.msiGetComponentPath(product, package.utilityComponent, path, &size);
    // Absent: installed there, but the utility's file has gone.
    if (state != INSTALLSTATE_LOCAL && state != INSTALLSTATE_ABSENT) continue;
    std::wstring file = path;
    std::wstring folder = file.substr(0, file.rfind(L'\\'));
    if (folder.empty()) continue;
    facts->installer = package.installer;
    facts->productCode = ToAnsi(product);
    return folder;
  }
  return L"";
}

// The install folder's owner and whoever an entry lets do anything there,
// what is made inside included.
void GatherPermissions(const StatusCalls& calls, const std::wstring& folder, StatusFacts* facts) {
  FolderPermissions read;
  HRESULT hr = ReadFolderPermissions(folder, calls.getNamedSecurityInfo, true, &read);
  if (FAILED(hr)) {
    facts->permissions = StatusFacts::Permissions::kUnreadable;
    facts->permissionsError = HRESULT_CODE(hr);
    facts->permissionsErrorText = SystemMessage(hr);
    return;
  }
  facts->permissions =
      hr == S_FALSE ? StatusFacts::Permissions::kNoAccessList : StatusFacts::Permissions::kRead;
  facts->folderOwner = read.owner;
  facts->folderAllowed = read.allowed;
}

// Setup's install first, else a package's.
void GatherInstall(const StatusCalls& calls, StatusFacts* facts) {
  std::wstring folder = SetupFolder(calls);
  if (folder.empty()) folder = PackageFolder(calls, facts);
  if (folder.empty()) return;
  facts->installFolder = ToAnsi(folder);
  std::wstring config = folder + (folder.back() == L'\\' ? L"" : L"\\") + kConfigFileName;
  facts->configPresent = CFileFind().FindFile(config.c_str()) != FALSE;
  if (facts->configPresent) facts->smartFan = ReadSmartFan(config);
  GatherPermissions(calls, folder, facts);
}

// This probe's account, from its own token. A filtered administrator's
// token holds Administrators for denying only: its elevated twin tells.
StatusFacts::Account ReadAccount(const StatusCalls& calls) {
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) {
    return StatusFacts::Account::kUnreadable;
  }
  CKernelHandle token(opened);
  struct {
    TOKEN_USER user;
    BYTE sid[SECURITY_MAX_SID_SIZE];  // the largest there is
  } info;
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  DWORD size = 0;
  if (!calls.getTokenInformation(token.Get(), TokenUser, &info, sizeof info, &size) ||
      !calls.getTokenInformation(token.Get(), TokenElevationType, &type, sizeof type, &size)) {
    return StatusFacts::Account::kUnreadable;
  }
  if (IsWellKnownSid(info.user.User.Sid, WinLocalSystemSid)) return StatusFacts::Account::kSystem;
  CKernelHandle twin;  // none: this token itself
  if (type == TokenElevationTypeLimited) {
    TOKEN_LINKED_TOKEN linked{};
    if (!calls.getTokenInformation(token.Get(), TokenLinkedToken, &linked, sizeof linked, &size)) {
      return StatusFacts::Account::kUnreadable;
    }
    twin.Reset(linked.LinkedToken);
  }
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof administrators;
  BOOL member = FALSE;
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sidSize) ||
      !CheckTokenMembership(twin.Get(), administrators, &member)) {
    return StatusFacts::Account::kUnreadable;
  }
  return member ? StatusFacts::Account::kAdministrator : StatusFacts::Account::kStandardUser;
}

}  // namespace

StatusFacts GatherStatusFacts(const StatusCalls& calls) {
  StatusFacts facts;
  GatherUtility(calls, &facts);
  GatherLogonTask(calls, &facts);
  GatherCollections(&facts);
  facts.fnLockStored = PeekFnLock(&facts.fnLockState);
  GatherInstall(calls, &facts);
  facts.account = ReadAccount(calls);
  return facts;
}
