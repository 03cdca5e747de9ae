// Time since a start, on the performance counter. Under Wine, GetTickCount
// moves in steps of some 16 ms and lags further behind under load, so a lower
// bound checked with it can fail by a step.
#pragma once

#include <windows.h>

class CStopwatch {
 public:
  CStopwatch() { QueryPerformanceCounter(&m_start); }

  double ElapsedMs() const {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (now.QuadPart - m_start.QuadPart) * 1000.0 / frequency.QuadPart;
  }

 private:
  LARGE_INTEGER m_start;
};
