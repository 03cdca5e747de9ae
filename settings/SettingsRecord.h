// The settings record of the reload: "SmartFan" and "Ver" of section
// "Setting". A plain value.
#pragma once

#include <cstdint>
#include <string>

struct SettingsRecord {
  int32_t smartFan = 0;
  std::wstring ver;
};
