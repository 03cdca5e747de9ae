// Any record as a device-change notification: the name is read from within
// the size the record gives (which here never exceeds the bytes there are,
// so AddressSanitizer sees any read beyond it).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "hid/DeviceNotification.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  std::vector<uint8_t> record(data, data + size);
  uint32_t claimed;
  std::memcpy(&claimed, record.data(), 4);
  if (claimed > size) claimed = static_cast<uint32_t>(size);
  std::memcpy(record.data(), &claimed, 4);
  record.shrink_to_fit();
  std::optional<std::u16string> name = DeviceInterfaceName(record.data());
  if (name) bNameHasIds(*name, 0x17EF, 0x6100);
  return 0;
}
