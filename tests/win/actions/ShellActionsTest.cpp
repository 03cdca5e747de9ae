// Win+I, the screen snip and the lock: the keys as a low-level hook sees
// them, and the snip's branch and process start as the stand-ins record them.
#include "actions/ShellActions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fw/UniqueHandle.h"
#include "fw/SystemInfo.h"
#include "tests/win/support/ExeTestSupport.h"
#include "tests/win/support/KeyHook.h"
#include "tests/win/support/LogCapture.h"
#include "tests/win/support/Stopwatch.h"

namespace {

using Texts = std::vector<std::string>;

// A machine of a chosen version and bitness whose process starts and lock
// are only written down.
struct CFakeShell {
  DWORD major = 10, minor = 0;
  BOOL wow64 = FALSE;
  int versionQueries = 0, wow64Queries = 0;
  std::vector<std::wstring> calls;
  STARTUPINFOW startup = {};

  ShellCalls Calls() {
    ShellCalls hooks;
    hooks.getNtVersion = [this](DWORD* majorOut, DWORD* minorOut, DWORD* build) {
      ++versionQueries;
      *majorOut = this->major;
      *minorOut = this->minor;
      *build = 0xF0000000 | 19045;
    };
    hooks.isWow64 = [this] {
      ++wow64Queries;
      return wow64;
    };
    hooks.shellExecute = [this](HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                LPCWSTR directory, INT show) {
      this->calls.push_back(L"ShellExecuteW " + Text(owner) + L" " + Text(verb) + L" " +
                            Text(file) + L" " + Text(parameters) + L" " + Text(directory) +
                            L" " + std::to_wstring(show));
      return reinterpret_cast<HINSTANCE>(42);
    };
    hooks.createProcess = [this](LPCWSTR application, LPWSTR commandLine,
                                 LPSECURITY_ATTRIBUTES process, LPSECURITY_ATTRIBUTES thread,
                                 BOOL inherit, DWORD flags, LPVOID environment,
                                 LPCWSTR directory, LPSTARTUPINFOW startupInfo,
                                 LPPROCESS_INFORMATION) {
      this->calls.push_back(L"CreateProcessW " + Text(application) + L" [" +
                            (commandLine ? commandLine : L"null") + L"] " + Text(process) +
                            L" " + Text(thread) + L" " + std::to_wstring(inherit) + L" " +
                            std::to_wstring(flags) + L" " + Text(environment) + L" " +
                            Text(directory));
      this->startup = *startupInfo;
      SetLastError(ERROR_FILE_NOT_FOUND);
      return FALSE;
    };
    hooks.lockWorkStation = [this] {
      this->calls.push_back(L"LockWorkStation");
      return TRUE;
    };
    return hooks;
  }

  static std::wstring Text(const wchar_t* text) { return text ? text : L"null"; }
  static std::wstring Text(const void* p) { return p ? L"set" : L"null"; }
};

const Texts kWinIKeys = {"5B down", "49 down", "49 up", "5B up"};
const Texts kWinShiftSKeys = {"5B down", "A0 down", "53 down", "53 up", "A0 up", "5B up"};

const std::wstring kSystem32 = L"c:\\windows\\system32\\SnippingTool.exe";
const std::wstring kSysnative = L"c:\\windows\\sysnative\\SnippingTool.exe";

TEST(ShellActionsTest, WinIIsFourInjectedStepsTenMillisecondsApart) {
  CKeyHook hook;
  ASSERT_TRUE(hook.Installed());
  CStopwatch watch;
  SendSettingsShortcut();
  EXPECT_GE(watch.ElapsedMs(), 4 * 9.5);
  std::vector<SeenKey> keys = hook.Keys(4);
  EXPECT_EQ(CKeyHook::Texts(keys), kWinIKeys);
  for (const SeenKey& key : keys) EXPECT_EQ(key.extraInfo, 0u);
}

TEST(ShellActionsTest, Windows10SnipsWithWinShiftSAndStartsNothingWhateverTheBitness) {
  for (DWORD minor : {0u, 3u}) {
    for (BOOL wow64 : {FALSE, TRUE}) {
      CFakeShell shell;
      shell.minor = minor;
      shell.wow64 = wow64;
      CKeyHook hook;
      CLogCapture log;
      CStopwatch watch;
      StartScreenSnip(shell.Calls());
      EXPECT_GE(watch.ElapsedMs(), 6 * 9.5);
      EXPECT_EQ(CKeyHook::Texts(hook.Keys(6)), kWinShiftSKeys);
      EXPECT_EQ(log.Messages(), Texts{"Setting Win+Shift+S_(Win10)"});
      EXPECT_TRUE(shell.calls.empty());
      // The path is chosen on this branch too.
      EXPECT_EQ(shell.versionQueries, 1);
      EXPECT_EQ(shell.wow64Queries, 1);
    }
  }
}

TEST(ShellActionsTest, Windows81OpensTheSnippingToolOfTheNativeSystemFolder) {
  for (BOOL wow64 : {FALSE, TRUE}) {
    CFakeShell shell;
    shell.major = 6;
    shell.minor = 3;
    shell.wow64 = wow64;
    CKeyHook hook;
    CLogCapture log;
    StartScreenSnip(shell.Calls());
    std::wstring path = wow64 ? kSysnative : kSystem32;
    EXPECT_EQ(shell.calls,
              std::vector<std::wstring>{L"ShellExecuteW null open " + path + L" null null 5"});
    EXPECT_TRUE(log.Messages().empty());
    EXPECT_TRUE(hook.Keys(0).empty());
  }
}

TEST(ShellActionsTest, OtherVersionsStartTheSnippingToolHidden) {
  struct Version { DWORD major, minor; };
  // 0.0 is what a system without the version entry in ntdll gives.
  for (Version v : {Version{6, 2}, Version{6, 1}, Version{6, 0}, Version{6, 4}, Version{5, 1},
                    Version{0, 0}, Version{11, 0}}) {
    for (BOOL wow64 : {FALSE, TRUE}) {
      CFakeShell shell;
      shell.major = v.major;
      shell.minor = v.minor;
      shell.wow64 = wow64;
      CLogCapture log;
      StartScreenSnip(shell.Calls());
      std::wstring path = wow64 ? kSysnative : kSystem32;
      EXPECT_EQ(shell.calls, std::vector<std::wstring>{L"CreateProcessW " + path +
                                                       L" [] null null 0 0 null null"})
          << v.major << "." << v.minor;
      STARTUPINFOW expected = {};
      expected.cb = sizeof(void*) == 4 ? 68 : 104;
      expected.dwFlags = STARTF_USESHOWWINDOW;
      expected.wShowWindow = SW_HIDE;
      EXPECT_EQ(std::memcmp(&shell.startup, &expected, sizeof expected), 0);
      EXPECT_TRUE(log.Messages().empty());
      EXPECT_EQ(shell.wow64Queries, 1);
    }
  }
}

TEST(ShellActionsTest, TheSnippingToolPathsAreWrittenExactly) {
  EXPECT_EQ(std::wcslen(kSnippingToolSystem32), 36u);
  EXPECT_EQ(std::wcslen(kSnippingToolSysnative), 37u);
}

TEST(ShellActionsTest, LockCallsLockWorkStationAndNothingElse) {
  CFakeShell shell;
  LockDesktop(shell.Calls());
  EXPECT_EQ(shell.calls, std::vector<std::wstring>{L"LockWorkStation"});
  EXPECT_EQ(shell.versionQueries, 0);
}

// The real calls, in a runner process that Wine shows the Windows version
// we choose; a probe program in the Snipping Tool's place tells how it was
// started. (Wine's LockWorkStation locks nothing, so the lock has only the
// stand-in's check above.)
class RealSnipTest : public ::testing::TestWithParam<const wchar_t*> {
 protected:
  void SetUp() override {
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
      GTEST_SKIP() << "choosing the Windows version needs Wine";
    }
    m_tool = IsWow64() ? kSnippingToolSysnative : kSnippingToolSystem32;
    DeleteFileW(kReport);
    ASSERT_EQ(GetFileAttributesW(m_tool.c_str()), INVALID_FILE_ATTRIBUTES)
        << "a Snipping Tool is installed here";
    ASSERT_TRUE(CopyFileW(BesideTests(L"snip_probe.exe").c_str(), m_tool.c_str(), TRUE));
  }
  void TearDown() override {
    DeleteFileW(m_tool.c_str());
    DeleteFileW(kReport);
    RegDeleteKeyW(HKEY_CURRENT_USER, kRunnerVersionKey);
  }


  static void RunSnipAs(const wchar_t* version) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRunnerVersionKey, 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    std::wstring runner = BesideTests(L"snip_runner.exe");
    std::wstring commandLine = L"\"" + runner + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(runner.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &process));
    CKernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  }

  // "flags show [command line]" once the probe wrote it; empty if it never ran.
  static std::string Report() {
    for (int i = 0; i < 500 && GetFileAttributesW(kReport) == INVALID_FILE_ATTRIBUTES; ++i) {
      Sleep(10);
    }
    Sleep(50);  // written and closed
    std::string text;
    if (FILE* file = _wfopen(kReport, L"r")) {
      char line[512] = {};
      if (std::fgets(line, sizeof line, file)) text = line;
      std::fclose(file);
    }
    return text;
  }

  static constexpr const wchar_t* kReport = L"C:\\snip_probe.txt";
  static constexpr const wchar_t* kRunnerVersionKey =
      L"Software\\Wine\\AppDefaults\\snip_runner.exe";
  std::wstring m_tool;
};

TEST_P(RealSnipTest, TheBranchOfTheSystemDoesItsWork) {
  std::wstring version = GetParam();
  CKeyHook hook;  // global: sees the runner's keys
  RunSnipAs(version.c_str());
  if (version == L"win10") {
    EXPECT_EQ(CKeyHook::Texts(hook.Keys(6)), kWinShiftSKeys);
    Sleep(200);
    EXPECT_EQ(GetFileAttributesW(kReport), INVALID_FILE_ATTRIBUTES) << "no process on 10";
    return;
  }
  unsigned long flags = 0;
  unsigned show = 99;
  std::string report = Report();
  ASSERT_EQ(std::sscanf(report.c_str(), "%lu %u", &flags, &show), 2) << "the tool did not start";
  EXPECT_TRUE(flags & STARTF_USESHOWWINDOW) << report;
  EXPECT_EQ(show, version == L"win81" ? SW_SHOW : SW_HIDE) << report;
  EXPECT_TRUE(hook.Keys(0).empty());
}

INSTANTIATE_TEST_SUITE_P(Versions, RealSnipTest,
                         ::testing::Values(L"win10", L"win81", L"win8", L"win7"));

}  // namespace
