// The Fn-lock state in the user's registry, for real under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "app/MyWnd.h"

namespace {

const wchar_t kKey[] = L"SOFTWARE\\Varnel_Fn";

struct StoredValue {
  DWORD type = 0;
  std::vector<BYTE> data;
  bool present = false;
};

StoredValue Stored() {
  StoredValue value;
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
  DWORD size = 64;
  value.data.resize(size);
  value.present = RegQueryValueExW(key, L"IsFnLuck", nullptr, &value.type, value.data.data(),
                                   &size) == ERROR_SUCCESS;
  value.data.resize(value.present ? size : 0);
  RegCloseKey(key);
  return value;
}

void Store(DWORD type, std::vector<BYTE> data) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr), ERROR_SUCCESS);
  RegSetValueExW(key, L"IsFnLuck", 0, type, data.data(), static_cast<DWORD>(data.size()));
  RegCloseKey(key);
}

class FnLockTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteKeyW(HKEY_CURRENT_USER, kKey); }
  void TearDown() override { RegDeleteKeyW(HKEY_CURRENT_USER, kKey); }
  CMyWnd wnd;  // no window needed for the registry operations
};

TEST_F(FnLockTest, MissingKeyIsCreatedWithOneZeroByte) {
  EXPECT_EQ(wnd.ReadFnLock(), 0);
  StoredValue value = Stored();
  ASSERT_TRUE(value.present);
  EXPECT_EQ(value.type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(value.data, (std::vector<BYTE>{0x00}));
}

TEST_F(FnLockTest, WriteStoresTheLowByteAndReadGivesItBack) {
  wnd.WriteFnLock(1);
  EXPECT_EQ(Stored().data, (std::vector<BYTE>{0x01}));
  EXPECT_EQ(wnd.ReadFnLock(), 1);
  wnd.WriteFnLock(0x100);  // only the low byte is kept
  EXPECT_EQ(Stored().data, (std::vector<BYTE>{0x00}));
  EXPECT_EQ(wnd.ReadFnLock(), 0);
}

TEST_F(FnLockTest, OddValuesReadTheirFirstByteWhateverTheirTypeOrLength) {
  Store(REG_BINARY, {0x01, 0x7F, 0x33});
  EXPECT_EQ(wnd.ReadFnLock(), 1);
  Store(REG_DWORD, {0x01, 0x00, 0x00, 0x00});
  EXPECT_EQ(wnd.ReadFnLock(), 1);
  Store(REG_BINARY, {0xFE});
  EXPECT_EQ(wnd.ReadFnLock(), 0xFE);
  Store(REG_BINARY, {});
  EXPECT_EQ(wnd.ReadFnLock(), 0);
  EXPECT_EQ(Stored().data, std::vector<BYTE>{});  // reading never rewrites a present key
}

}  // namespace
