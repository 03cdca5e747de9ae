// The hot-key actions as the dispatcher calls them: the state each leaves,
// the OSD it asks for, and what it does to the world (fakes for the fan
// class, the capture device and the process start; the registry and the
// configuration file for real).
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "actions/FnLock.h"
#include "actions/MicMute.h"
#include "actions/HotkeyActions.h"
#include "settings/Settings.h"
#include "tests/win/support/ExeTestSupport.h"
#include "tests/win/support/FnLockRegistry.h"
#include "tests/win/support/KeyHook.h"
#include "tests/win/support/LogCapture.h"
#include "tests/win/support/StdoutCapture.h"
#include "testbed/sim/FakeCoreAudio.h"
#include "testbed/sim/FakeWmi.h"

namespace {

// The main window's state members, and the actions bound to them as the
// window binds them.
struct WindowState {
  explicit WindowState(ActionCalls calls = ActionCalls())
      : actions(ActionState{m_micMuted, m_fnLock, m_fanMode, m_configPath}, std::move(calls)) {}
  int32_t m_micMuted = 0;
  std::atomic<int32_t> m_fnLock{0};
  int32_t m_fanMode = 2;
  std::wstring m_configPath;
  CHotkeyActions actions;
};

ActionCalls WithFanClass(CFakeGameZone& zone) {
  ActionCalls calls;
  calls.gameZone.createInstance = zone.Factory();
  return calls;
}

ActionCalls WithCaptureDevice(CFakeCaptureDevice& mic) {
  ActionCalls calls;
  calls.createAudioEnumerator = mic.Factory();
  return calls;
}

// "config" beside this test program, and a fan class behind the window.
class SmartFanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_config = BesideTests(L"") + L"config";
    std::filesystem::remove(m_config);
  }
  void TearDown() override { std::filesystem::remove(m_config); }

  void WriteConfig(const std::string& text) {
    std::ofstream(std::filesystem::path(m_config), std::ios::binary) << text;
  }

  // The trace goes to standard output; kept out of the test's own output.
  ActionOsd Toggle() {
    CStdoutCapture quiet;
    return m_wnd.actions.ActSmartFanToggle();
  }

  std::wstring m_config;
  CFakeGameZone m_zone;
  WindowState m_wnd{WithFanClass(m_zone)};
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
  EXPECT_EQ(m_wnd.actions.GetSmartFanMode(), 4);
  m_wnd.actions.SetSmartFanMode(3);
  EXPECT_EQ(m_zone.m_mode, 3);
}

class FnLockActionTest : public ::testing::Test {
 protected:
  void SetUp() override { RemoveFnLockKey(); }
  void TearDown() override { RemoveFnLockKey(); }
};

TEST_F(FnLockActionTest, OnThenOffStoresEachStateAndAsksForTheFnLockOsdEachTime) {
  WindowState wnd;
  EXPECT_EQ(ReadFnLock(), 0);
  EXPECT_EQ(wnd.actions.ActFnLockOn(), ActionOsd::kFnLock);
  EXPECT_EQ(wnd.m_fnLock.load(), 1);
  EXPECT_EQ(ReadFnLock(), 1);
  EXPECT_EQ(wnd.actions.ActFnLockOff(), ActionOsd::kFnLock);
  EXPECT_EQ(wnd.m_fnLock.load(), 0);
  EXPECT_EQ(ReadFnLock(), 0);
}

TEST(MicActionTest, ToggleThenReadBackIntoTheStateAndTheOsdWithoutACompanion) {
  ASSERT_FALSE(CheckMicCompanion()) << "the prefix has a companion installed";
  CFakeCaptureDevice mic;
  WindowState wnd(WithCaptureDevice(mic));
  EXPECT_EQ(wnd.actions.ActMicMute(), ActionOsd::kMicrophone);
  EXPECT_EQ(wnd.m_micMuted, 1);
  EXPECT_EQ(wnd.actions.ActMicMute(), ActionOsd::kMicrophone);
  EXPECT_EQ(wnd.m_micMuted, 0);
  EXPECT_FALSE(mic.m_muted);
  EXPECT_EQ(wnd.actions.ReadMicMute(), 0);
  EXPECT_EQ(mic.m_journal.liveObjects, 0);
}

TEST(MicActionTest, AFailedReadBackGivesMinusOneAfterTheToggleWasDone) {
  CFakeCaptureDevice mic;
  mic.Fail(CFakeCaptureDevice::Step::kActivateClient, E_FAIL, 2);  // the read-back's
  WindowState wnd(WithCaptureDevice(mic));
  EXPECT_EQ(wnd.actions.ActMicMute(), ActionOsd::kMicrophone);
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
  WindowState wnd(WithCaptureDevice(mic));
  EXPECT_EQ(wnd.actions.ActMicMute(), ActionOsd::kNone);
  EXPECT_EQ(wnd.m_micMuted, 1);
  RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Varnel");
  RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Varnel");
}

TEST(MicActionTest, WithoutACaptureDeviceTheStateIsMinusOneAndTheOsdStillAsked) {
  WindowState wnd;  // the real Core Audio of the prefix, which has no microphone
  if (wnd.actions.ReadMicMute() != -1) GTEST_SKIP() << "this prefix has a capture device";
  EXPECT_EQ(wnd.actions.ActMicMute(), CheckMicCompanion() ? ActionOsd::kNone : ActionOsd::kMicrophone);
  EXPECT_EQ(wnd.m_micMuted, -1);
}

TEST(ShellActionTest, TheShortcutSnipAndLockAskForNoOsdAndUseTheWindowsCalls) {
  std::vector<std::string> calls;
  ActionCalls stand;
  stand.shell.getNtVersion = [](DWORD* major, DWORD* minor, DWORD*) {
    *major = 6;
    *minor = 1;
  };
  stand.shell.createProcess = [&](LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                                  BOOL, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW,
                                  LPPROCESS_INFORMATION) {
    calls.push_back("CreateProcessW");
    return FALSE;
  };
  stand.shell.lockWorkStation = [&] {
    calls.push_back("LockWorkStation");
    return TRUE;
  };
  WindowState wnd(std::move(stand));
  CKeyHook hook;
  EXPECT_EQ(wnd.actions.ActSettingsShortcut(), ActionOsd::kNone);
  EXPECT_EQ(CKeyHook::Texts(hook.Keys(4)),
            (std::vector<std::string>{"5B down", "49 down", "49 up", "5B up"}));
  EXPECT_EQ(wnd.actions.ActScreenSnip(), ActionOsd::kNone);
  EXPECT_EQ(wnd.actions.ActLockDesktop(), ActionOsd::kNone);
  EXPECT_EQ(calls, (std::vector<std::string>{"CreateProcessW", "LockWorkStation"}));
}

}  // namespace
