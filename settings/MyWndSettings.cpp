// CMyWnd's settings: the configuration file's path, the settings reload and
// the fan mode through WMI.
#include "app/MyWnd.h"
#include "fw/FileFind.h"
#include "settings/Settings.h"

int32_t CMyWnd::GetSmartFanMode() { return m_gameZone.GetSmartFanMode(); }

void CMyWnd::SetSmartFanMode(int32_t mode) { m_gameZone.SetSmartFanMode(mode); }

void CMyWnd::EnsureConfigPath() {
  if (!m_configPath.empty()) return;
  // On failure the path stays empty (it reads as no file) and the next use
  // tries again.
  std::wstring directory;
  if (GetModuleDirectory(&directory)) m_configPath = directory + kConfigFileName;
}

void CMyWnd::ReloadSettings() {
  m_settings = ReadSettings(m_settingsPath);
  ValidateSettings(m_settings);
  // A missing file is made with the values just read and validated.
  if (!CFileFind().FindFile(m_settingsPath.c_str())) WriteSettings(m_settings, m_settingsPath);
}
