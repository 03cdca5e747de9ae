#include "fw/SystemInfo.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "fw/UniqueHandle.h"
#include "tests/win/support/ExeTestSupport.h"

namespace {

std::wstring Environment(const wchar_t* name) {
  wchar_t value[256] = {};
  GetEnvironmentVariableW(name, value, 256);
  return value;
}

TEST(UserNameTest, ConsoleUserAndProcessUserAreTheAccountWeRunAs) {
  std::wstring console = GetConsoleUserName();
  EXPECT_NE(console, L"(null)");
  EXPECT_FALSE(console.empty());
  // One user here, at the console and running this process.
  EXPECT_EQ(console, GetProcessUserName());
  EXPECT_EQ(GetProcessUserName(), Environment(L"USERNAME"));
}

// The real calls but one.
template <typename Fn>
SystemInfoCalls With(Fn SystemInfoCalls::*call, Fn fn) {
  SystemInfoCalls calls;
  calls.*call = fn;
  return calls;
}

DWORD g_askedSession;
WTS_INFO_CLASS g_askedClass;

BOOL WINAPI FailingSessionQuery(HANDLE, DWORD session, WTS_INFO_CLASS infoClass, LPWSTR* buffer,
                                DWORD* bytes) {
  g_askedSession = session;
  g_askedClass = infoClass;
  *buffer = nullptr;
  *bytes = 0;
  SetLastError(ERROR_FILE_NOT_FOUND);
  return FALSE;
}

TEST(UserNameTest, FailedConsoleQueryGivesTheNullTextEveryTime) {
  g_askedSession = 0;
  const SystemInfoCalls failing = With(&SystemInfoCalls::querySession, FailingSessionQuery);
  EXPECT_EQ(GetConsoleUserName(failing), L"(null)");
  EXPECT_EQ(g_askedSession, WTSGetActiveConsoleSessionId());
  EXPECT_EQ(g_askedClass, WTSUserName);
  EXPECT_EQ(GetConsoleUserName(failing), GetConsoleUserName(failing));
}

DWORD g_offeredSize;

BOOL WINAPI FailingGetUserName(LPWSTR buffer, LPDWORD size) {
  g_offeredSize = *size;
  std::wcscpy(buffer, L"leftover");
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return FALSE;
}

BOOL WINAPI LongestGetUserName(LPWSTR buffer, LPDWORD size) {
  std::wstring name(256, L'u');
  std::wcscpy(buffer, name.c_str());
  *size = 257;
  return TRUE;
}

TEST(UserNameTest, FailedAccountQueryGivesEmptyWhateverItLeftInTheBuffer) {
  EXPECT_EQ(GetProcessUserName(With(&SystemInfoCalls::getUserName, FailingGetUserName)), L"");
  EXPECT_EQ(g_offeredSize, 257u);
  EXPECT_EQ(GetProcessUserName(With(&SystemInfoCalls::getUserName, LongestGetUserName)), std::wstring(256, L'u'));
}

TEST(SystemVersionTest, Wow64AnswerMatchesTheSystemsWow64Folder) {
  wchar_t folder[MAX_PATH];
  // Only 64-bit Windows has a WOW64 system folder, and only a 32-bit
  // process runs under WOW64 there.
  bool wow64System = GetSystemWow64DirectoryW(folder, MAX_PATH) != 0;
  EXPECT_EQ(IsWow64() != FALSE, sizeof(void*) == 4 && wow64System);
}

// Wine lets a registry value choose the Windows version one program sees;
// the probe prints the queries' answers for that version.
class VersionProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) {
      GTEST_SKIP() << "choosing the Windows version needs Wine";
    }
  }
  void TearDown() override { RegDeleteKeyW(HKEY_CURRENT_USER, kProbeKey); }

  // "major minor build reported" as the probe prints them.
  std::string RunProbeAs(const wchar_t* version) {
    HKEY key;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kProbeKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    CRegKey owned(key);
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    CKernelHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    std::wstring probe = BesideTests(L"system_info_probe.exe");
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    std::wstring commandLine = L"\"" + probe + L"\"";
    EXPECT_TRUE(CreateProcessW(probe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                               nullptr, &startup, &process));
    CKernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
    writer.Reset();  // the probe's end closes with it, which ends the reads

    std::string output;
    char chunk[256];
    DWORD got;
    while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) {
      output.append(chunk, got);
    }
    WaitForSingleObject(process.hProcess, 30000);
    return output;
  }

  static constexpr const wchar_t* kProbeKey =
      L"Software\\Wine\\AppDefaults\\system_info_probe.exe";
};

struct ProbeAnswer {
  unsigned long major, minor, build, reported;
};

ProbeAnswer Parse(const std::string& output) {
  ProbeAnswer answer = {};
  EXPECT_EQ(std::sscanf(output.c_str(), "%lu %lu %lx %lu", &answer.major, &answer.minor,
                        &answer.build, &answer.reported),
            4)
      << output;
  return answer;
}

TEST_F(VersionProbeTest, Windows10IsToldApartOnlyByTheKernelVersion) {
  ProbeAnswer answer = Parse(RunProbeAs(L"win10"));
  EXPECT_EQ(answer.major, 10u);
  EXPECT_EQ(answer.minor, 0u);
  // Taken as the kernel stores it: the free-build flag bits stay.
  EXPECT_EQ(answer.build >> 28, 0xFu);
  EXPECT_GE(answer.build & 0xFFFF, 10240u);
  EXPECT_EQ(answer.reported, 6u);
}

TEST_F(VersionProbeTest, Windows81GivesSixThree) {
  ProbeAnswer answer = Parse(RunProbeAs(L"win81"));
  EXPECT_EQ(answer.major, 6u);
  EXPECT_EQ(answer.minor, 3u);
  EXPECT_EQ(answer.reported, 6u);
}

TEST(ModuleDirectoryTest, IsTheExecutablesFolderWithItsBackslash) {
  std::wstring directory;
  ASSERT_TRUE(GetModuleDirectory(&directory));
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring expected(self);
  expected.resize(expected.rfind(L'\\') + 1);
  EXPECT_EQ(directory, expected);
  EXPECT_EQ(directory.back(), L'\\');
}

DWORD WINAPI FailingModuleName(HMODULE, LPWSTR, DWORD) { return 0; }
DWORD WINAPI TruncatedModuleName(HMODULE, LPWSTR name, DWORD size) {
  std::fill(name, name + size, L'd');
  name[2] = L'\\';
  return size;  // the name did not fit
}
DWORD WINAPI BareModuleName(HMODULE, LPWSTR name, DWORD) {
  wcscpy(name, L"kbd.exe");
  return 7;
}
DWORD WINAPI DeepModuleName(HMODULE, LPWSTR name, DWORD) {
  wcscpy(name, L"D:\\Tools\\Kbd\\Orvane_Keyboard_Hid.exe");
  return static_cast<DWORD>(wcslen(name));
}

TEST(ModuleDirectoryTest, FailsWithoutTouchingTheOutputWhenTheNameIsNotWhole) {
  for (auto fn : {FailingModuleName, TruncatedModuleName, BareModuleName}) {
    std::wstring directory = L"untouched";
    EXPECT_FALSE(GetModuleDirectory(&directory, With(&SystemInfoCalls::getModuleFileName, fn)));
    EXPECT_EQ(directory, L"untouched");
  }
  std::wstring directory;
  EXPECT_TRUE(GetModuleDirectory(&directory, With(&SystemInfoCalls::getModuleFileName, DeepModuleName)));
  EXPECT_EQ(directory, L"D:\\Tools\\Kbd\\");
}

}  // namespace
