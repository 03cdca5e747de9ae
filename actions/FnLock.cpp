// The Fn-lock state kept for the user in HKCU\SOFTWARE\Varnel_Fn "IsFnLuck":
// one REG_BINARY byte, 0 off, 1 on.
#include <vector>

#include "app/MyWnd.h"
#include "fw/UniqueHandle.h"

namespace {

const wchar_t kFnLockKey[] = L"SOFTWARE\\Varnel_Fn";
const wchar_t kFnLockValue[] = L"IsFnLuck";
const REGSAM kFnLockAccess = KEY_READ | KEY_WRITE;  // 0x2001F

CRegKey CreateFnLockKey() {
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, kFnLockKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                  kFnLockAccess, nullptr, &key, nullptr);
  return CRegKey(key);
}

void StoreState(const CRegKey& key, int32_t state) {
  BYTE low = static_cast<BYTE>(state & 0xFF);
  RegSetValueExW(key.Get(), kFnLockValue, 0, REG_BINARY, &low, 1);
}

}  // namespace

int32_t CMyWnd::ReadFnLock() {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kFnLockKey, 0, kFnLockAccess, &opened) != ERROR_SUCCESS) {
    StoreState(CreateFnLockKey(), 0);
    return 0;
  }
  CRegKey key(opened);
  // The first byte is the state, whatever the value's type or length; an
  // empty or missing value reads as 0.
  DWORD size = 0;
  if (RegQueryValueExW(key.Get(), kFnLockValue, nullptr, nullptr, nullptr, &size) !=
          ERROR_SUCCESS ||
      size == 0) {
    return 0;
  }
  std::vector<BYTE> data(size);
  if (RegQueryValueExW(key.Get(), kFnLockValue, nullptr, nullptr, data.data(), &size) !=
      ERROR_SUCCESS) {
    return 0;
  }
  return data[0];
}

int CMyWnd::WriteFnLock(int32_t state) {
  HKEY opened = nullptr;
  CRegKey key(RegOpenKeyExW(HKEY_CURRENT_USER, kFnLockKey, 0, kFnLockAccess, &opened) ==
                      ERROR_SUCCESS
                  ? opened
                  : CreateFnLockKey().Release());
  if (key) StoreState(key, state);
  return 0;
}
