#include "actions/FanMode.h"

std::optional<int32_t> NextSmartFanMode(int32_t current) {
  if (current < 0 || current > 4) return std::nullopt;
  return current == 2 ? 3 : 2;
}
