// What a hot-key action asks of the OSD once it is done. The values other
// than kNone are the OSD kinds (1 microphone, 2 Fn lock, 3 smart fan); kNone
// asks for nothing at all, not even hiding, and arms no timer.
#pragma once

#include <cstdint>

enum class ActionOsd : int32_t {
  kNone = -1,
  kMicrophone = 1,
  kFnLock = 2,
  kSmartFan = 3,
};
