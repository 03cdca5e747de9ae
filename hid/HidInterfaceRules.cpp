#include "hid/HidInterfaceRules.h"

#include <cstdio>

bool bIsKeyboardId(uint16_t vendorId, uint16_t productId, uint32_t acceptedVendorId,
                   uint32_t acceptedProductId) {
  return (vendorId == kFixedVendorId || vendorId == acceptedVendorId) &&
         (productId == kFixedProductId || productId == acceptedProductId);
}

HidRoleDecision ClassifyHidInterface(const HidInterfaceFacts& facts, const std::u16string& path,
                                     uint32_t acceptedVendorId, uint32_t acceptedProductId) {
  char text[96];
  if (!bIsKeyboardId(facts.vendorId, facts.productId, acceptedVendorId, acceptedProductId)) {
    std::snprintf(text, sizeof text, "not the keyboard (vendor 0x%04X, product 0x%04X)",
                  facts.vendorId, facts.productId);
    return {HidRole::kNone, text};
  }
  if (facts.usage == 1 && facts.usagePage == kVendorUsagePage) {
    return {HidRole::kFeatureCommands, "feature commands (vendor-defined collection)"};
  }
  if (facts.usage == 1 && facts.usagePage == kConsumerUsagePage) {
    // The key reports come on USB interface 1 only; the search is case-sensitive.
    if (path.find(u"mi_01") != std::u16string::npos) {
      return {HidRole::kKeyReports, "key reports (consumer control on interface 1)"};
    }
    return {HidRole::kNone, "consumer control without \"mi_01\" in its path"};
  }
  std::snprintf(text, sizeof text, "collection 0x%04X/%u is not used", facts.usagePage,
                facts.usage);
  return {HidRole::kNone, text};
}
