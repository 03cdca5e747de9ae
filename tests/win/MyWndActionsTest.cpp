// The main window's hot-key actions as the dispatcher calls them: the state
// each leaves, the OSD it asks for, and what it does to the world (fakes for
// the fan class, the capture device and the process start; the registry and
// the configuration file for real).
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "actions/FnLock.h"
#include "actions/MicMute.h"
#include "app/MyWnd.h"
#include "settings/Settings.h"
#include "tests/win/ExeTestSupport.h"
#include "tests/win/FnLockRegistry.h"
#include "tests/win/KeyHook.h"
#include "tests/win/LogCapture.h"
#include "tests/win/StdoutCapture.h"
#include "tools/sim/FakeCoreAudio.h"
#include "tools/sim/FakeWmi.h"

namespace {

// "config" beside this test program, and a fan class behind the window.
class SmartFanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_config = BesideTests(L"") + L"config";
    std::filesystem::remove(m_config);
    m_wnd.m_gameZone.m_calls.createInstance = m_zone.Factory();
  }
  void TearDown() override { std::filesystem::remove(m_config); }

  void WriteConfig(const std::string& text) {
    std::ofstream(std::filesystem::path(m_config), std::ios::binary) << text;
  }

  // The trace goes to standard output; kept out of the test's own output.
  ActionOsd Toggle() {
    CStdoutCapture quiet;
    return m_wnd.ActSmartFanToggle();
  }

  std::wstring m_config;
  CFakeGameZone m_zone;
  CMyWnd m_wnd;
};

TEST_F(SmartFanTest, EnabledTogglesBetweenTwoAndThreeAndAsksForTheFanOsd) {
  WriteConfig("[Setting]\r\nSmartFan=1\r\n");
  for (int32_t expected : {3, 2, 3}) {
    EXPECT_EQ(Toggle(), ActionOsd::kSmartFan);
    EXPECT_EQ(m_wnd.m_fanMode, expected);
    EXPECT_EQ(m_zone.m_mode, expected);
  }
  EXPECT_EQ(m_zone.m_setArguments.size(), 3u);
  EXPECT_EQ(m_wnd.m_configPath, m_config);
  EXPECT_EQ(m_wnd.m_configPath.find(L"\\\\"), std::wstring::npos);
}

TEST_F(SmartFanTest, ModesZeroOneAndFourGoToTwo) {
  WriteConfig("[Setting]\r\nSmartFan=1\r\n");
  for (int32_t current : {0, 1, 4}) {
    m_zone.m_mode = current;
    EXPECT_EQ(Toggle(), ActionOsd::kSmartFan);
    EXPECT_EQ(m_wnd.m_fanMode, 2);
    EXPECT_EQ(m_zone.m_mode, 2);
  }
}

TEST_F(SmartFanTest, AnUnknownModeOrAFailedQuerySetsNothingAndIsKept) {
  WriteConfig("[Setting]\r\nSmartFan=1\r\n");
  m_zone.m_mode = 5;
  EXPECT_EQ(Toggle(), ActionOsd::kNone);
  EXPECT_EQ(m_wnd.m_fanMode, 5);
  m_zone.m_mode = -7;
  EXPECT_EQ(Toggle(), ActionOsd::kNone);
  EXPECT_EQ(m_wnd.m_fanMode, -7);
  m_zone.Fail(CFakeGameZone::Step::kNext, 1);  // no instance
  EXPECT_EQ(Toggle(), ActionOsd::kNone);
  EXPECT_EQ(m_wnd.m_fanMode, -1);
  EXPECT_TRUE(m_zone.m_setArguments.empty());
}

TEST_F(SmartFanTest, AnyNonZeroSmartFanEnablesTheToggle) {
  for (const char* value : {"2", "-1", "7junk"}) {
    WriteConfig(std::string("[Setting]\r\nSmartFan=") + value + "\r\n");
    m_zone.m_mode = 2;
    EXPECT_EQ(Toggle(), ActionOsd::kSmartFan) << value;
    EXPECT_EQ(m_wnd.m_fanMode, 3);
  }
}

TEST_F(SmartFanTest, DisabledOrMissingConfigurationMakesNoWmiCallAtAll) {
  const char* const texts[] = {"[Setting]\r\nSmartFan=0\r\n", "[Setting]\r\nVer=1\r\n", "", nullptr};
  for (const char* text : texts) {
    if (text) WriteConfig(text); else std::filesystem::remove(m_config);
    EXPECT_EQ(Toggle(), ActionOsd::kNone);
    EXPECT_EQ(m_wnd.m_fanMode, 2);
  }
  EXPECT_TRUE(m_zone.m_journal.calls.empty());
}

TEST_F(SmartFanTest, AConfigPathAlreadySetIsUsedAsItIs) {
  WriteConfig("[Setting]\r\nSmartFan=0\r\n");  // the one beside us says no
  std::wstring elsewhere = BesideTests(L"") + L"other_config";
  std::ofstream(std::filesystem::path(elsewhere), std::ios::binary) << "[Setting]\r\nSmartFan=1\r\n";
  m_wnd.m_configPath = elsewhere;
  EXPECT_EQ(Toggle(), ActionOsd::kSmartFan);
  EXPECT_EQ(m_wnd.m_configPath, elsewhere);
  std::filesystem::remove(elsewhere);
}

TEST_F(SmartFanTest, TheWindowsFanOperationsGoThroughItsClient) {
  m_zone.m_mode = 4;
  CStdoutCapture quiet;
  EXPECT_EQ(m_wnd.GetSmartFanMode(), 4);
  m_wnd.SetSmartFanMode(3);
  EXPECT_EQ(m_zone.m_mode, 3);
}

class FnLockActionTest : public ::testing::Test {
 protected:
  void SetUp() override { RemoveFnLockKey(); }
  void TearDown() override { RemoveFnLockKey(); }
};

TEST_F(FnLockActionTest, OnThenOffStoresEachStateAndAsksForTheFnLockOsdEachTime) {
  CMyWnd wnd;
  EXPECT_EQ(wnd.ReadFnLock(), 0);
  EXPECT_EQ(wnd.ActFnLockOn(), ActionOsd::kFnLock);
  EXPECT_EQ(wnd.m_fnLock.load(), 1);
  EXPECT_EQ(wnd.ReadFnLock(), 1);
  EXPECT_EQ(wnd.ActFnLockOff(), ActionOsd::kFnLock);
  EXPECT_EQ(wnd.m_fnLock.load(), 0);
  EXPECT_EQ(::ReadFnLock(), 0);
  EXPECT_EQ(wnd.WriteFnLock(1), 0);
  EXPECT_EQ(::ReadFnLock(), 1);
}

TEST(MicActionTest, ToggleThenReadBackIntoTheStateAndTheOsdWithoutACompanion) {
  ASSERT_FALSE(CheckMicCompanion()) << "the prefix has a companion installed";
  CFakeCaptureDevice mic;
  CMyWnd wnd;
  wnd.m_createAudioEnumerator = mic.Factory();
  EXPECT_EQ(wnd.ActMicMute(), ActionOsd::kMicrophone);
  EXPECT_EQ(wnd.m_micMuted, 1);
  EXPECT_EQ(wnd.ActMicMute(), ActionOsd::kMicrophone);
  EXPECT_EQ(wnd.m_micMuted, 0);
  EXPECT_FALSE(mic.m_muted);
  EXPECT_EQ(wnd.ReadMicMute(), 0);
  EXPECT_EQ(mic.m_journal.liveObjects, 0);
}

TEST(MicActionTest, AFailedReadBackGivesMinusOneAfterTheToggleWasDone) {
  CFakeCaptureDevice mic;
  mic.Fail(CFakeCaptureDevice::Step::kActivateClient, E_FAIL, 2);  // the read-back's
  CMyWnd wnd;
  wnd.m_createAudioEnumerator = mic.Factory();
  EXPECT_EQ(wnd.ActMicMute(), ActionOsd::kMicrophone);
  EXPECT_TRUE(mic.m_muted);
  EXPECT_EQ(wnd.m_micMuted, -1);
}

TEST(MicActionTest, WithACompanionInstalledNoOsdIsAskedFor) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Varnel\\MessageClient\\OnScreenDisplay",
                            0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  CFakeCaptureDevice mic;
  CMyWnd wnd;
  wnd.m_createAudioEnumerator = mic.Factory();
  EXPECT_EQ(wnd.ActMicMute(), ActionOsd::kNone);
  EXPECT_EQ(wnd.m_micMuted, 1);
  RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Varnel");
  RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Varnel");
}

TEST(MicActionTest, WithoutACaptureDeviceTheStateIsMinusOneAndTheOsdStillAsked) {
  CMyWnd wnd;  // the real Core Audio of the prefix, which has no microphone
  if (wnd.ReadMicMute() != -1) GTEST_SKIP() << "this prefix has a capture device";
  EXPECT_EQ(wnd.ActMicMute(), CheckMicCompanion() ? ActionOsd::kNone : ActionOsd::kMicrophone);
  EXPECT_EQ(wnd.m_micMuted, -1);
}

TEST(ShellActionTest, TheShortcutSnipAndLockAskForNoOsdAndUseTheWindowsCalls) {
  CMyWnd wnd;
  std::vector<std::string> calls;
  wnd.m_shellCalls.getNtVersion = [](DWORD* major, DWORD* minor, DWORD*) {
    *major = 6;
    *minor = 1;
  };
  wnd.m_shellCalls.createProcess = [&](LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES,
                                       LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                                       LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
    calls.push_back("CreateProcessW");
    return FALSE;
  };
  wnd.m_shellCalls.lockWorkStation = [&] {
    calls.push_back("LockWorkStation");
    return TRUE;
  };
  CKeyHook hook;
  EXPECT_EQ(wnd.ActSettingsShortcut(), ActionOsd::kNone);
  EXPECT_EQ(CKeyHook::Texts(hook.Keys(4)),
            (std::vector<std::string>{"5B down", "49 down", "49 up", "5B up"}));
  EXPECT_EQ(wnd.ActScreenSnip(), ActionOsd::kNone);
  EXPECT_EQ(wnd.ActLockDesktop(), ActionOsd::kNone);
  EXPECT_EQ(calls, (std::vector<std::string>{"CreateProcessW", "LockWorkStation"}));
}

TEST(SettingsReloadTest, WithTheEmptyPathTheReloadHoldsTheDefaultsAndWritesNothing) {
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  auto listing = [](const std::wstring& folder) {
    std::vector<std::pair<std::wstring, uintmax_t>> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.is_regular_file()) files.emplace_back(entry.path().filename(), entry.file_size());
    }
    return files;
  };
  auto before = listing(windows);
  CMyWnd wnd;
  wnd.m_settings = SettingsRecord{1, L"old"};
  wnd.ReloadSettings();
  EXPECT_EQ(wnd.m_settings.smartFan, 0);
  EXPECT_EQ(wnd.m_settings.ver, L"");
  EXPECT_TRUE(wnd.m_settingsPath.empty());
  EXPECT_EQ(listing(windows), before);
}

TEST(SettingsReloadTest, AGivenPathIsReadValidatedAndWrittenOnlyWhenMissing) {
  std::wstring path = BesideTests(L"") + L"reload_settings.ini";
  std::filesystem::remove(path);
  CMyWnd wnd;
  wnd.m_settingsPath = path;
  wnd.ReloadSettings();  // missing: made with the defaults
  EXPECT_EQ(ReadSmartFan(path), 0);
  EXPECT_TRUE(std::filesystem::exists(path));

  std::ofstream(std::filesystem::path(path), std::ios::binary)
      << "[Setting]\r\nSmartFan=2\r\nVer=3.1\r\n";
  wnd.ReloadSettings();
  EXPECT_EQ(wnd.m_settings.smartFan, 0);  // validated
  EXPECT_EQ(wnd.m_settings.ver, L"3.1");
  EXPECT_EQ(ReadSmartFan(path), 2) << "an existing file is not rewritten";
  std::filesystem::remove(path);
}

}  // namespace
