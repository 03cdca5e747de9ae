// The profile-file accessor and the settings operations against real files.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "tests/win/support/ExeTestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Every file under a folder (not recursive) with its contents.
std::map<std::wstring, std::string> Snapshot(const fs::path& folder) {
  std::map<std::wstring, std::string> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.is_regular_file()) files[entry.path().filename()] = ReadBytes(entry.path());
  }
  return files;
}

std::wstring WindowsFolder() {
  wchar_t folder[MAX_PATH];
  GetWindowsDirectoryW(folder, MAX_PATH);
  return folder;
}

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    m_folder = fs::path(temp) / (L"settings_test_" + std::to_wstring(GetCurrentProcessId()));
    fs::create_directories(m_folder);
    m_file = (m_folder / L"config").wstring();
  }
  void TearDown() override { fs::remove_all(m_folder); }

  void WriteConfig(const std::string& text) { WriteBytes(m_file, text); }

  fs::path m_folder;
  std::wstring m_file;
};

TEST_F(SettingsTest, IntegersReadAsTheSystemReadsThem) {
  struct Case {
    const char* text;
    int32_t expected;
  };
  // Sign, leading digits, garbage after; the unsigned answer taken as signed.
  for (Case c : {Case{"1", 1}, Case{"0", 0}, Case{"12abc", 12}, Case{"-5", -5}, Case{"+7", 7},
                 Case{"1.5", 1}, Case{"abc", 0}, Case{"4294967295", -1}}) {
    WriteConfig(std::string("[Setting]\r\nSmartFan=") + c.text + "\r\n");
    EXPECT_EQ(CIniFile(m_file).GetInt(L"Setting", L"SmartFan", 42), c.expected) << c.text;
    EXPECT_EQ(ReadSmartFan(m_file), c.expected) << c.text;
    EXPECT_EQ(static_cast<int32_t>(GetPrivateProfileIntW(L"Setting", L"SmartFan", 42, m_file.c_str())),
              c.expected);
  }
}

TEST_F(SettingsTest, MissingFileSectionOrKeyGivesTheDefaults) {
  EXPECT_EQ(ReadSmartFan(m_file), 0);  // no file yet
  EXPECT_EQ(CIniFile(m_file).GetInt(L"Setting", L"SmartFan", 7), 7);
  EXPECT_EQ(CIniFile(m_file).GetString(L"Setting", L"Ver", L"none"), L"none");
  WriteConfig("[Other]\r\nSmartFan=1\r\nVer=2.0\r\n");
  SettingsRecord settings = ReadSettings(m_file);
  EXPECT_EQ(settings.smartFan, 0);
  EXPECT_EQ(settings.ver, L"");
  WriteConfig("[Setting]\r\nDevice=3\r\n");
  EXPECT_EQ(ReadSmartFan(m_file), 0);
}

TEST_F(SettingsTest, WritesAreReadBack) {
  SettingsRecord written{-12, L"v1.2 \x00e9t\x00e9"};
  WriteSettings(written, m_file);
  SettingsRecord read = ReadSettings(m_file);
  EXPECT_EQ(read.smartFan, -12);
  EXPECT_EQ(read.ver, written.ver);
  EXPECT_EQ(WriteDeviceState(m_file, 0), 1);
  EXPECT_EQ(CIniFile(m_file).GetInt(L"Setting", L"Device", 5), 0);
  EXPECT_EQ(CIniFile(m_file).GetString(L"Setting", L"SmartFan", L""), L"-12");
  EXPECT_TRUE(CIniFile(m_file).WriteInt(L"Setting", L"Device", 2147483647));
  EXPECT_EQ(CIniFile(m_file).GetString(L"Setting", L"Device", L""), L"2147483647");
}

TEST_F(SettingsTest, ValidationForcesUnknownSmartFanValuesToZero) {
  SettingsRecord settings{2, L"x"};
  EXPECT_TRUE(ValidateSettings(settings));
  EXPECT_EQ(settings.smartFan, 0);
  EXPECT_EQ(settings.ver, L"x");
  for (int32_t kept : {0, 1}) {
    settings.smartFan = kept;
    EXPECT_FALSE(ValidateSettings(settings));
    EXPECT_EQ(settings.smartFan, kept);
  }
  settings.smartFan = -1;
  EXPECT_TRUE(ValidateSettings(settings));
  EXPECT_EQ(settings.smartFan, 0);
}

TEST_F(SettingsTest, AnEmptyPathReadsTheDefaultsAndWritesNowhere) {
  // Neither in the Windows folder nor in the current one (an empty folder of
  // ours here, so nothing else writes to it meanwhile).
  auto windowsBefore = Snapshot(WindowsFolder());
  fs::path previous = fs::current_path();
  fs::current_path(m_folder);
  CIniFile nowhere(L"");
  EXPECT_EQ(nowhere.GetInt(L"Setting", L"SmartFan", 9), 9);
  EXPECT_EQ(nowhere.GetString(L"Setting", L"Ver", L"d"), L"d");
  EXPECT_FALSE(nowhere.WriteInt(L"Setting", L"SmartFan", 1));
  EXPECT_FALSE(nowhere.WriteString(L"Setting", L"Ver", L"x"));
  WriteSettings(SettingsRecord{1, L"x"}, L"");
  EXPECT_EQ(WriteDeviceState(L"", 0), 1);
  SettingsRecord read = ReadSettings(L"");
  EXPECT_EQ(read.smartFan, 0);
  EXPECT_EQ(read.ver, L"");
  EXPECT_EQ(ReadSmartFan(L""), 0);
  EXPECT_TRUE(fs::is_empty(m_folder));
  fs::current_path(previous);
  EXPECT_EQ(Snapshot(WindowsFolder()), windowsBefore);
}

TEST_F(SettingsTest, ALongVerIsCutTo2047Characters) {
  std::string ver;
  for (int i = 0; i < 3000; ++i) ver.push_back(static_cast<char>('a' + i % 26));
  WriteConfig("[Setting]\r\nSmartFan=1\r\nVer=" + ver + "\r\n");
  SettingsRecord settings = ReadSettings(m_file);
  EXPECT_EQ(settings.smartFan, 1);
  EXPECT_EQ(settings.ver, std::wstring(ver.begin(), ver.begin() + 2047));
}

TEST_F(SettingsTest, BadFilesReadWithoutACrash) {
  // Binary garbage, the same every run.
  std::string garbage;
  uint32_t seed = 12345;
  for (int i = 0; i < 65536; ++i) {
    seed = seed * 1103515245 + 12345;
    garbage.push_back(static_cast<char>(seed >> 24));
  }
  WriteConfig(garbage);
  EXPECT_EQ(ReadSmartFan(m_file), 0);
  SettingsRecord settings = ReadSettings(m_file);
  EXPECT_EQ(settings.smartFan, 0);
  EXPECT_LE(settings.ver.size(), 2047u);

  WriteConfig("SmartFan=1\r\nVer=no section\r\n");
  EXPECT_EQ(ReadSmartFan(m_file), 0);
  EXPECT_EQ(ReadSettings(m_file).ver, L"");

  // A line of 100 000 characters before the keys, and as the value itself.
  std::string longLine(100000, 'x');
  WriteConfig("[Setting]\r\n" + longLine + "\r\nSmartFan=1\r\nVer=after\r\n");
  EXPECT_EQ(ReadSmartFan(m_file), 1);
  EXPECT_EQ(ReadSettings(m_file).ver, L"after");
  WriteConfig("[Setting]\r\nVer=" + longLine + "\r\n");
  EXPECT_EQ(ReadSettings(m_file).ver, std::wstring(2047, L'x'));
  WriteConfig("[Setting]\r\nSmartFan=" + std::string(100000, '1') + "\r\n");
  ReadSmartFan(m_file);  // some number; what matters is that it comes back
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
  SettingsRecord settings{1, L"old"};
  ReloadSettings(L"", &settings);
  EXPECT_EQ(settings.smartFan, 0);
  EXPECT_EQ(settings.ver, L"");
  EXPECT_EQ(listing(windows), before);
}

TEST(SettingsReloadTest, AGivenPathIsReadValidatedAndWrittenOnlyWhenMissing) {
  std::wstring path = BesideTests(L"") + L"reload_settings.ini";
  std::filesystem::remove(path);
  SettingsRecord settings;
  ReloadSettings(path, &settings);  // missing: made with the defaults
  EXPECT_EQ(ReadSmartFan(path), 0);
  EXPECT_TRUE(std::filesystem::exists(path));

  std::ofstream(std::filesystem::path(path), std::ios::binary)
      << "[Setting]\r\nSmartFan=2\r\nVer=3.1\r\n";
  ReloadSettings(path, &settings);
  EXPECT_EQ(settings.smartFan, 0);  // validated
  EXPECT_EQ(settings.ver, L"3.1");
  EXPECT_EQ(ReadSmartFan(path), 2) << "an existing file is not rewritten";
  std::filesystem::remove(path);
}

}  // namespace
