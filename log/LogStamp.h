// Time stamp that starts every log line: "hh:mm:ss:mmm ::  ".
// Portable so the format is checked natively.
#pragma once

#include <string>

std::string FormatLogStamp(int hour, int minute, int second, int millisecond);
