#include "log/LogStamp.h"

#include <cstdio>

std::string FormatLogStamp(int hour, int minute, int second, int millisecond) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d:%03d ::  ", hour, minute,
                second, millisecond);
  return stamp;
}
