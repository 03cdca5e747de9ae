// The stored Fn-lock state (HKCU\SOFTWARE\Varnel_Fn "IsFnLuck") as the tests
// set it up and clear it.
#pragma once

#include <windows.h>

#include "actions/FnLock.h"

inline void RemoveFnLockKey() {
  RegDeleteTreeW(HKEY_CURRENT_USER, kFnLockKey);
  RegDeleteKeyW(HKEY_CURRENT_USER, kFnLockKey);
}

inline void StoreFnLock(BYTE state) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kFnLockKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExW(key, kFnLockValue, 0, REG_BINARY, &state, 1);
  RegCloseKey(key);
}
