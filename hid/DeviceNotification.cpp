#include "hid/DeviceNotification.h"

#include <cstdio>
#include <cstring>

namespace {

uint32_t ReadWord(const uint8_t* bytes) {
  uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

std::u16string HexId(uint32_t id) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", id);
  return std::u16string(text, text + std::strlen(text));
}

}  // namespace

std::optional<std::u16string> DeviceInterfaceName(const void* record) {
  if (!record) return std::nullopt;
  const auto* bytes = static_cast<const uint8_t*>(record);
  uint32_t size = ReadWord(bytes);
  if (size < kBroadcastHeaderSize || ReadWord(bytes + 4) != kDeviceTypeDeviceInterface) {
    return std::nullopt;
  }
  std::u16string name;
  for (size_t at = kDeviceInterfaceNameOffset; at + sizeof(char16_t) <= size;
       at += sizeof(char16_t)) {
    char16_t unit;
    std::memcpy(&unit, bytes + at, sizeof unit);
    if (unit == 0) break;
    name.push_back(unit);
  }
  return name;
}

bool bNameHasIds(const std::u16string& name, uint32_t vendorId, uint32_t productId) {
  return name.find(HexId(vendorId)) != std::u16string::npos &&
         name.find(HexId(productId)) != std::u16string::npos;
}
