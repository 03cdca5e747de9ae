// Which HID interfaces belong to the keyboard, and what each is used for.
// Portable, so the rules are tested natively and the probe tool can say why
// an interface was taken or passed over.
#pragma once

#include <cstdint>
#include <string>

struct HidInterfaceFacts {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t usagePage = 0;
  uint16_t usage = 0;
};

enum class HidRole {
  kNone,
  kFeatureCommands,  // vendor-defined collection: feature reports (m_handleDev)
  kKeyReports,       // consumer control on interface 1: key reports (m_handleInput)
};

struct HidRoleDecision {
  HidRole role = HidRole::kNone;
  std::string reason;  // what the role is, or why the interface was passed over
};

// IDs accepted besides the ones the link object is given.
constexpr uint16_t kFixedVendorId = 0x3938;
constexpr uint16_t kFixedProductId = 0x1101;
constexpr uint16_t kVendorUsagePage = 0xFF00;
constexpr uint16_t kConsumerUsagePage = 0x000C;

// Vendor and product are tested independently: each may match either ID.
bool bIsKeyboardId(uint16_t vendorId, uint16_t productId, uint32_t acceptedVendorId,
                   uint32_t acceptedProductId);

HidRoleDecision ClassifyHidInterface(const HidInterfaceFacts& facts, const std::u16string& path,
                                     uint32_t acceptedVendorId, uint32_t acceptedProductId);
