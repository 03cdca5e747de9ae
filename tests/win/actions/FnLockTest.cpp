// The stored Fn-lock state in the user's registry, for real.
#include "actions/FnLock.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "fw/UniqueHandle.h"
#include "tests/win/support/FnLockRegistry.h"

namespace {

struct StoredValue {
  bool present = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

StoredValue Stored() {
  StoredValue value;
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kFnLockKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return value;
  }
  CRegKey owned(key);
  DWORD size = 0;
  if (RegQueryValueExW(key, kFnLockValue, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) {
    return value;
  }
  value.present = true;
  value.data.resize(size);
  RegQueryValueExW(key, kFnLockValue, nullptr, nullptr, value.data.data(), &size);
  return value;
}

bool KeyExists() {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kFnLockKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

void Store(DWORD type, const std::vector<BYTE>& data) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kFnLockKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  CRegKey owned(key);
  RegSetValueExW(key, kFnLockValue, 0, type, data.data(), static_cast<DWORD>(data.size()));
}

class FnLockTest : public ::testing::Test {
 protected:
  void SetUp() override { RemoveFnLockKey(); }
  void TearDown() override { RemoveFnLockKey(); }
};

TEST_F(FnLockTest, AMissingKeyIsCreatedHoldingTheOneByteZero) {
  ASSERT_FALSE(KeyExists());
  EXPECT_EQ(ReadFnLock(), 0);
  StoredValue value = Stored();
  EXPECT_TRUE(value.present);
  EXPECT_EQ(value.type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(value.data, std::vector<BYTE>{0x00});
}

TEST_F(FnLockTest, AKeyWithoutTheValueReadsZeroAndStaysWithoutIt) {
  Store(REG_BINARY, {});
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kFnLockKey, kFnLockValue);
  ASSERT_TRUE(KeyExists());
  EXPECT_EQ(ReadFnLock(), 0);
  EXPECT_FALSE(Stored().present);
}

TEST_F(FnLockTest, WritesOneBinaryByteAndReadsItBack) {
  WriteFnLock(1);  // creates the key
  EXPECT_EQ(Stored().type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(Stored().data, std::vector<BYTE>{0x01});
  EXPECT_EQ(ReadFnLock(), 1);
  EXPECT_EQ(WriteFnLock(0), 0);
  EXPECT_EQ(Stored().data, std::vector<BYTE>{0x00});
  EXPECT_EQ(ReadFnLock(), 0);
  // Only the low byte is kept.
  WriteFnLock(0x0301);
  EXPECT_EQ(Stored().data, std::vector<BYTE>{0x01});
}

TEST_F(FnLockTest, OfAValueOfAnotherSizeOrTypeTheFirstByteCounts) {
  struct Case {
    DWORD type;
    std::vector<BYTE> data;
    int32_t expected;
  };
  const Case cases[] = {
      {REG_BINARY, {0x05}, 5},               // one byte is taken as it is
      {REG_BINARY, {0x01, 0x00, 0x00}, 1},   // longer
      {REG_BINARY, {0x00, 0x01}, 0},
      {REG_BINARY, {}, 0},                   // no data
      {REG_DWORD, {0x01, 0x00, 0x00, 0x00}, 1},
      {REG_DWORD, {0x00, 0x00, 0x00, 0x01}, 0},
      {REG_SZ, {'1', 0, 0, 0}, '1'},         // the type is not looked at
  };
  for (const Case& c : cases) {
    Store(c.type, c.data);
    EXPECT_EQ(ReadFnLock(), c.expected) << c.type << " of " << c.data.size() << " bytes";
    EXPECT_EQ(Stored().data, c.data) << "reading leaves the value alone";
  }
}

}  // namespace
