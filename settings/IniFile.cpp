#include "settings/IniFile.h"

#include <cwchar>

namespace {

const DWORD kStringBufferChars = 2048;
const size_t kIntBufferChars = 256;

}  // namespace

int32_t CIniFile::GetInt(const wchar_t* section, const wchar_t* key, int32_t defaultValue) const {
  if (m_path.empty()) return defaultValue;
  return static_cast<int32_t>(GetPrivateProfileIntW(section, key, defaultValue, m_path.c_str()));
}

std::wstring CIniFile::GetString(const wchar_t* section, const wchar_t* key,
                                 const wchar_t* defaultText) const {
  if (m_path.empty()) return defaultText;
  wchar_t buffer[kStringBufferChars] = {};
  GetPrivateProfileStringW(section, key, defaultText, buffer, kStringBufferChars, m_path.c_str());
  return buffer;
}

BOOL CIniFile::WriteInt(const wchar_t* section, const wchar_t* key, int32_t value) const {
  wchar_t text[kIntBufferChars];
  std::swprintf(text, kIntBufferChars, L"%d", static_cast<int>(value));
  return WriteString(section, key, text);
}

BOOL CIniFile::WriteString(const wchar_t* section, const wchar_t* key, const wchar_t* text) const {
  if (m_path.empty()) return FALSE;
  return WritePrivateProfileStringW(section, key, text, m_path.c_str());
}
