// Wine answers as the Windows version named for a program (its per-program
// setting), for as long as a CWineVersionFor lives.
#pragma once

#include <windows.h>

#include <cwchar>
#include <string>

class CWineVersionFor {
 public:
  CWineVersionFor(const std::wstring& program, const wchar_t* version)
      : m_key(L"Software\\Wine\\AppDefaults\\" + program) {
    HKEY key;
    RegCreateKeyExW(HKEY_CURRENT_USER, m_key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                    nullptr);
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  ~CWineVersionFor() { RegDeleteTreeW(HKEY_CURRENT_USER, m_key.c_str()); }
  CWineVersionFor(const CWineVersionFor&) = delete;
  CWineVersionFor& operator=(const CWineVersionFor&) = delete;

 private:
  std::wstring m_key;
};
