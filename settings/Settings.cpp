#include "settings/Settings.h"

#include "settings/IniFile.h"

const wchar_t kConfigFileName[] = L"config";

namespace {

const wchar_t kSection[] = L"Setting";
const wchar_t kSmartFanKey[] = L"SmartFan";
const wchar_t kVerKey[] = L"Ver";
const wchar_t kDeviceKey[] = L"Device";

}  // namespace

bool GetModuleDirectory(std::wstring* directory, GetModuleFileNameFn getModuleFileName) {
  wchar_t name[MAX_PATH] = {};
  DWORD length = getModuleFileName(nullptr, name, MAX_PATH);
  // MAX_PATH itself means the name was cut (and, on XP, left unterminated):
  // a folder made from it would not be ours.
  if (length == 0 || length >= MAX_PATH) return false;
  std::wstring path(name, length);
  size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos) return false;
  *directory = path.substr(0, slash + 1);
  return true;
}

int32_t ReadSmartFan(const std::wstring& path) {
  return CIniFile(path).GetInt(kSection, kSmartFanKey, 0);
}

SettingsRecord ReadSettings(const std::wstring& path) {
  SettingsRecord settings;
  settings.smartFan = CIniFile(path).GetInt(kSection, kSmartFanKey, 0);
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

int WriteDeviceState(const std::wstring& path, int32_t value) {
  CIniFile(path).WriteInt(kSection, kDeviceKey, value);
  return 1;
}
