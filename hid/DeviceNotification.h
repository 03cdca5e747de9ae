// Device-change notifications: does one name the keyboard? Portable, and
// careful with the record, which another process may have sent: nothing is
// read beyond the size the record gives for itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Record layout of a device-interface notification (32-bit and 64-bit alike):
// size, device type, reserved, class GUID, then the NUL-terminated name.
constexpr size_t kBroadcastHeaderSize = 12;
constexpr size_t kDeviceInterfaceNameOffset = 28;
constexpr uint32_t kDeviceTypeDeviceInterface = 5;

// The interface name of a device-interface notification; nothing when the
// record is absent, too short or of another device type. A name that is not
// terminated within the record ends where the record ends.
std::optional<std::u16string> DeviceInterfaceName(const void* record);

// Both IDs, written "%X" (upper case, no leading zeros), anywhere in the
// name; the search is case-sensitive.
bool bNameHasIds(const std::u16string& name, uint32_t vendorId, uint32_t productId);
