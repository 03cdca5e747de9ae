// The microphone toggle against the fake capture device (steps, arguments,
// release order, failures) and against Wine's Core Audio, and the presence
// tests against the prefix's registry and disk.
#include "actions/MicMute.h"

#include <gtest/gtest.h>
#include <io.h>
#include <mmdeviceapi.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "fw/UniqueHandle.h"
#include "testbed/sim/FakeCoreAudio.h"

namespace {

using Step = CFakeCaptureDevice::Step;
using Texts = std::vector<std::string>;

const std::string kCreate =
    "CoCreateInstance {BCDE0395-E52F-467C-8E3D-C4579291692E} null 23 "
    "{A95664D2-9614-4F35-A746-DE8DB63617E6}";
const std::string kEndpoint = "GetDefaultAudioEndpoint 1 1";
const std::string kActivateVolume = "Activate {5CDF2C82-841E-4546-9722-0CF74078229A} 23 null";
const std::string kActivateClient = "Activate {1CB9AD4C-DBFA-4C32-B178-C2F568A703B2} 23 null";
const Texts kAllReleased = {"audio client", "endpoint volume", "device", "enumerator"};

TEST(MicMuteTest, ToggleTakesEveryStepWithTheSdkIdentifiersAndReleasesInOrder) {
  CFakeCaptureDevice mic;
  ToggleMicMute(mic.Factory());
  EXPECT_EQ(mic.m_journal.calls, (Texts{kCreate, kEndpoint, kActivateVolume, kActivateClient,
                                        "GetMute", "SetMute 1 null"}));
  EXPECT_EQ(mic.m_journal.released, kAllReleased);
  EXPECT_EQ(mic.m_journal.liveObjects, 0);
  EXPECT_TRUE(mic.m_muted);
}

TEST(MicMuteTest, ReadBackTakesTheSameStepsWithoutTheSet) {
  CFakeCaptureDevice mic;
  mic.m_muted = TRUE;
  EXPECT_EQ(ReadMicMute(mic.Factory()), 1);
  EXPECT_EQ(mic.m_journal.calls,
            (Texts{kCreate, kEndpoint, kActivateVolume, kActivateClient, "GetMute"}));
  EXPECT_EQ(mic.m_journal.released, kAllReleased);
  mic.m_muted = FALSE;
  EXPECT_EQ(ReadMicMute(mic.Factory()), 0);
  EXPECT_EQ(mic.m_journal.liveObjects, 0);
}

TEST(MicMuteTest, AFailingStepEndsTheRestAndReleasesWhatWasObtainedInOrder) {
  struct Case {
    Step step;
    size_t callsMade;  // journal lines up to and including the failing call
    Texts released;
  };
  const Case cases[] = {
      {Step::kCreateEnumerator, 1, {}},
      {Step::kGetDefaultEndpoint, 2, {"enumerator"}},
      {Step::kActivateVolume, 3, {"device", "enumerator"}},
      {Step::kActivateClient, 4, {"endpoint volume", "device", "enumerator"}},
      {Step::kGetMute, 5, kAllReleased},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.step));
    CFakeCaptureDevice mic;
    mic.Fail(c.step, CFakeCaptureDevice::kNoDevice);
    ToggleMicMute(mic.Factory());
    EXPECT_EQ(mic.m_journal.calls.size(), c.callsMade);
    EXPECT_EQ(mic.m_journal.released, c.released);
    EXPECT_FALSE(mic.m_muted);

    mic.m_journal = CFakeJournal();
    EXPECT_EQ(ReadMicMute(mic.Factory()), -1);
    EXPECT_EQ(mic.m_journal.calls.size(), c.callsMade);
    EXPECT_EQ(mic.m_journal.released, c.released);
    EXPECT_EQ(mic.m_journal.liveObjects, 0);
  }
}

TEST(MicMuteTest, AFailingSetLeavesTheStateAndReleasesEverything) {
  CFakeCaptureDevice mic;
  mic.Fail(Step::kSetMute);
  ToggleMicMute(mic.Factory());
  EXPECT_FALSE(mic.m_muted);
  EXPECT_EQ(mic.m_journal.released, kAllReleased);
  EXPECT_EQ(ReadMicMute(mic.Factory()), 0);
}

TEST(MicMuteTest, StateBelongsToTheDeviceSoTwoTogglesGiveItBack) {
  CFakeCaptureDevice mic;
  ToggleMicMute(mic.Factory());
  EXPECT_EQ(ReadMicMute(mic.Factory()), 1);
  ToggleMicMute(mic.Factory());
  EXPECT_EQ(ReadMicMute(mic.Factory()), 0);
  // Muted by another program: the next toggle unmutes.
  mic.m_muted = TRUE;
  ToggleMicMute(mic.Factory());
  EXPECT_EQ(ReadMicMute(mic.Factory()), 0);
  EXPECT_EQ(mic.m_journal.liveObjects, 0);
}

TEST(MicMuteTest, EachCallInitialisesComOnItsThreadAndLeavesItSo) {
  CFakeCaptureDevice mic;
  HRESULT afterToggle = E_FAIL, afterRead = E_FAIL;
  std::thread([&] {
    ToggleMicMute(mic.Factory());
    afterToggle = CoInitialize(nullptr);  // S_FALSE: already initialised
    CoUninitialize();
    CoUninitialize();
  }).join();
  std::thread([&] {
    ReadMicMute(mic.Factory());
    afterRead = CoInitialize(nullptr);
    CoUninitialize();
    CoUninitialize();
  }).join();
  EXPECT_EQ(afterToggle, S_FALSE);
  EXPECT_EQ(afterRead, S_FALSE);
}

bool HasCaptureDevice() {
  CoInitialize(nullptr);
  IMMDeviceEnumerator* enumerator = nullptr;
  bool found = false;
  if (SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                 __uuidof(IMMDeviceEnumerator),
                                 reinterpret_cast<void**>(&enumerator)))) {
    IMMDevice* device = nullptr;
    found = SUCCEEDED(enumerator->GetDefaultAudioEndpoint(eCapture, eMultimedia, &device));
    if (device) device->Release();
    enumerator->Release();
  }
  CoUninitialize();
  return found;
}

TEST(MicMuteTest, WithoutACaptureDeviceTheRealCallsReadMinusOne) {
  if (HasCaptureDevice()) GTEST_SKIP() << "this prefix has a capture device";
  ToggleMicMute();
  EXPECT_EQ(ReadMicMute(), -1);
}

// The presence tests go to the real registry and disk; the recorder only
// watches the calls on their way.
std::vector<std::string> g_presenceCalls;

std::string HiveName(HKEY hive) {
  return hive == HKEY_LOCAL_MACHINE ? "HKLM" : hive == HKEY_CURRENT_USER ? "HKCU" : "other";
}

LSTATUS WINAPI RecordedOpenKey(HKEY hive, LPCWSTR name, DWORD options, REGSAM access,
                               PHKEY key) {
  char line[300];
  std::snprintf(line, sizeof line, "%s %ls %lu 0x%lX", HiveName(hive).c_str(), name, options,
                access);
  g_presenceCalls.push_back(line);
  return RegOpenKeyExW(hive, name, options, access, key);
}

int RecordedAccess(const char* path, int mode) {
  g_presenceCalls.push_back(std::string("access ") + path + " " + std::to_string(mode));
  return _access(path, mode);
}

const char kGddlk[] = "SYSTEM\\CurrentControlSet\\services\\GDDLK\\";
const char kOsdClient[] = "SOFTWARE\\Varnel\\MessageClient\\OnScreenDisplay\\";
const Texts kAllSixTests = {
    std::string("HKLM ") + kGddlk + " 0 0x20019",
    std::string("HKCU ") + kGddlk + " 0 0x20019",
    std::string("HKLM ") + kOsdClient + " 0 0x20019",
    std::string("HKCU ") + kOsdClient + " 0 0x20019",
    "access C:\\ProgramFiles\\Varnel\\Varnel HushSync\\HushSync.exe 0",
    "access C:\\ProgramFiles\\Varnel\\HOTKEY\\micquell.exe 0",
};

class CompanionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HKEY key;
    m_userSystemKeyExisted =
        RegOpenKeyExW(HKEY_CURRENT_USER, L"SYSTEM", 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (m_userSystemKeyExisted) RegCloseKey(key);
    g_presenceCalls.clear();
    m_calls.openKey = RecordedOpenKey;
    m_calls.access = RecordedAccess;
    ASSERT_FALSE(CheckMicCompanion()) << "the prefix already has a companion installed";
    g_presenceCalls.clear();
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\services\\GDDLK");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\services\\GDDLK");
    if (m_userSystemKeyExisted) {
      RegDeleteTreeW(HKEY_CURRENT_USER, L"SYSTEM\\CurrentControlSet\\services\\GDDLK");
      RegDeleteKeyW(HKEY_CURRENT_USER, L"SYSTEM\\CurrentControlSet\\services\\GDDLK");
    } else {
      RegDeleteTreeW(HKEY_CURRENT_USER, L"SYSTEM");
      RegDeleteKeyW(HKEY_CURRENT_USER, L"SYSTEM");
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Varnel");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Varnel");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Varnel");
    RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\Varnel");
    std::error_code ignored;
    std::filesystem::remove_all(L"C:\\ProgramFiles", ignored);
  }

  static void MakeKey(HKEY hive, const wchar_t* name) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(hive, name, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  static void MakeFile(const wchar_t* path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    CFileHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(file.IsValid());
  }

  PresenceCalls m_calls;
  bool m_userSystemKeyExisted = false;
};

TEST_F(CompanionTest, WithNothingInstalledAllSixTestsRunInOrderAndFail) {
  EXPECT_FALSE(CheckMicCompanion(m_calls));
  EXPECT_EQ(g_presenceCalls, kAllSixTests);
}

TEST_F(CompanionTest, TheServiceKeyUnderTheCurrentUserAloneIsEnough) {
  MakeKey(HKEY_CURRENT_USER, L"SYSTEM\\CurrentControlSet\\services\\GDDLK");
  EXPECT_TRUE(CheckMicCompanion(m_calls));
  EXPECT_EQ(g_presenceCalls, Texts(kAllSixTests.begin(), kAllSixTests.begin() + 2));
}

TEST_F(CompanionTest, TheServiceKeyUnderTheMachineEndsTheTestingAtOnce) {
  MakeKey(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\services\\GDDLK");
  EXPECT_TRUE(CheckMicCompanion(m_calls));
  EXPECT_EQ(g_presenceCalls, Texts(kAllSixTests.begin(), kAllSixTests.begin() + 1));
}

TEST_F(CompanionTest, TheOnScreenDisplayClientKeyCountsInEitherHive) {
  MakeKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Varnel\\MessageClient\\OnScreenDisplay");
  EXPECT_TRUE(CheckMicCompanion(m_calls));
  EXPECT_EQ(g_presenceCalls, Texts(kAllSixTests.begin(), kAllSixTests.begin() + 3));
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Varnel");
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Varnel");

  g_presenceCalls.clear();
  MakeKey(HKEY_CURRENT_USER, L"SOFTWARE\\Varnel\\MessageClient\\OnScreenDisplay");
  EXPECT_TRUE(CheckMicCompanion(m_calls));
  EXPECT_EQ(g_presenceCalls, Texts(kAllSixTests.begin(), kAllSixTests.begin() + 4));
}

TEST_F(CompanionTest, AParentKeyAloneIsNotTheComponent) {
  MakeKey(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Varnel\\MessageClient");
  EXPECT_FALSE(CheckMicCompanion(m_calls));
}

TEST_F(CompanionTest, OnlyTheSecondExecutablePresentIsEnough) {
  MakeFile(L"C:\\ProgramFiles\\Varnel\\HOTKEY\\micquell.exe");
  EXPECT_TRUE(CheckMicCompanion(m_calls));
  EXPECT_EQ(g_presenceCalls, kAllSixTests);
}

TEST_F(CompanionTest, AFolderNamedLikeTheFirstExecutableCountsAsPresent) {
  std::filesystem::create_directories(L"C:\\ProgramFiles\\Varnel\\Varnel HushSync\\HushSync.exe");
  EXPECT_TRUE(CheckMicCompanion(m_calls));
  EXPECT_EQ(g_presenceCalls, Texts(kAllSixTests.begin(), kAllSixTests.begin() + 5));
}

TEST_F(CompanionTest, TheUsualProgramFilesFolderIsNotWhereWeLook) {
  MakeFile(L"C:\\Program Files\\Varnel\\HOTKEY\\micquell.exe");
  EXPECT_FALSE(CheckMicCompanion(m_calls));
  std::filesystem::remove_all(L"C:\\Program Files\\Varnel");
}

}  // namespace
