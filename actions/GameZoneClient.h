// CGameZoneClient: reads and sets the machine's smart-fan mode through the
// WMI class VARNEL_GAMEZONE_DATA in root\wmi (methods GetSmartFanMode and
// SetSmartFanMode, both with the property "Data"). Each call makes its own
// connection, traces every step to standard output and the log, and gives
// everything back before it returns. Window thread only; a call blocks it
// until WMI answers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "fw/ComPtr.h"

// The calls that tests and the simulation build replace: the locator's
// creation (the fan class exists only on the real machine), COM security
// (Wine's never fails) and string allocation (never fails either).
struct GameZoneCalls {
  ComCreateFn createInstance;
  std::function<HRESULT(PSECURITY_DESCRIPTOR, LONG authServices, SOLE_AUTHENTICATION_SERVICE*,
                        void* reserved1, DWORD authnLevel, DWORD impLevel, void* authList,
                        DWORD capabilities, void* reserved3)>
      initializeSecurity;
  std::function<BSTR(const OLECHAR*)> allocString;

  GameZoneCalls();
};

class CGameZoneClient {
 public:
  explicit CGameZoneClient(GameZoneCalls calls = GameZoneCalls()) : m_calls(std::move(calls)) {}

  // "Data" of the method's output as the firmware gives it (not limited to
  // the modes we know), or -1 when any step fails, reading "Data" included.
  int32_t GetSmartFanMode() const;
  // Failure is only traced.
  void SetSmartFanMode(int32_t mode) const;

  GameZoneCalls m_calls;
};
