#include "settings/Settings.h"

#include "fw/FileFind.h"
#include "fw/SystemInfo.h"
#include "settings/IniFile.h"

const wchar_t kConfigFileName[] = L"config";

namespace {

const wchar_t kSection[] = L"Setting";
const wchar_t kSmartFanKey[] = L"SmartFan";
const wchar_t kVerKey[] = L"Ver";
const wchar_t kDeviceKey[] = L"Device";

}  // namespace

void EnsureConfigPath(std::wstring* configPath) {
  if (!configPath->empty()) return;
  std::wstring directory;
  if (GetModuleDirectory(&directory)) *configPath = directory + kConfigFileName;
}

int32_t ReadSmartFan(const std::wstring& path) {
  return CIniFile(path).GetInt(kSection, kSmartFanKey, 0);
}

SettingsRecord ReadSettings(const std::wstring& path) {
  SettingsRecord settings;
  settings.smartFan = ReadSmartFan(path);
  settings.ver = CIniFile(path).GetString(kSection, kVerKey, L"");
  return settings;
}

bool ValidateSettings(SettingsRecord& settings) {
  if (settings.smartFan == 0 || settings.smartFan == 1) return false;
  settings.smartFan = 0;
  return true;
}

void WriteSettings(const SettingsRecord& settings, const std::wstring& path) {
  CIniFile(path).WriteInt(kSection, kSmartFanKey, settings.smartFan);
  CIniFile(path).WriteString(kSection, kVerKey, settings.ver.c_str());
}

void ReloadSettings(const std::wstring& path, SettingsRecord* settings) {
  *settings = ReadSettings(path);
  ValidateSettings(*settings);
  if (!CFileFind().FindFile(path.c_str())) WriteSettings(*settings, path);
}

int WriteDeviceState(const std::wstring& path, int32_t value) {
  CIniFile(path).WriteInt(kSection, kDeviceKey, value);
  return 1;
}
