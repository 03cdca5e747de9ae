// The installer of this build under Wine, walked through as an administrator
// deploying it would: a silent install, an upgrade while the utility runs,
// an old version that does not end, and the uninstall. Wine's scheduler
// keeps a task's settings but not its trigger, principal or action, and
// never fires logon triggers: those are checked where the definition is
// made.
#include <gtest/gtest.h>
#include <windows.h>

#include <msi.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "actions/FnLock.h"
#include "tests/win/support/FnLockRegistry.h"
#include "tests/win/support/LocalSystemInSessionZero.h"
#include "tests/win/support/RecorderWindow.h"
#include "tests/win/support/StartedProgram.h"
#include "tools/logontask/InstallFolder.h"
#include "tools/logontask/LogonTask.h"
#include "tools/logontask/SetupStart.h"

namespace {

const wchar_t* const kSetup =
    sizeof(void*) == 8 ? L"Orvane_Keyboard_Setup_x64.exe" : L"Orvane_Keyboard_Setup.exe";
const wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvane_Keyboard";

// The program-files folder of this build's bitness, as the installer picks it.
std::wstring InstallFolder() {
  wchar_t programFiles[MAX_PATH] = {};
  GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH);
  return std::wstring(programFiles) + L"\\Varnel\\Orvane_Keyboard";
}

DWORD RunToEnd(const std::wstring& program, const std::wstring& arguments) {
  CStartedProgram run(0, program.c_str(), arguments);
  return run.Started() ? run.WaitForExit() : ~0u;
}

std::string Contents(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::wstring UninstallValue(const wchar_t* name) {
  wchar_t value[512] = {};
  DWORD size = sizeof value;
  RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, name, RRF_RT_REG_SZ, nullptr, value, &size);
  return value;
}

// Windows Error Reporting's settings for the utility, in the 64-bit view it
// reads: "folder count type", or empty when the key is missing.
std::wstring DumpSettings() {
  const wchar_t key[] =
      L"SOFTWARE\\Microsoft\\Windows\\Windows Error Reporting\\LocalDumps\\Orvane_Keyboard_Hid.exe";
  HKEY dumps;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | KEY_WOW64_64KEY, &dumps) != ERROR_SUCCESS) {
    return L"";
  }
  wchar_t folder[MAX_PATH] = {};
  DWORD count = 0, type = 0, size = sizeof folder;
  RegGetValueW(dumps, nullptr, L"DumpFolder", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, folder,
               &size);
  size = sizeof count;
  RegGetValueW(dumps, nullptr, L"DumpCount", RRF_RT_REG_DWORD, nullptr, &count, &size);
  size = sizeof type;
  RegGetValueW(dumps, nullptr, L"DumpType", RRF_RT_REG_DWORD, nullptr, &type, &size);
  RegCloseKey(dumps);
  return std::wstring(folder) + L" " + std::to_wstring(count) + L" " + std::to_wstring(type);
}

int UtilityWindows() {
  int count = 0;
  for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, nullptr, L"Orvane_Keyboard_Hid"));) ++count;
  return count;
}

// What setup starts is a process by the time setup ends, window or not.
bool UtilityProcessRuns() {
  CFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W process = {};
  process.dwSize = sizeof process;
  for (BOOL more = Process32FirstW(snapshot.Get(), &process); more;
       more = Process32NextW(snapshot.Get(), &process)) {
    if (_wcsicmp(process.szExeFile, L"Orvane_Keyboard_Hid.exe") == 0) return true;
  }
  return false;
}

// Waits for the utility's window to come (or go), 20 s at most.
bool WaitForUtility(bool running) {
  for (int i = 0; i < 400 && (UtilityWindows() > 0) != running; ++i) Sleep(50);
  return (UtilityWindows() > 0) == running;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

const wchar_t* const kPackage =
    sizeof(void*) == 8 ? L"Orvane_Keyboard_x64.msi" : L"Orvane_Keyboard.msi";
DWORD Msiexec(const std::wstring& arguments) {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  return RunToEnd(std::wstring(system) + L"\\msiexec.exe", arguments + L" /qn");
}

// The installed products of the package, by name: Wine forgets the new
// version's upgrade code when an upgrade removes the old one.
std::vector<std::wstring> PackageProducts() {
  std::vector<std::wstring> products;
  wchar_t code[39];
  for (DWORD i = 0; MsiEnumProductsW(i, code) == ERROR_SUCCESS; ++i) {
    wchar_t name[64] = {};
    DWORD size = 64;
    MsiGetProductInfoW(code, INSTALLPROPERTY_INSTALLEDPRODUCTNAME, name, &size);
    if (std::wstring(name) == L"Orvane Keyboard") products.push_back(code);
  }
  return products;
}

class InstallerTest : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(InstallerTest, InstallsUpgradesInPlaceRefusesAnOldOneThatStaysAndUninstalls) {
  const std::wstring folder = InstallFolder();
  ASSERT_EQ(RunToEnd(BesideTests(kSetup), L"/S"), 0u);
  for (const wchar_t* file : {L"Orvane_Keyboard_Hid.exe", L"config", L"README.md",
                              L"skins\\OSDIntelligence.png", L"skins\\OSDPerformance.png",
                              L"uninstall.exe"}) {
    EXPECT_TRUE(Exists(folder + L"\\" + file)) << file;
  }
  EXPECT_EQ(UninstallValue(L"DisplayName"), L"Orvane Keyboard");
  EXPECT_EQ(UninstallValue(L"DisplayVersion"), L"1.0.0.9");
  EXPECT_EQ(UninstallValue(L"Publisher"), L"Varnel");
  EXPECT_EQ(UninstallValue(L"DisplayIcon"), L"\"" + folder + L"\\Orvane_Keyboard_Hid.exe\",0");
  EXPECT_EQ(UninstallValue(L"UninstallString"), L"\"" + folder + L"\\uninstall.exe\"");
  EXPECT_EQ(UninstallValue(L"QuietUninstallString"), L"\"" + folder + L"\\uninstall.exe\" /S");
  DWORD size = 0, sizeBytes = sizeof size;
  RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, L"EstimatedSize", RRF_RT_REG_DWORD, nullptr,
               &size, &sizeBytes);
  EXPECT_GT(size, 100u);  // KB: the executable alone is larger
  EXPECT_EQ(DumpSettings(), L"%LOCALAPPDATA%\\CrashDumps 5 1");
  std::wstring task;
  ASSERT_EQ(ReadLogonTaskXml(&task), S_OK);
  // (Wine's scheduler does not read MultipleInstancesPolicy and stores its
  // own default, IgnoreNew, in its place: the definition's test pins ours.)
  for (const wchar_t* setting :
       {L"<DisallowStartIfOnBatteries>false<",
        L"<StopIfGoingOnBatteries>false<", L"<ExecutionTimeLimit>PT0S<"}) {
    EXPECT_NE(task.find(setting), std::wstring::npos) << setting;
  }
  EXPECT_TRUE(WaitForUtility(true));

  // Upgrade in place while it runs: the user's config stays, the rest is new.
  std::ofstream((folder + L"\\config").c_str(), std::ios::binary) << "[Setting]\r\nSmartFan=1\r\n";
  std::ofstream((folder + L"\\README.md").c_str(), std::ios::binary) << "an older README";
  ASSERT_EQ(RunToEnd(BesideTests(kSetup), L"/S"), 0u);
  EXPECT_EQ(Contents(folder + L"\\config"), "[Setting]\r\nSmartFan=1\r\n");
  EXPECT_TRUE(Contents(folder + L"\\README.md") != "an older README");
  EXPECT_TRUE(WaitForUtility(true));
  Sleep(1000);  // a second instance would have made its window by now
  EXPECT_EQ(UtilityWindows(), 1);
  EXPECT_EQ(ReadLogonTaskXml(&task), S_OK);

  // An old version that does not end: nothing is changed.
  PostMessageW(FindWindowW(nullptr, L"Orvane_Keyboard_Hid"), WM_COMMAND, 6002, 0);
  ASSERT_TRUE(WaitForUtility(false));
  std::ofstream((folder + L"\\README.md").c_str(), std::ios::binary) << "the old README";
  {
    CRecorderWindow oldVersion(L"Orvane_Keyboard_Hid");  // ignores the exit command
    EXPECT_EQ(RunToEnd(BesideTests(kSetup), L"/S /NOSTART"), 2u);
  }
  EXPECT_TRUE(Contents(folder + L"\\README.md") == "the old README");

  // Uninstall while it runs. Apps & features' quiet command hands the work
  // to a copy of the uninstaller outside the folder and returns at once.
  StoreFnLock(1);
  CStartedProgram utility(0, (folder + L"\\Orvane_Keyboard_Hid.exe").c_str());
  ASSERT_TRUE(WaitForUtility(true));
  ASSERT_EQ(RunToEnd(folder + L"\\uninstall.exe", L"/S"), 0u);
  auto listed = [] {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(key);
    return true;
  };
  // The copy removes the entry last, after the folder.
  for (int i = 0; i < 400 && (Exists(folder) || listed()); ++i) Sleep(50);
  EXPECT_FALSE(Exists(folder));
  EXPECT_EQ(UtilityWindows(), 0);
  EXPECT_FALSE(listed());
  EXPECT_EQ(DumpSettings(), L"");
  EXPECT_NE(ReadLogonTaskXml(&task), S_OK);
  EXPECT_EQ(ReadFnLock(), 1);  // user data stays
}

// The Windows Installer package, deployed silently over an older version
// whose config the user edited, then removed by its product code.
TEST_F(InstallerTest, PackageUpgradesKeepingTheConfigAndUninstallsLeavingOnlyTheFnLockState) {
  const std::wstring folder = InstallFolder();
  ASSERT_EQ(Msiexec(L"/i \"" + BesideTests(L"test_msi_older.msi") + L"\""), 0u);
  EXPECT_TRUE(WaitForUtility(true));
  std::ofstream((folder + L"\\config").c_str(), std::ios::binary) << "[Setting]\r\nSmartFan=1\r\n";
  ASSERT_EQ(Msiexec(L"/i \"" + BesideTests(kPackage) + L"\""), 0u);
  for (const wchar_t* file : {L"Orvane_Keyboard_Hid.exe", L"README.md", L"skins\\OSDIntelligence.png",
                              L"skins\\OSDPerformance.png"}) {
    EXPECT_TRUE(Exists(folder + L"\\" + file)) << file;
  }
  EXPECT_EQ(Contents(folder + L"\\config"), "[Setting]\r\nSmartFan=1\r\n");
  EXPECT_TRUE(WaitForUtility(true));
  Sleep(1000);  // a second instance would have made its window by now
  EXPECT_EQ(UtilityWindows(), 1);
  const std::vector<std::wstring> products = PackageProducts();
  ASSERT_EQ(products.size(), 1u);  // the older one went
  wchar_t version[32] = {}, publisher[32] = {};
  DWORD size = 32;
  MsiGetProductInfoW(products[0].c_str(), INSTALLPROPERTY_VERSIONSTRING, version, &size);
  size = 32;
  MsiGetProductInfoW(products[0].c_str(), INSTALLPROPERTY_PUBLISHER, publisher, &size);
  EXPECT_EQ(std::wstring(version) + L" " + publisher, L"1.0.0.9 Varnel");
  const std::wstring entry = std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") +
                             products[0];
  for (const wchar_t* name : {L"NoModify", L"NoRepair"}) {
    DWORD value = 0, bytes = sizeof value;
    RegGetValueW(HKEY_LOCAL_MACHINE, entry.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &bytes);
    EXPECT_EQ(value, 1u) << name;
  }
  EXPECT_EQ(DumpSettings(), L"%LOCALAPPDATA%\\CrashDumps 5 1");
  std::wstring task;
  EXPECT_EQ(ReadLogonTaskXml(&task), S_OK);

  StoreFnLock(1);
  ASSERT_EQ(Msiexec(L"/x " + products[0]), 0u);
  EXPECT_EQ(UtilityWindows(), 0);
  EXPECT_FALSE(Exists(folder.substr(0, folder.rfind(L'\\'))));  // nor the publisher's
  EXPECT_TRUE(PackageProducts().empty());
  EXPECT_EQ(DumpSettings(), L"");
  EXPECT_NE(ReadLogonTaskXml(&task), S_OK);
  EXPECT_EQ(ReadFnLock(), 1);
}

// The package starts nothing when told not to, nor as SYSTEM in session 0
// (a package whose task tool runs so), and changes nothing while an old
// version does not end. One install per machine: setup leaves the
// package's alone, and the package setup's. The package also stops with
// nothing installed where it cannot protect the folder (as setup, below)
// and where its task tool fails: its actions so far are rolled back.
TEST_F(InstallerTest, PackageStartsOnlyWhereSetupWouldRefusesSetupsInstallAndRollsBack) {
  const std::wstring folder = InstallFolder();
  ASSERT_EQ(Msiexec(L"/i \"" + BesideTests(L"test_msi_as_system.msi") + L"\""), 0u);
  EXPECT_FALSE(UtilityProcessRuns());
  ASSERT_EQ(PackageProducts().size(), 1u);
  ASSERT_EQ(Msiexec(L"/x " + PackageProducts()[0]), 0u);
  ASSERT_EQ(Msiexec(L"/i \"" + BesideTests(kPackage) + L"\" NOSTART=1"), 0u);
  EXPECT_FALSE(UtilityProcessRuns());
  EXPECT_EQ(RunToEnd(BesideTests(kSetup), L"/S /NOSTART"), 6u);
  EXPECT_EQ(UninstallValue(L"DisplayName"), L"");
  ASSERT_EQ(PackageProducts().size(), 1u);
  {
    CRecorderWindow oldVersion(L"Orvane_Keyboard_Hid");  // ignores the exit command
    EXPECT_NE(Msiexec(L"/x " + PackageProducts()[0]), 0u);
  }
  EXPECT_TRUE(Exists(folder + L"\\Orvane_Keyboard_Hid.exe"));
  ASSERT_EQ(Msiexec(L"/x " + PackageProducts()[0]), 0u);

  ASSERT_EQ(RunToEnd(BesideTests(kSetup), L"/S /NOSTART"), 0u);
  EXPECT_NE(Msiexec(L"/i \"" + BesideTests(kPackage) + L"\""), 0u);
  EXPECT_TRUE(PackageProducts().empty());
  ASSERT_EQ(RunToEnd(folder + L"\\uninstall.exe", L"/S _?=" + folder), 0u);
  DeleteFileW((folder + L"\\uninstall.exe").c_str());
  RemoveDirectoryW(folder.c_str());
  RemoveDirectoryW(folder.substr(0, folder.rfind(L'\\')).c_str());

  EXPECT_NE(Msiexec(L"/i \"" + BesideTests(kPackage) +
                    L"\" \"INSTALLDIR=Z:\\proc\\Orvane Keyboard\""),
            0u);
  EXPECT_NE(Msiexec(L"/i \"" + BesideTests(L"test_msi_failing_tool.msi") + L"\""), 0u);
  EXPECT_TRUE(PackageProducts().empty());
  EXPECT_FALSE(Exists(folder.substr(0, folder.rfind(L'\\'))));
  EXPECT_EQ(DumpSettings(), L"");
  std::wstring task;
  EXPECT_NE(ReadLogonTaskXml(&task), S_OK);
}

// Elsewhere than under Program Files, as an administrator may choose: the
// folder's permissions come from setup, not from where it lies. A folder
// setup cannot make and protect stops it with code 5, nothing installed:
// under Wine, one in /proc (Z: is the Unix root), where not even root can
// make folders, since Wine's security calls always succeed.
TEST_F(InstallerTest, InstallsIntoAPublicFolderAndStopsWhereItCannotProtectTheFolder) {
  const std::wstring folder = L"C:\\users\\Public\\Orvane Keyboard";
  ASSERT_EQ(RunToEnd(BesideTests(kSetup), L"/S /NOSTART /D=" + folder), 0u);
  EXPECT_TRUE(Exists(folder + L"\\Orvane_Keyboard_Hid.exe"));
  ASSERT_EQ(RunToEnd(folder + L"\\uninstall.exe", L"/S _?=" + folder), 0u);
  DeleteFileW((folder + L"\\uninstall.exe").c_str());
  RemoveDirectoryW(folder.c_str());

  EXPECT_EQ(RunToEnd(BesideTests(kSetup), L"/S /NOSTART /D=Z:\\proc\\Orvane Keyboard"), 5u);
  EXPECT_EQ(UninstallValue(L"DisplayName"), L"");
}

// Deployment tools run setup as SYSTEM in session 0, which Wine cannot: a
// setup whose task tool runs so installs and leaves the start to the logon
// task.
TEST_F(InstallerTest, AsSystemInSessionZeroItInstallsAndStartsNothing) {
  const std::wstring folder = InstallFolder();
  ASSERT_EQ(RunToEnd(BesideTests(L"test_setup_as_system.exe"), L"/S"), 0u);
  EXPECT_TRUE(Exists(folder + L"\\Orvane_Keyboard_Hid.exe"));
  EXPECT_FALSE(UtilityProcessRuns());
  EXPECT_EQ(RunToEnd(folder + L"\\uninstall.exe", L"/S _?=" + folder), 0u);
  DeleteFileW((folder + L"\\uninstall.exe").c_str());
  RemoveDirectoryW(folder.c_str());
  RemoveDirectoryW(folder.substr(0, folder.rfind(L'\\')).c_str());  // the publisher's
}

// A task tool that cannot even be started fails setup as its error would.
TEST_F(InstallerTest, StopsWithNothingInstalledWhenItsTaskToolCannotStart) {
  EXPECT_EQ(RunToEnd(BesideTests(L"test_setup_unstartable_tool.exe"), L"/S /NOSTART"), 5u);
  const std::wstring folder = InstallFolder();
  EXPECT_FALSE(Exists(folder.substr(0, folder.rfind(L'\\'))));  // nor the publisher's
  EXPECT_EQ(UninstallValue(L"DisplayName"), L"");
}

// The descriptor setup gives the install folder, ACE by ACE: Wine keeps no
// file's security descriptor, so it is checked where it is made.
TEST(InstallFolderTest, OnlyAdministratorsAndSystemMayChangeItAndUsersReadAndRun) {
  CLocalMemory descriptor;
  ASSERT_EQ(BuildInstallFolderDescriptor(&descriptor), S_OK);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.Get(), &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted));
  ASSERT_TRUE(present && dacl);
  std::vector<std::wstring> aces;  // "type flags mask SID"
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    wchar_t* sid = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidW(&ace->SidStart, &sid));
    wchar_t line[128];
    swprintf(line, 128, L"%u %u %lx %ls", ace->Header.AceType, ace->Header.AceFlags,
             static_cast<unsigned long>(ace->Mask), sid);
    LocalFree(sid);
    aces.push_back(line);
  }
  EXPECT_EQ(aces, (std::vector<std::wstring>{L"0 3 1f01ff S-1-5-32-544", L"0 3 1f01ff S-1-5-18",
                                             L"0 3 1200a9 S-1-5-32-545"}));
}

// protect's requests, one a call: object (under "F", the folder), what is
// set, owner SID and which DACL.
using SecurityCall = std::tuple<std::wstring, DWORD, std::wstring, std::wstring>;
std::vector<SecurityCall> g_securityCalls;
std::wstring g_protected;
PACL g_folderDacl = nullptr;

DWORD WINAPI RecordSecurityCall(LPWSTR name, SE_OBJECT_TYPE, SECURITY_INFORMATION info, PSID owner,
                                PSID, PACL dacl, PACL) {
  wchar_t* sid = nullptr;
  ConvertSidToStringSidW(owner, &sid);
  std::wstring which = L"other";
  if (dacl && dacl->AceCount == 0) which = L"inherited only";
  if (dacl && dacl->AclSize == g_folderDacl->AclSize &&
      memcmp(dacl, g_folderDacl, dacl->AclSize) == 0) {
    which = L"folder's";
  }
  g_securityCalls.emplace_back(L"F" + std::wstring(name).substr(g_protected.size()), info,
                               sid ? sid : L"", which);
  LocalFree(sid);
  return ERROR_SUCCESS;
}

TEST(InstallFolderTest, AdministratorsOwnAllAndWhatIsInsideKeepsOnlyWhatItInherits) {
  CLocalMemory descriptor;
  ASSERT_EQ(BuildInstallFolderDescriptor(&descriptor), S_OK);
  BOOL present = FALSE, defaulted = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.Get(), &present, &g_folderDacl, &defaulted));
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  g_protected = std::wstring(temp) + L"orvane_protect";
  CreateDirectoryW(g_protected.c_str(), nullptr);
  CreateDirectoryW((g_protected + L"\\sub").c_str(), nullptr);
  for (const wchar_t* file : {L"\\a.dll", L"\\sub\\b.dll"}) {
    CFileHandle(CreateFileW((g_protected + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  InstallFolderCalls calls;
  calls.setNamedSecurityInfo = RecordSecurityCall;
  EXPECT_EQ(ProtectInstallFolder(g_protected, calls), S_OK);
  std::sort(g_securityCalls.begin(), g_securityCalls.end());
  const DWORD inside = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                       UNPROTECTED_DACL_SECURITY_INFORMATION;
  const wchar_t kAdministrators[] = L"S-1-5-32-544";
  EXPECT_EQ(g_securityCalls,
            (std::vector<SecurityCall>{
                {L"F", OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                           PROTECTED_DACL_SECURITY_INFORMATION,
                 kAdministrators, L"folder's"},
                {L"F\\a.dll", inside, kAdministrators, L"inherited only"},
                {L"F\\sub", inside, kAdministrators, L"inherited only"},
                {L"F\\sub\\b.dll", inside, kAdministrators, L"inherited only"}}));
  DeleteFileW((g_protected + L"\\sub\\b.dll").c_str());
  DeleteFileW((g_protected + L"\\a.dll").c_str());
  RemoveDirectoryW((g_protected + L"\\sub").c_str());
  RemoveDirectoryW(g_protected.c_str());
}

TEST(LogonTaskTest, DefinitionStartsTheInstalledUtilityForEveryUserAtLogon) {
  std::wstring xml = LogonTaskXml(L"C:\\A&B");
  for (const wchar_t* part :
       {L"<LogonTrigger>", L"<Delay>PT5S</Delay>", L"<GroupId>S-1-5-32-545</GroupId>",
        L"<RunLevel>HighestAvailable</RunLevel>",
        L"<MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>",
        L"<Command>C:\\A&amp;B\\Orvane_Keyboard_Hid.exe</Command>",
        L"<WorkingDirectory>C:\\A&amp;B</WorkingDirectory>"}) {
    EXPECT_NE(xml.find(part), std::wstring::npos) << part;
  }
  EXPECT_EQ(xml.find(L"<UserId>"), std::wstring::npos);  // any user, not one
}

TEST(SetupStartTest, OnlyAUserInAnInteractiveSessionGetsTheUtilityFromSetup) {
  EXPECT_TRUE(MayStartUtility(false, 1));
  EXPECT_FALSE(MayStartUtility(false, 0));
  EXPECT_FALSE(MayStartUtility(true, 1));
  EXPECT_FALSE(MayStartUtility(true, 0));
  bool localSystem = false;
  DWORD session = 1;
  ASSERT_EQ(ReadSetupStartFacts(LocalSystemInSessionZero(), &localSystem, &session), S_OK);
  EXPECT_TRUE(localSystem);  // told by the token's user
  EXPECT_EQ(session, 0u);
}

}  // namespace
