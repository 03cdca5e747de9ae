#include "actions/FnLock.h"

#include <windows.h>

#include <vector>

#include "fw/UniqueHandle.h"

const wchar_t kFnLockKey[] = L"SOFTWARE\\Varnel_Fn";
const wchar_t kFnLockValue[] = L"IsFnLuck";

namespace {

const REGSAM kAccess = KEY_READ | KEY_WRITE;  // 0x2001F
static_assert(kAccess == 0x2001F, "read and write, as the key has always been opened");

CRegKey OpenKey() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kFnLockKey, 0, kAccess, &key) != ERROR_SUCCESS) {
    return CRegKey();
  }
  return CRegKey(key);
}

CRegKey CreateKey() {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kFnLockKey, 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return CRegKey();
  }
  return CRegKey(key);
}

void StoreByte(const CRegKey& key, BYTE state) {
  RegSetValueExW(key.Get(), kFnLockValue, 0, REG_BINARY, &state, 1);
}

// First byte of the value's data, 0 when there is none. A one-byte read of a
// longer value fails with ERROR_MORE_DATA and leaves the buffer undefined, so
// a longer value is read whole.
BYTE FirstDataByte(const CRegKey& key) {
  BYTE first = 0;
  DWORD size = 1;
  LONG result = RegQueryValueExW(key.Get(), kFnLockValue, nullptr, nullptr, &first, &size);
  if (result == ERROR_SUCCESS) return size >= 1 ? first : 0;
  if (result != ERROR_MORE_DATA) return 0;
  std::vector<BYTE> data(size);
  if (RegQueryValueExW(key.Get(), kFnLockValue, nullptr, nullptr, data.data(), &size) !=
          ERROR_SUCCESS ||
      size == 0) {
    return 0;
  }
  return data[0];
}

}  // namespace

int32_t ReadFnLock() {
  CRegKey key = OpenKey();
  if (!key) {
    key = CreateKey();
    if (key) StoreByte(key, 0);
    return 0;
  }
  return FirstDataByte(key);
}

bool PeekFnLock(int32_t* state) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kFnLockKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  *state = FirstDataByte(CRegKey(key));
  return true;
}

int32_t WriteFnLock(int32_t state) {
  CRegKey key = OpenKey();
  if (!key) key = CreateKey();
  if (key) StoreByte(key, static_cast<BYTE>(state & 0xFF));
  return 0;
}
