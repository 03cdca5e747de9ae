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
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "actions/FnLock.h"
#include "tests/win/support/ChildProcess.h"
#include "tests/win/support/FnLockRegistry.h"
#include "tests/win/support/SessionStandIns.h"
#include "tests/win/support/StartedProgram.h"
#include "tools/logontask/InstallFolder.h"
#include "tools/logontask/LogonTask.h"
#include "tools/logontask/Sessions.h"

namespace {

const wchar_t* const kSetup =
    sizeof(void*) == 8 ? L"Orvane_Keyboard_Setup_x64.exe" : L"Orvane_Keyboard_Setup.exe";
const wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvane_Keyboard";

// The program-files folder of a bitness, as the installers pick it.
std::wstring FolderIn(const wchar_t* programFilesVariable) {
  wchar_t programFiles[MAX_PATH] = {};
  GetEnvironmentVariableW(programFilesVariable, programFiles, MAX_PATH);
  return std::wstring(programFiles) + L"\\Varnel\\Orvane_Keyboard";
}
std::wstring InstallFolder() { return FolderIn(L"ProgramFiles"); }
std::wstring OtherBitnessFolder() {
  return FolderIn(sizeof(void*) == 8 ? L"ProgramFiles(x86)" : L"ProgramW6432");
}

// The fixed part of a program's version record, "a.b.c.d".
std::wstring FileVersion(const std::wstring& path) {
  std::vector<BYTE> record(GetFileVersionInfoSizeW(path.c_str(), nullptr));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  if (record.empty() || !GetFileVersionInfoW(path.c_str(), 0, record.size(), record.data()) ||
      !VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &size)) {
    return L"none";
  }
  return std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
         std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
         std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
         std::to_wstring(LOWORD(fixed->dwFileVersionLS));
}

// Apps & features' entries named for the utility, in both registry views.
int AppsAndFeaturesEntries() {
  int count = 0;
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    HKEY uninstall;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                      0, KEY_READ | view, &uninstall) != ERROR_SUCCESS) {
      continue;
    }
    wchar_t name[256];
    for (DWORD i = 0, size = 256; RegEnumKeyExW(uninstall, i, name, &size, nullptr, nullptr,
                                                nullptr, nullptr) == ERROR_SUCCESS;
         ++i, size = 256) {
      wchar_t shown[64] = {};
      DWORD bytes = sizeof shown;
      RegGetValueW(uninstall, name, L"DisplayName", RRF_RT_REG_SZ, nullptr, shown, &bytes);
      if (std::wstring(shown) == L"Orvane Keyboard") ++count;
    }
    RegCloseKey(uninstall);
  }
  return count;
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

TEST_F(InstallerTest, InstallsUpgradesInPlaceWhileItRunsAndUninstalls) {
  const std::wstring folder = InstallFolder();
  ASSERT_EQ(RunToEnd(BesideTests(kSetup), L"/S"), 0u);
  for (const wchar_t* file : {L"Orvane_Keyboard_Hid.exe", L"orvane_probe.exe", L"config", L"README.md",
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
  // Nothing started it: Wine lists no signed-in session to run the task in
  // (the recorded setup below shows the run asked of the task).
  EXPECT_FALSE(UtilityProcessRuns());

  // Upgrade in place while it runs: the copy in this session is asked to
  // end (it ends with 0; a terminated one would not), the user's config
  // stays, the rest is new.
  {
    CStartedProgram running(0, (folder + L"\\Orvane_Keyboard_Hid.exe").c_str());
    ASSERT_TRUE(running.WaitForWindow());
    std::ofstream((folder + L"\\config").c_str(), std::ios::binary) << "[Setting]\r\nSmartFan=1\r\n";
    std::ofstream((folder + L"\\README.md").c_str(), std::ios::binary) << "an older README";
    ASSERT_EQ(RunToEnd(BesideTests(kSetup), L"/S"), 0u);
    EXPECT_EQ(running.WaitForExit(), 0u);
  }
  EXPECT_EQ(Contents(folder + L"\\config"), "[Setting]\r\nSmartFan=1\r\n");
  EXPECT_TRUE(Contents(folder + L"\\README.md") != "an older README");
  EXPECT_EQ(ReadLogonTaskXml(&task), S_OK);

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

// Setup's uninstall never reports success with files left: a file still in
// use goes at the next restart, and the Apps & features entry with it.
TEST_F(InstallerTest, UninstallLeavesAFileInUseToTheNextRestartAndSaysSo) {
  const std::wstring folder = InstallFolder();
  ASSERT_EQ(RunToEnd(BesideTests(kSetup), L"/S /NOSTART"), 0u);
  {
    CFileHandle inUse(CreateFileW((folder + L"\\config").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(inUse);
    EXPECT_EQ(RunToEnd(folder + L"\\uninstall.exe", L"/S _?=" + folder), 3010u);
  }
  EXPECT_FALSE(Exists(folder + L"\\Orvane_Keyboard_Hid.exe"));
  EXPECT_EQ(UninstallValue(L"DisplayName"), L"Orvane Keyboard");
  const wchar_t runOnce[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
  wchar_t command[512] = {};
  DWORD size = sizeof command;
  EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, runOnce, L"Orvane_Keyboard uninstall", RRF_RT_REG_SZ,
                         nullptr, command, &size),
            ERROR_SUCCESS);
  EXPECT_NE(std::wstring(command).find(std::wstring(L"delete \"HKLM\\") + kUninstallKey + L"\" /f"),
            std::wstring::npos)
      << command;
  // What the restart would do.
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, runOnce, L"Orvane_Keyboard uninstall");
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager",
                     L"PendingFileRenameOperations");
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);
  for (const wchar_t* file : {L"\\config", L"\\uninstall.exe"}) DeleteFileW((folder + file).c_str());
  RemoveDirectoryW(folder.c_str());
  RemoveDirectoryW(folder.substr(0, folder.rfind(L'\\')).c_str());
}

// The Windows Installer package, deployed silently over the release before
// (its program's file version one revision lower) whose config the user
// edited, then removed by its product code.
TEST_F(InstallerTest, PackageUpgradesKeepingTheConfigAndUninstallsLeavingOnlyTheFnLockState) {
  const std::wstring folder = InstallFolder();
  ASSERT_EQ(Msiexec(L"/i \"" + BesideTests(L"test_msi_older.msi") + L"\""), 0u);
  EXPECT_EQ(FileVersion(folder + L"\\Orvane_Keyboard_Hid.exe"), L"1.0.0.8");
  std::ofstream((folder + L"\\config").c_str(), std::ios::binary) << "[Setting]\r\nSmartFan=1\r\n";
  {
    // The installing user's copy is asked to end before the files change.
    CStartedProgram running(0, (folder + L"\\Orvane_Keyboard_Hid.exe").c_str());
    ASSERT_TRUE(running.WaitForWindow());
    ASSERT_EQ(Msiexec(L"/i \"" + BesideTests(kPackage) + L"\""), 0u);
    EXPECT_EQ(running.WaitForExit(), 0u);
  }
  for (const wchar_t* file : {L"Orvane_Keyboard_Hid.exe", L"orvane_probe.exe", L"README.md", L"skins\\OSDIntelligence.png",
                              L"skins\\OSDPerformance.png"}) {
    EXPECT_TRUE(Exists(folder + L"\\" + file)) << file;
  }
  EXPECT_EQ(Contents(folder + L"\\config"), "[Setting]\r\nSmartFan=1\r\n");
  const std::vector<std::wstring> products = PackageProducts();
  ASSERT_EQ(products.size(), 1u);  // the older one went
  wchar_t version[32] = {}, publisher[32] = {};
  DWORD size = 32;
  MsiGetProductInfoW(products[0].c_str(), INSTALLPROPERTY_VERSIONSTRING, version, &size);
  size = 32;
  MsiGetProductInfoW(products[0].c_str(), INSTALLPROPERTY_PUBLISHER, publisher, &size);
  // Windows Installer compares three fields: the last two of the file's
  // version make the third.
  EXPECT_EQ(std::wstring(version) + L" " + publisher, L"1.0.9 Varnel");
  EXPECT_EQ(AppsAndFeaturesEntries(), 1);
  EXPECT_EQ(FileVersion(folder + L"\\Orvane_Keyboard_Hid.exe"), L"1.0.0.9");
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

// Either bitness's package replaces the other's as an upgrade does, at the
// same version too: one product, one entry, the one task. (Wine's scheduler
// keeps no task's action: the folder it runs from is pinned where the
// definition is made, and in the package's register action.) The other
// folder's config goes with it (README, Deploying).
TEST_F(InstallerTest, EitherBitnessPackageReplacesTheOthers) {
  const std::wstring other = OtherBitnessFolder(), folder = InstallFolder();
  const std::wstring otherPackage = L"\"" + BesideTests(L"test_msi_other_bitness.msi") + L"\" NOSTART=1";
  ASSERT_EQ(Msiexec(L"/i " + otherPackage), 0u);
  ASSERT_TRUE(Exists(other + L"\\Orvane_Keyboard_Hid.exe"));
  // The self-check finds a package's install, by its upgrade code.
  CChildProcess probe(L"orvane_probe.exe", L"status");
  std::string line;
  while (probe.ReadLine(line, 20000) && line.rfind("install folder: ", 0) != 0) {
  }
  EXPECT_EQ(line.rfind("install folder: " + std::string(other.begin(), other.end()) + " (" +
                           (sizeof(void*) == 8 ? "32" : "64") + "-bit Windows Installer package {",
                       0),
            0u)
      << line;
  std::wstring task;
  ASSERT_EQ(Msiexec(L"/i \"" + BesideTests(kPackage) + L"\" NOSTART=1"), 0u);
  EXPECT_EQ(PackageProducts().size(), 1u);
  EXPECT_EQ(AppsAndFeaturesEntries(), 1);
  EXPECT_FALSE(Exists(other));
  EXPECT_TRUE(Exists(folder + L"\\Orvane_Keyboard_Hid.exe"));
  EXPECT_EQ(ReadLogonTaskXml(&task), S_OK);

  ASSERT_EQ(Msiexec(L"/i " + otherPackage), 0u);
  ASSERT_EQ(PackageProducts().size(), 1u);
  EXPECT_EQ(AppsAndFeaturesEntries(), 1);
  EXPECT_FALSE(Exists(folder));
  EXPECT_EQ(ReadLogonTaskXml(&task), S_OK);
  ASSERT_EQ(Msiexec(L"/x " + PackageProducts()[0]), 0u);
  EXPECT_FALSE(Exists(other));
}

// Setup replaces the other bitness's setup install through that one's own
// uninstaller, and changes nothing when it fails. The other bitness's setup
// may not run here (no 32-bit code on some machines): a stand-in plays its
// uninstaller and entry, in the other registry view.
TEST_F(InstallerTest, SetupRemovesTheOtherBitnessSetupFirstAndChangesNothingWhenItCannot) {
  const std::wstring other = OtherBitnessFolder();
  const REGSAM otherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
  auto installOther = [&](DWORD uninstallerExitCode) {
    SHCreateDirectoryExW(nullptr, other.c_str(), nullptr);
    CopyFileW(BesideTests(L"other_setup_uninstaller.exe").c_str(), (other + L"\\uninstall.exe").c_str(),
              FALSE);
    HKEY entry;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, nullptr, 0, KEY_WRITE | otherView, nullptr,
                    &entry, nullptr);
    RegSetValueExW(entry, L"InstallLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(other.c_str()),
                   (other.size() + 1) * sizeof(wchar_t));
    RegSetValueExW(entry, L"StandInExitCode", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&uninstallerExitCode), sizeof uninstallerExitCode);
    RegCloseKey(entry);
  };
  installOther(1);
  EXPECT_EQ(RunToEnd(BesideTests(kSetup), L"/S /NOSTART"), 7u);
  EXPECT_EQ(UninstallValue(L"DisplayName"), L"");
  EXPECT_FALSE(Exists(InstallFolder()));

  installOther(0);
  ASSERT_EQ(RunToEnd(BesideTests(kSetup), L"/S /NOSTART"), 0u);
  EXPECT_EQ(Contents(other + L"\\arguments"), " /S _?=" + std::string(other.begin(), other.end()));
  HKEY gone;
  EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | otherView, &gone),
            ERROR_SUCCESS);
  EXPECT_FALSE(Exists(other + L"\\uninstall.exe"));
  EXPECT_EQ(UninstallValue(L"DisplayName"), L"Orvane Keyboard");
  DeleteFileW((other + L"\\arguments").c_str());
  RemoveDirectoryW(other.c_str());
  RemoveDirectoryW(other.substr(0, other.rfind(L'\\')).c_str());
  const std::wstring folder = InstallFolder();
  ASSERT_EQ(RunToEnd(folder + L"\\uninstall.exe", L"/S _?=" + folder), 0u);
  DeleteFileW((folder + L"\\uninstall.exe").c_str());
  RemoveDirectoryW(folder.c_str());
  RemoveDirectoryW(folder.substr(0, folder.rfind(L'\\')).c_str());
}

// The package starts the utility through the logon task, as SYSTEM, in
// each signed-in session without a copy, and not when told not to (a
// package whose task tool records the runs: Wine lists no sessions and has
// no RunEx, and nothing is started). One install per machine: setup leaves
// the package's alone, and the package setup's. The package also stops with
// nothing installed where it cannot protect the folder (as setup, below)
// and where its task tool fails: its actions so far are rolled back.
TEST_F(InstallerTest, PackageStartsThroughTheTaskRefusesSetupsInstallAndRollsBack) {
  const std::wstring folder = InstallFolder();
  const std::wstring recorded = L"/i \"" + BesideTests(L"test_msi_recorded.msi") + L"\"";
  DeleteFileW(TaskRunsFile().c_str());
  ASSERT_EQ(Msiexec(recorded + L" NOSTART=1"), 0u);
  ASSERT_EQ(PackageProducts().size(), 1u);
  ASSERT_EQ(Msiexec(L"/x " + PackageProducts()[0]), 0u);
  EXPECT_EQ(Contents(TaskRunsFile()), "");
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring log = std::wstring(temp) + L"orvane_install.log";
  ASSERT_EQ(Msiexec(recorded + L" /l*v \"" + log + L"\""), 0u);
  EXPECT_EQ(Contents(TaskRunsFile()), "RunEx flags 4 session 1\n");  // TASK_RUN_USE_SESSION_ID
  // What it did in each session is in the installation's log.
  EXPECT_NE(Contents(log).find("orvane_logon_task start: session 1 (WINE\\tester): started through "
                               "the logon task"),
            std::string::npos);
  DeleteFileW(log.c_str());
  EXPECT_FALSE(UtilityProcessRuns());
  ASSERT_EQ(PackageProducts().size(), 1u);
  ASSERT_EQ(Msiexec(L"/x " + PackageProducts()[0]), 0u);
  ASSERT_EQ(Msiexec(L"/i \"" + BesideTests(kPackage) + L"\" NOSTART=1"), 0u);
  EXPECT_FALSE(UtilityProcessRuns());
  EXPECT_EQ(RunToEnd(BesideTests(kSetup), L"/S /NOSTART"), 6u);
  EXPECT_EQ(UninstallValue(L"DisplayName"), L"");
  ASSERT_EQ(PackageProducts().size(), 1u);
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

// Setup starts the utility through the logon task in each signed-in
// session, never as whoever runs setup: a setup whose task tool records the
// runs it asks of the task (Wine has none to give), once installed and not
// with /NOSTART.
TEST_F(InstallerTest, SetupStartsTheUtilityThroughTheTaskInEachSignedInSession) {
  const std::wstring folder = InstallFolder();
  DeleteFileW(TaskRunsFile().c_str());
  ASSERT_EQ(RunToEnd(BesideTests(L"test_setup_recorded.exe"), L"/S /NOSTART"), 0u);
  EXPECT_EQ(Contents(TaskRunsFile()), "");
  ASSERT_EQ(RunToEnd(BesideTests(L"test_setup_recorded.exe"), L"/S"), 0u);
  EXPECT_EQ(Contents(TaskRunsFile()), "RunEx flags 4 session 1\n");  // TASK_RUN_USE_SESSION_ID
  EXPECT_FALSE(UtilityProcessRuns());
  EXPECT_EQ(RunToEnd(folder + L"\\uninstall.exe", L"/S _?=" + folder), 0u);
  DeleteFileW((folder + L"\\uninstall.exe").c_str());
  RemoveDirectoryW(folder.c_str());
  RemoveDirectoryW(folder.substr(0, folder.rfind(L'\\')).c_str());  // the publisher's
}

// A task tool that cannot even be started fails setup as its error would:
// at its first verb, ending the running copies, before anything changes.
TEST_F(InstallerTest, StopsWithNothingInstalledWhenItsTaskToolCannotStart) {
  EXPECT_EQ(RunToEnd(BesideTests(L"test_setup_unstartable_tool.exe"), L"/S /NOSTART"), 2u);
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
std::wstring g_protected;  // where F really is
PACL g_folderDacl = nullptr;

// Where an opened item really is, as a drive path.
std::wstring FinalPath(HANDLE item) {
  wchar_t path[MAX_PATH] = {};
  GetFinalPathNameByHandleW(item, path, MAX_PATH, VOLUME_NAME_DOS);
  std::wstring final = path;
  return final.compare(0, 4, L"\\\\?\\") == 0 ? final.substr(4) : final;
}

DWORD WINAPI RecordSecurityCall(HANDLE item, SE_OBJECT_TYPE, SECURITY_INFORMATION info, PSID owner,
                                PSID, PACL dacl, PACL) {
  wchar_t* sid = nullptr;
  ConvertSidToStringSidW(owner, &sid);
  std::wstring which = L"other";
  if (dacl && dacl->AceCount == 0) which = L"inherited only";
  if (dacl && dacl->AclSize == g_folderDacl->AclSize &&
      memcmp(dacl, g_folderDacl, dacl->AclSize) == 0) {
    which = L"folder's";
  }
  g_securityCalls.emplace_back(L"F" + FinalPath(item).substr(g_protected.size()), info,
                               sid ? sid : L"", which);
  LocalFree(sid);
  return ERROR_SUCCESS;
}

// This process's account's SID, as a string.
std::wstring OwnSid() {
  HANDLE token = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  CKernelHandle owned(token);
  struct {
    TOKEN_USER user;
    BYTE sid[SECURITY_MAX_SID_SIZE];
  } info;
  DWORD size = 0;
  wchar_t* text = nullptr;
  if (!GetTokenInformation(token, TokenUser, &info, sizeof info, &size) ||
      !ConvertSidToStringSidW(info.user.User.Sid, &text)) {
    return L"";
  }
  std::wstring sid = text;
  LocalFree(text);
  return sid;
}

// The folders above F, as Wine cannot have them: only the administrators',
// but for g_looseParent, whose descriptor is g_looseSddl.
std::wstring g_looseParent, g_looseSddl;
DWORD WINAPI StandInParentSecurity(LPCWSTR name, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID* owner,
                                   PSID*, PACL* dacl, PACL*, PSECURITY_DESCRIPTOR* descriptor) {
  std::wstring sddl = name == g_looseParent
                          ? g_looseSddl
                          : L"O:SYD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";
  BOOL present = FALSE, defaulted = FALSE;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                            descriptor, nullptr) ||
      !GetSecurityDescriptorOwner(*descriptor, owner, &defaulted) ||
      !GetSecurityDescriptorDacl(*descriptor, &present, dacl, &defaulted)) {
    return GetLastError();
  }
  return ERROR_SUCCESS;
}

// The item g_tagged reports the reparse tag g_tag, as Wine cannot make one.
std::wstring g_tagged;
DWORD g_tag = 0;
BOOL WINAPI StandInReparseTag(HANDLE item, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info,
                              DWORD size) {
  if (!GetFileInformationByHandleEx(item, kind, info, size)) return FALSE;
  if (FinalPath(item) == g_tagged) {
    auto* tagged = static_cast<FILE_ATTRIBUTE_TAG_INFO*>(info);
    tagged->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    tagged->ReparseTag = g_tag;
  }
  return TRUE;
}

// A folder above F is a link: F is reached elsewhere.
DWORD WINAPI ElsewhereFinalPath(HANDLE, LPWSTR path, DWORD size, DWORD) {
  const std::wstring elsewhere = L"\\\\?\\D:\\Users\\bob\\orvane_protect";
  if (size <= elsewhere.size()) return elsewhere.size() + 1;
  path[elsewhere.copy(path, size)] = L'\0';
  return elsewhere.size();
}

// F under the temp folder, holding a.dll, sub and sub\b.dll, and protect's
// calls on it recorded, the folders above standing in, and what it
// reported; removed afterwards.
struct ProtectedTree {
  ProtectedTree() {
    BOOL present = FALSE, defaulted = FALSE;
    BuildInstallFolderDescriptor(&descriptor);
    GetSecurityDescriptorDacl(descriptor.Get(), &present, &g_folderDacl, &defaulted);
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder = std::wstring(temp) + L"orvane_protect";
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW((folder + L"\\sub").c_str(), nullptr);
    for (const wchar_t* file : {L"\\a.dll", L"\\sub\\b.dll"}) {
      CFileHandle(CreateFileW((folder + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    CFileHandle opened(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    g_protected = FinalPath(opened.Get());
    g_securityCalls.clear();
    g_looseParent.clear();
    g_tagged.clear();
    calls.setSecurityInfo = RecordSecurityCall;
    calls.getNamedSecurityInfo = StandInParentSecurity;
  }
  ~ProtectedTree() {
    DeleteFileW((folder + L"\\sub\\b.dll").c_str());
    DeleteFileW((folder + L"\\a.dll").c_str());
    RemoveDirectoryW((folder + L"\\sub").c_str());
    RemoveDirectoryW(folder.c_str());
  }
  HRESULT Protect() {
    report.clear();
    return ProtectInstallFolder(g_protected, calls, &report);
  }
  CLocalMemory descriptor;
  std::wstring folder;
  InstallFolderCalls calls;
  std::vector<std::wstring> report;
};

const HRESULT kLinkRefused = HRESULT_FROM_WIN32(4395);  // ERROR_REPARSE_POINT_ENCOUNTERED

TEST(InstallFolderTest, AdministratorsOwnAllAndWhatIsInsideKeepsOnlyWhatItInherits) {
  ProtectedTree tree;
  EXPECT_EQ(tree.Protect(), S_OK);
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
}

// A standard user's junction in the folder's place, or above it, would have
// the task run, later, whatever they put where it leads.
TEST(InstallFolderTest, ALinkAsTheFolderOrAboveItIsRefusedBeforeAnythingChanges) {
  ProtectedTree tree;
  tree.calls.getFileInformationByHandleEx = StandInReparseTag;
  g_tagged = g_protected;
  g_tag = IO_REPARSE_TAG_MOUNT_POINT;
  EXPECT_EQ(tree.Protect(), kLinkRefused);
  EXPECT_EQ(tree.report, std::vector<std::wstring>{
                             g_protected + L" is a link (junction or symbolic link) - refused"});
  g_tagged.clear();
  tree.calls.getFinalPathNameByHandle = ElsewhereFinalPath;
  EXPECT_EQ(tree.Protect(), kLinkRefused);
  EXPECT_TRUE(g_securityCalls.empty());
  EXPECT_EQ(tree.report, std::vector<std::wstring>{
                             g_protected + L" lies behind a link (junction or symbolic link): it "
                                           L"is D:\\Users\\bob\\orvane_protect - refused"});
}

// Compressed (WOF), deduplicated and cloud files are reparse points that
// keep their data in place; a symbolic link leads elsewhere.
TEST(InstallFolderTest, InsideOnlyLinksAreRefusedNotCompressedDeduplicatedOrCloudFiles) {
  ProtectedTree tree;
  tree.calls.getFileInformationByHandleEx = StandInReparseTag;
  g_tagged = g_protected + L"\\a.dll";
  for (DWORD tag : {IO_REPARSE_TAG_WOF, IO_REPARSE_TAG_DEDUP, IO_REPARSE_TAG_CLOUD}) {
    g_tag = tag;
    g_securityCalls.clear();
    EXPECT_EQ(tree.Protect(), S_OK) << std::hex << tag;
    EXPECT_NE(std::find_if(g_securityCalls.begin(), g_securityCalls.end(),
                           [](const SecurityCall& call) { return std::get<0>(call) == L"F\\a.dll"; }),
              g_securityCalls.end())
        << std::hex << tag;
  }
  g_tag = IO_REPARSE_TAG_SYMLINK;
  EXPECT_EQ(tree.Protect(), kLinkRefused);
}

// Whoever may rename or delete what lies in a folder above, or change its
// permissions or owner, could move F away after the install and put their
// own in its place.
TEST(InstallFolderTest, AFolderAboveThatOthersControlIsRefusedAndSaidSo) {
  ProtectedTree tree;
  g_looseParent = g_protected.substr(0, g_protected.rfind(L'\\'));
  // Users given, on the folder above itself: delete, delete what is inside,
  // its permissions, its owner, all.
  for (const wchar_t* users :
       {L"(A;;SD;;;BU)", L"(A;;0x40;;;BU)", L"(A;;WD;;;BU)", L"(A;;WO;;;BU)", L"(A;;GA;;;BU)"}) {
    g_looseSddl = std::wstring(L"O:SYD:(A;;FA;;;SY)") + users;
    EXPECT_EQ(tree.Protect(), E_ACCESSDENIED) << users;
  }
  g_looseSddl = L"O:BUD:(A;;FA;;;SY)";  // Users own it
  EXPECT_EQ(tree.Protect(), E_ACCESSDENIED);
  EXPECT_EQ(tree.report.at(0), L"parent " + g_looseParent +
                                   L": BUILTIN\\Users (S-1-5-32-545) can move what is inside - "
                                   L"refused");
  EXPECT_TRUE(g_securityCalls.empty());
  // As on C:\: users may add a folder there, and change only what others
  // add (inherit-only entries).
  g_looseSddl = L"O:SYD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x4;;;AU)(A;OICIIO;SDGRGWGX;;;AU)"
                L"(A;OICIIO;GA;;;CO)";
  EXPECT_EQ(tree.Protect(), S_OK);
  // A drive's root cannot be renamed: its users' right to delete it moves
  // nothing (a second drive's root gives it to them), while emptying it would.
  g_looseParent = g_protected.substr(0, 3);
  g_looseSddl = L"O:SYD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;SD;;;AU)";
  EXPECT_EQ(tree.Protect(), S_OK);
  g_looseSddl = L"O:SYD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x40;;;AU)";
  EXPECT_EQ(tree.Protect(), E_ACCESSDENIED);
  g_looseParent = g_protected.substr(0, g_protected.rfind(L'\\'));
  // An account's own folder: an administrator's is the administrators', a
  // standard user's is not (this test's account, as the machine is asked).
  g_looseSddl = L"O:" + OwnSid() + L"D:(A;;FA;;;SY)(A;;FA;;;" + OwnSid() + L")";
  tree.calls.isAdministratorAccount = [](const std::wstring&, bool* administrator) {
    *administrator = true;
    return S_OK;
  };
  EXPECT_EQ(tree.Protect(), S_OK);
  tree.calls.isAdministratorAccount = [](const std::wstring&, bool* administrator) {
    *administrator = false;
    return S_OK;
  };
  EXPECT_EQ(tree.Protect(), E_ACCESSDENIED);
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

// Ending and starting across sessions, through the record of outside
// calls: Wine has one session, one user and no RunEx. The copy is the
// utility built beside the tests, put in the session a test chooses.
std::vector<std::wstring> g_calls;
DWORD g_copyId = 0, g_copySession = 1;

BOOL WINAPI CopysSession(DWORD processId, DWORD* session) {
  *session = processId == g_copyId ? g_copySession : 1;
  return TRUE;
}
BOOL WINAPI RecordToken(DWORD session, HANDLE* token) {
  g_calls.push_back(L"token of session " + std::to_wstring(session));
  return OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, token);
}
BOOL WINAPI RecordStart(HANDLE, LPCWSTR program, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                        LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW startup,
                        LPPROCESS_INFORMATION info) {
  g_calls.push_back(std::wstring(L"start ") + commandLine + L" on " + startup->lpDesktop);
  *info = {};
  return GetFileAttributesW(program) != INVALID_FILE_ATTRIBUTES;
}
// The started program runs for real: the copy hears its command.
BOOL WINAPI RecordAndStart(HANDLE token, LPCWSTR program, LPWSTR commandLine,
                           LPSECURITY_ATTRIBUTES process, LPSECURITY_ATTRIBUTES thread, BOOL inherit,
                           DWORD flags, LPVOID environment, LPCWSTR folder, LPSTARTUPINFOW startup,
                           LPPROCESS_INFORMATION info) {
  RecordStart(token, program, commandLine, process, thread, inherit, flags, environment, folder,
              startup, info);
  return CreateProcessW(program, commandLine, nullptr, nullptr, FALSE, flags, nullptr, folder,
                        startup, info);
}
HANDLE WINAPI RecordOpen(DWORD access, BOOL inherit, DWORD processId) {
  wchar_t mask[16];
  swprintf(mask, 16, L"%#lx", static_cast<unsigned long>(access));
  g_calls.push_back(std::wstring(L"open ") + mask + L" " + std::to_wstring(processId));
  return OpenProcess(access, inherit, processId);
}
BOOL WINAPI RecordTerminate(HANDLE process, UINT code) {
  g_calls.push_back(L"terminate");
  return TerminateProcess(process, code);
}
HRESULT RecordRun(LONG flags, LONG session) {
  g_calls.push_back(L"run flags " + std::to_wstring(flags) + L" session " + std::to_wstring(session));
  return S_OK;
}

class SessionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(copy.WaitForWindow());
    g_calls.clear();
    g_copyId = copy.Id();
    g_copySession = 1;
    calls.processIdToSessionId = CopysSession;
    calls.wtsQueryUserToken = RecordToken;
    calls.createProcessAsUser = RecordStart;
    calls.terminateProcess = RecordTerminate;
    calls.runLogonTask = RecordRun;
  }
  const std::wstring folder = BesideTests(L".");
  CStartedProgram copy;
  SessionCalls calls;
  std::vector<std::wstring> report;
};

// As SYSTEM, a copy in another session is asked by orvane_post, started
// there from the folder as that session's user; one that does not go is
// terminated once 10 s have passed.
TEST_F(SessionsTest, AsSystemAnotherSessionsCopyIsAskedAsItsUserAndTerminatedOnlyAfterTenSeconds) {
  g_copySession = 2;
  calls.getTokenInformation = LocalSystemTokenUser;
  const std::wstring post = BesideTests(L"orvane_post.exe");
  DWORD began = GetTickCount();
  EXPECT_EQ(EndUtility(folder, EndScope::kEverySession, calls, &report), S_OK);
  EXPECT_GE(GetTickCount() - began, 10000u);
  EXPECT_EQ(g_calls, (std::vector<std::wstring>{
                         L"token of session 2",
                         L"start \"" + post + L"\" Orvane_Keyboard_Hid 0x111 6002 on winsta0\\default",
                         L"terminate"}));
  EXPECT_EQ(report, std::vector<std::wstring>{
                        L"session 2: the utility did not end within 10 s and was terminated"});
}

TEST_F(SessionsTest, AsSystemTheProgramStartedInTheSessionEndsTheCopyThere) {
  g_copySession = 2;
  calls.getTokenInformation = LocalSystemTokenUser;
  calls.createProcessAsUser = RecordAndStart;
  EXPECT_EQ(EndUtility(folder, EndScope::kEverySession, calls, &report), S_OK);
  EXPECT_EQ(copy.WaitForExit(), 0u);  // asked, not terminated
  EXPECT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(report, std::vector<std::wstring>{L"session 2: the utility ended"});
}

// An administrator cannot reach another user's desktop: that copy is
// terminated at once. Ending only this session's leaves it alone, unopened.
// A copy is searched for with the rights to read and wait for it alone (an
// unelevated installing user may not end their own elevated copy), and
// opened to be ended only to end it.
TEST_F(SessionsTest, AnAdministratorTerminatesAnotherSessionsCopyAndEndHereLeavesIt) {
  g_copySession = 2;
  calls.openProcess = RecordOpen;
  EXPECT_EQ(EndUtility(folder, EndScope::kThisSession, calls, &report), S_OK);
  EXPECT_TRUE(g_calls.empty());
  EXPECT_TRUE(copy.Running());
  EXPECT_EQ(EndUtility(folder, EndScope::kEverySession, calls, &report), S_OK);
  const std::wstring id = std::to_wstring(g_copyId);
  EXPECT_EQ(g_calls, (std::vector<std::wstring>{L"open 0x101000 " + id,  // query (limited), synchronize
                                                L"open 0x1 " + id,       // terminate
                                                L"terminate"}));
  EXPECT_EQ(report, std::vector<std::wstring>{L"session 2: the utility was terminated: an "
                                              L"administrator cannot ask another session's copy to end"});
}

BOOL WINAPI SomeSessions(HANDLE, DWORD, DWORD, WTS_SESSION_INFOW** sessions, DWORD* count) {
  static WTS_SESSION_INFOW list[] = {{0, const_cast<wchar_t*>(L"Services"), WTSDisconnected},
                                     {1, const_cast<wchar_t*>(L"Console"), WTSActive},
                                     {2, const_cast<wchar_t*>(L"RDP-Tcp#1"), WTSActive},
                                     {3, const_cast<wchar_t*>(L"RDP-Tcp#2"), WTSDisconnected},
                                     {4, const_cast<wchar_t*>(L"RDP-Tcp#3"), WTSActive},
                                     {65536, const_cast<wchar_t*>(L"RDP-Tcp"), WTSListen}};
  *sessions = list;
  *count = 6;
  return TRUE;
}
HRESULT SessionUsers(DWORD session, std::wstring* name, bool* administrator) {
  if (session != 1 && session != 2 && session != 3) return S_FALSE;  // nobody signed in
  *name = std::wstring(L"PC\\") + L"xabc"[session];
  *administrator = session != 3;
  return S_OK;
}

// The task runs in each signed-in session without a copy, whose user is an
// administrator, with the session's id; a standard user's session is named
// and left. Wine itself lists no session.
TEST_F(SessionsTest, StartRunsTheTaskInSignedInAdministratorsSessionsWithoutACopy) {
  calls.wtsEnumerateSessions = SomeSessions;
  calls.wtsFreeMemory = FreeNothing;
  calls.readSessionUser = SessionUsers;
  EXPECT_EQ(StartUtility(folder, calls, &report), S_OK);
  EXPECT_EQ(g_calls, std::vector<std::wstring>{L"run flags 4 session 2"});  // TASK_RUN_USE_SESSION_ID
  EXPECT_EQ(report, (std::vector<std::wstring>{
                        L"session 1 (PC\\a): the utility runs there already",
                        L"session 2 (PC\\b): started through the logon task",
                        L"session 3 (PC\\c): not started: the utility cannot run for this account, "
                        L"which is not an administrator (the utility needs administrator rights)"}));
  report.clear();
  EXPECT_EQ(StartUtility(folder, SessionCalls(), &report), S_OK);
  EXPECT_EQ(report, std::vector<std::wstring>{
                        L"no user is signed in: the utility starts at each next logon"});
}

}  // namespace
