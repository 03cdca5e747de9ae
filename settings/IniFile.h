// CIniFile: one profile (INI) file, read and written through the system's
// private-profile calls, so values are parsed and stored exactly as Windows
// does it. Nothing is cached: every call opens and closes the file.
//
// An empty path names no file: reads give their defaults and writes do
// nothing (the system would otherwise resolve it somewhere of its choosing).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class CIniFile {
 public:
  explicit CIniFile(std::wstring path) : m_path(std::move(path)) {}

  // As GetPrivateProfileIntW reads it (leading sign and digits, anything
  // after them ignored); the unsigned answer is taken as signed.
  int32_t GetInt(const wchar_t* section, const wchar_t* key, int32_t defaultValue) const;
  // At most 2047 characters; longer text is cut.
  std::wstring GetString(const wchar_t* section, const wchar_t* key,
                         const wchar_t* defaultText) const;
  BOOL WriteInt(const wchar_t* section, const wchar_t* key, int32_t value) const;
  BOOL WriteString(const wchar_t* section, const wchar_t* key, const wchar_t* text) const;

 private:
  const std::wstring m_path;
};
