// The keyboard's USB identity: the IDs that the main window gives the link,
// that arrival and removal notifications are matched against, and that the
// virtual keyboard and the probe use.
#pragma once

#include <cstdint>

constexpr uint32_t kKeyboardVendorId = 0x17EF;
constexpr uint32_t kKeyboardProductId = 0x6100;
