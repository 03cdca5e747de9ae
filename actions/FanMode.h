// The smart-fan toggle's rule: which mode Fn+Q sets, given the mode the
// machine reports. Portable.
#pragma once

#include <cstdint>
#include <optional>

// 3 after 2 and 2 after 0, 1, 3 or 4. Any other value (the query's -1
// included) is not a mode we know how to leave: nothing is set.
std::optional<int32_t> NextSmartFanMode(int32_t current);
